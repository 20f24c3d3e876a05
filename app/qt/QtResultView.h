#pragma once
// The folder tree and the contents grid on screen: carries out the result views' widget
// operations and forwards the widgets' events, one line each, to the handlers of ResultViews
// and, for the grid's pop-up menu, of FileCommands.
#include "app/qt/FolderTreeModel.h"
#include "app/qt/ResultGridModel.h"
#include "app/views/FileCommands.h"
#include "app/views/IResultView.h"
#include "app/views/ResultViews.h"

#include <QObject>

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QAction;
class QMainWindow;
class QSplitter;
class QTableView;
class QTreeView;

namespace dvo::app {
class TMainForm;
}

namespace dvo::qt {

class QtResultView final : public QObject, public dvo::app::IResultView {
    Q_OBJECT
public:
    // The widgets and menu items belong to the window and must outlive this object, which the
    // window owns and destroys before its widgets. The logic is created and owned here.
    QtResultView(QMainWindow& window, dvo::app::TMainForm& form, QTreeView& tree, QTableView& grid,
                 QSplitter& splitter);
    ~QtResultView() override;

    [[nodiscard]] dvo::app::ResultViews& Results() { return *m_results; }
    [[nodiscard]] dvo::app::FileCommands& Files() { return *m_files; }

    // dvo::app::IResultView
    void BeginTreeUpdate() override;
    void EndTreeUpdate() override;
    void BeginTreeAppend() override;
    void EndTreeAppend() override;
    void ScheduleTreeSlice(std::function<void()> slice) override;
    void AfterTreeLayout(std::function<void()> then) override;
    [[nodiscard]] app::FolderTreeNode* CurrentTreeNode() const override;
    void SetCurrentTreeNode(app::FolderTreeNode* node, bool autoExpand) override;
    void SetTreeSelectionVisible(bool visible) override;
    void ExpandAllTreeNodes() override;
    void CollapseAllTreeNodes() override;
    void BeginGridUpdate() override;
    void EndGridUpdate() override;
    void RepaintGrid() override;
    [[nodiscard]] int GridWidth() const override;
    [[nodiscard]] int GridLineWidth() const override;
    [[nodiscard]] int GridTopRow() const override;
    void SetGridTopRow(int row) override;
    [[nodiscard]] int GridVisibleRowCount() const override;
    [[nodiscard]] int GridRowUnderPointer() const override;
    [[nodiscard]] int GridCurrentRow() const override;
    void SetGridCurrentRow(int row) override;
    [[nodiscard]] int SplitterLeft() const override;
    [[nodiscard]] int SplitterWidth() const override;
    [[nodiscard]] int ResultGroupWidth() const override;
    void SetGridPanelBounds(int left, int width) override;
    int PopupGridMenu(std::span<const dvo::app::GridMenuItem> items) override;
    [[nodiscard]] std::optional<std::string>
    SelectDestinationFolder(const std::string& title, const std::string& initialFolder) override;
    // Replaces the save dialog (title, proposed name), for tests. Unset: the real dialog.
    using SaveChooser = std::function<std::optional<std::string>(const std::string& title,
                                                                 const std::string& name)>;
    void SetSaveChooser(SaveChooser chooser) { m_saveChooser = std::move(chooser); }
    [[nodiscard]] std::optional<std::string> SelectSaveFile(const std::string& title,
                                                            const std::string& defaultName,
                                                            const std::string& filter) override;
    [[nodiscard]] unsigned long long WindowHandle() const override;
    int RunWithProgress(const std::string& title,
                        std::function<int(dvo::app::ProgressSink&)> work) override;
    void PostToGuiThread(std::function<void()> work) override;
    [[nodiscard]] bool IsMenuChecked(dvo::app::MenuCheck item) const override;
    void SetMenuChecked(dvo::app::MenuCheck item, bool checked) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyColumnWidths();
    // Around a reset of the tree model: which folders were expanded and the current node with
    // its selection, by node, and the scroll position, so that a reset that keeps the
    // nodes (a batch, a large reorder) does not collapse the tree or lose the user's place.
    void SaveTreeState();
    void RestoreTreeState();
    // Lays the tree out in an event of its own, then runs then (if any) in the next one.
    void LayOutTreeApart(std::function<void()> then);
    void PayOwedTreeRepaint();

    struct TreeState {
        std::vector<app::FolderTreeNodeRef> expanded;
        app::FolderTreeNodeRef current;
        bool currentSelected = false;
        int vertical = 0;
        int horizontal = 0;
    };

    dvo::app::TMainForm& m_form;
    QTreeView& m_tree;
    QTableView& m_grid;
    QSplitter& m_splitter;
    std::map<dvo::app::MenuCheck, QAction*> m_menu;
    std::unique_ptr<dvo::app::ResultViews> m_results;
    std::unique_ptr<dvo::app::FileCommands> m_files; // acts on m_results; made after it, gone first
    FolderTreeModel* m_treeModel = nullptr;          // child of this object
    ResultGridModel* m_gridModel = nullptr;          // child of this object
    QString m_saveFolder; // where the last export went, proposed for the next one
    SaveChooser m_saveChooser;
    TreeState m_treeState;
    bool m_expandAllOnRestore = false; // the next restore expands every folder instead
    bool m_expandingByProgram = false;
    bool m_applyingWidths = false;
    int m_wheelRemainder = 0;
};

} // namespace dvo::qt
