#pragma once
// The main window on screen. It carries out the view operations TMainForm asks for and forwards
// every widget event, in one line, to the TMainForm handler named after control and event.
#include "app/main/GuiMailbox.h"
#include "app/main/IMainView.h"
#include "app/main/OperationLog.h"
#include "app/main/TMainForm.h"
#include "app/views/EngineListingSource.h"
#include "app/views/TListingForm.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QActionGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QTableView;
class QTreeView;

namespace dvo::app {
class FileCommands;
}

namespace dvo::qt {

class FolderPanel;
class InstanceChannel;
class QtResultView;
class QtTestDataWindow;
class QtCompareWindow;
class QtListingWindow;
class QtTreemapWindow;

class QtMainView final : public QMainWindow, public dvo::app::IMainView {
    Q_OBJECT
public:
    // Builds the widgets, then runs FormCreate. The engine must outlive the window.
    explicit QtMainView(dvo::app::IEngine& engine, QWidget* parent = nullptr);
    // Runs FormDestroy.
    ~QtMainView() override;

    [[nodiscard]] dvo::app::TMainForm& Form() { return m_form; }
    // The grid's file commands, as its pop-up menu runs them.
    [[nodiscard]] dvo::app::FileCommands& Files();
    // The diagnostics window, created hidden with this one and never shown by the program.
    [[nodiscard]] QtTestDataWindow& TestData() { return *m_testData; }
    // The windows of "大きいファイル", "種類別" and "更新年別", created hidden with this one.
    [[nodiscard]] QtListingWindow& ListingWindow(dvo::app::ListingKind kind);
    // The program's folder and operation log, found and opened by StartApplication.
    [[nodiscard]] const dvo::app::OperationLog& Log() const { return m_operationLog; }

    // Replaces the folder dialog, for tests, which cannot answer a modal dialog. Unset: the real dialog.
    using FolderChooser = std::function<std::optional<std::string>(const std::string& title,
                                                                   const std::string& initial)>;
    void SetFolderChooser(FolderChooser chooser) { m_folderChooser = std::move(chooser); }
    // The same for the dialog that chooses a file to open (title, filter).
    void SetFileChooser(FolderChooser chooser) { m_fileChooser = std::move(chooser); }
    // The same for the save dialogs of the export items (title, proposed name).
    void SetSaveChooser(FolderChooser chooser);

    // dvo::app::IMainView
    void SetCaption(const std::string& text) override;
    void ShowWindow() override;
    void CloseWindow() override;
    void TerminateApplication() override;
    void SetStatusText(const std::string& text) override;
    void SetStatusField(dvo::app::StatusField field, const std::string& text) override;
    void SetLabelText(dvo::app::MainLabel label, const std::string& text) override;
    void RepaintLabel(dvo::app::MainLabel label) override;
    void SetSearchDirectoryText(const std::string& text) override;
    void SetResultFolderText(const std::string& text) override;
    void SetButtonEnabled(dvo::app::MainButton button, bool enabled) override;
    void SetSizeCountChecked(dvo::app::SizeCount count) override;
    void SetSizeCountEnabled(bool enabled) override;
    [[nodiscard]] int SearchDirectoryLeft() const override;
    [[nodiscard]] int AddDirectoryButtonLeft() const override;
    void SetSearchDirectoryWidth(int width) override;
    [[nodiscard]] dvo::app::ScreenCursor CurrentScreenCursor() const override;
    void SetScreenCursor(dvo::app::ScreenCursor cursor) override;
    void RepaintWindow() override;
    int ShowMessageBox(const std::string& text, const dvo::app::MessageBoxLayout& layout) override;
    [[nodiscard]] std::optional<std::string>
    SelectFolder(const std::string& title, const std::string& initialFolder) override;
    [[nodiscard]] std::optional<std::string> SelectOpenFile(const std::string& title,
                                                            const std::string& filter) override;
    void OpenWithDefaultApplication(const std::string& target, HelperDone done) override;
    [[nodiscard]] bool ReachRunningInstance(const std::string& folder) override;
    void ListenForLaterStarts() override;
    void BringToFront() override;
    void ProcessPendingEvents() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildPanels();
    void InstallMenuShortcuts();
    QAction* AddItem(QMenu* menu, const char* name, const QString& text, QKeyCombination key = {},
                     bool visible = true);
    QMenu* AddSubmenu(QMenu* parent, const char* name, const QString& text,
                      QKeyCombination key = {}, bool visible = true);
    [[nodiscard]] QLabel* Label(dvo::app::MainLabel label) const;
    // A later start's request; it waits while a dialog or menu of this window is open.
    void LaterStartReceived(const std::string& folder, bool raised);

    dvo::app::OperationLog m_operationLog; // before the form, which writes to it
    dvo::app::TMainForm m_form;
    dvo::app::EngineListingSource m_listingSource; // the listing windows' engine calls
    std::unique_ptr<QtResultView> m_resultView;    // the tree and grid; gone before the widgets
    std::unique_ptr<QtTestDataWindow> m_testData;  // reads the records of m_resultView
    std::unique_ptr<QtTreemapWindow> m_treemap;    // follows m_resultView; gone before it
    std::unique_ptr<QtCompareWindow> m_compare;    // reads m_resultView; gone before it
    // Follow m_resultView; gone before it and before m_treemap, which the kinds window outlines in.
    std::unique_ptr<QtListingWindow> m_largestFiles;
    std::unique_ptr<QtListingWindow> m_kinds;
    std::unique_ptr<QtListingWindow> m_years;
    std::unique_ptr<InstanceChannel> m_laterStarts; // made once the window runs
    FolderChooser m_folderChooser;
    FolderChooser m_fileChooser;
    bool m_placed = false;
    // Ends of the helpers started by OpenWithDefaultApplication; closed first on destruction.
    std::shared_ptr<dvo::app::GuiMailbox> m_helperMailbox;

    // Widgets, all owned by the window through Qt's parent chain.
    FolderPanel* m_folderPanel = nullptr;
    QLineEdit* m_edtSearchDirectory = nullptr;
    QPushButton* m_btnAddDirectory = nullptr;
    QPushButton* m_btnExecute = nullptr;
    QPushButton* m_btnCancel = nullptr;
    QLabel* m_lblFolderSize = nullptr;
    QLabel* m_lblSearching = nullptr;
    QLabel* m_lblNumberOfFiles = nullptr;
    QLabel* m_lblNumberOfFolders = nullptr;
    QTreeView* m_searchResultTree = nullptr;
    QSplitter* m_spSearchResult = nullptr;
    QTableView* m_lsSearchResult = nullptr;
    QGroupBox* m_grpSearchResult = nullptr;
    QLabel* m_pnlStatus = nullptr;
    QLabel* m_pnlMarks = nullptr; // status bar fields, children of the status bar
    QLabel* m_pnlUnread = nullptr;
    QLabel* m_pnlFreeSpace = nullptr;
    QActionGroup* m_sortGroup = nullptr;
    QActionGroup* m_treeModeGroup = nullptr;
    QMenu* m_sizeCountMenu = nullptr;
    QAction* m_sizeFile = nullptr;
    QAction* m_sizeDisk = nullptr;
};

} // namespace dvo::qt
