#pragma once
// The main window's logic: start-up, closing, the status text, the busy-cursor stack, the
// message box, the folder choice and the search flow with its live counters. It owns the
// state and asks IMainView for every widget operation, so it runs the same on a screen and in
// tests. The result views and the treemap see it only as IWindowServices.
#include "app/main/IEngine.h"
#include "app/main/IMainView.h"
#include "app/main/IWindowServices.h"
#include "app/main/MessageBoxLayout.h"
#include "platform/DiskSpace.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace dvo::app {

class IResultViews;
class ISearchTimings;
class IStartupSteps;
class OperationLog;
class TIGForm;

// Where the search flow is. The poll loop processes window events, so handlers run inside the
// flow and read this to know what they may do.
enum class SearchPhase {
    Idle,        // no flow: "実行" starts one
    Polling,     // the engine scans and the poll loop runs; Cancel and a close stop the scan
    WindingDown, // the flow runs without a scan to poll: its first steps before the engine is
                 // told to search, then after the scan ended or was stopped (Cancel, a close)
                 // the records and the tree, which a confirmed close skips
};

class TMainForm final : public IWindowServices {
public:
    static constexpr int kCursorStackSize = 11;

    // Both references must outlive the form.
    TMainForm(IMainView& view, IEngine& engine);
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // The modules that own the tree and grid, the diagnostics window and the operation log plug
    // in here; each may stay unset or be reset with nullptr (its steps then do nothing). Not owned.
    void SetResultViews(IResultViews* views);
    void SetSearchTimings(ISearchTimings* timings);
    void SetStartupSteps(IStartupSteps* steps);
    void SetOperationLog(const OperationLog* log) { m_operationLog = log; }
    void SetVersionWindow(TIGForm* window) { m_versionWindow = window; }
    // How the free space of a folder is read (statvfs by default); tests put a script here.
    using DiskSpaceQuery = std::function<int(const std::string& folder, platform::DiskSpace&)>;
    void SetDiskSpaceQuery(DiskSpaceQuery query) { m_diskSpaceQuery = std::move(query); }

    // Window lifecycle.
    void FormCreate();
    void FormDestroy();
    // A close request (window frame or "終了"). True when the close is allowed; the message loop
    // then ends once the running handler has returned.
    bool FormClose();
    void FormResize();
    void E1Click();
    // startFolder: a folder named on the command line ("" for none), absolute; it is searched
    // once the window is up, or handed to the running instance when this start is a second one.
    void StartApplication(const std::string& startFolder = {});
    // A later start of the program reached this instance: the window comes to the front and the
    // folder it names ("" for none) is opened as OpenFolder does.
    void OtherInstanceStarted(const std::string& folder);
    // The process's exit status once the message loop has ended: 0, or kExitAlreadyRunning
    // when another instance was running.
    static constexpr int kExitAlreadyRunning = 1;
    [[nodiscard]] int ExitCode() const { return m_exitCode; }

    // Whether a folder chosen in a dialog names an existing folder: a dialog that cannot represent
    // a name (bytes that are not UTF-8) hands back a look-alike path that does not exist, and
    // searching it would silently find nothing. The error box for such a choice.
    [[nodiscard]] static bool IsUsableFolder(const std::string& path);
    void ReportUnusableFolder(const std::string& path);
    // A folder argument as the program can search it: relative to workingFolder, without the
    // trailing '/' a shell's completion adds ("/" stays "/"). Empty stays empty.
    [[nodiscard]] static std::string CommandLineFolder(const std::string& argument,
                                                       const std::string& workingFolder);
    // Chooses folder (absolute) as the dialog would, after the same check, and searches it at
    // once; while a search runs it is only chosen, for the next one.
    void OpenFolder(const std::string& folder);

    // False only when a live process holds the single-instance lock.
    [[nodiscard]] static bool PGMutex(const std::string& name);

    // Services for every part of the window (IWindowServices).
    void SetStatusText(const std::string& text) override;
    void SetLabelText(MainLabel label, const std::string& text) override;
    void SetStatusField(StatusField field, const std::string& text) override;
    void RepaintWindow() override;
    void PushCursor(ScreenCursor cursor);
    void PushAppStartCursor();
    void PushHourGlassCursor() override;
    void PopCursor() override;
    void ResetCursorStack();
    int ShowMessageBox(const std::string& text, MessageKind kind, unsigned buttons) override;
    // The message box whose text and answer also go to the operation log.
    int ShowMessageDlg(const std::string& text, MessageKind kind, unsigned buttons) override;
    // The same with the given result as the default and the Escape button, for questions whose
    // safe answer is not the usual default (say No before removing for good).
    int ShowMessageDlg(const std::string& text, MessageKind kind, unsigned buttons,
                       int safeResult) override;
    // Writes a user action in a menu or window to the operation log (no-op without a log).
    void LogUserAction(const std::string& text) override;

    // The "ヘルプ" menu: the hidden version item, the manual and the product home page.
    void mnuVersionClick();
    void N2Click();
    void N5Click();

    // Search control.
    void btnAddDirectoryClick();
    // The user edited the folder field: its text is the folder of the next search, checked as
    // the dialog's choice is when the search starts (Return or "実行").
    void edtSearchDirectoryChange(const std::string& text);
    void edtSearchDirectoryReturn();
    void btnExecuteClick();
    void btnCancelClick();
    // "表示" > "選択したフォルダを再検索" (F5): the tree's selected folder is read again with the
    // search's live counters and Cancel; its nodes, the grid, the totals and the treemap follow.
    void mnuRescanFolderClick();
    // Whether that item can run now: a folder of a searched (not opened) result is selected and
    // no search or rescan runs.
    [[nodiscard]] bool CanRescanFolder();
    // "ファイル" > "検索結果を開く...": an export file takes the place of a search's result.
    void mnuOpenResultClick();
    // "表示" > "サイズの数え方": apparent sizes ("ファイルサイズ") or disk usage ("ディスク使用量")
    // for the result shown and the searches after it; refused while a search runs.
    void mnuSizeFileClick();
    void mnuSizeDiskClick();
    [[nodiscard]] SizeCount CurrentSizeCount() const { return m_sizeCount; }
    // The export file shown instead of a search ("" after a search).
    [[nodiscard]] const std::string& OpenedResultFile() const { return m_openedResultFile; }
    void UpdateButtons();
    void RefreshLiveCounters();
    void ShowFolderCount();

    // State read by the result views and the tests.
    [[nodiscard]] const std::string& LastFolder() const { return m_lastFolder; }
    [[nodiscard]] const std::string& SearchDirectory() const { return m_searchDirectory; }
    // The folder the result panel shows: the one the last search started with ("" before the
    // first search and after one that could not start). Choosing another folder leaves it.
    [[nodiscard]] const std::string& SearchedFolder() const { return m_searchedFolder; }
    [[nodiscard]] SearchPhase Phase() const { return m_phase; }
    // True while the engine scans, until it ends or is cancelled.
    [[nodiscard]] bool Searching() const { return m_phase == SearchPhase::Polling; }
    // True from "実行" until its search flow has returned, also while it winds down after a cancel.
    [[nodiscard]] bool InSearchFlow() const { return m_phase != SearchPhase::Idle; }
    [[nodiscard]] bool FormCreating() const override { return m_formCreating; }
    [[nodiscard]] bool QuitWithoutAsking() const { return m_quitWithoutAsking; }
    [[nodiscard]] int CursorCount() const { return m_cursorCount; }
    [[nodiscard]] const ::SearchProgress& CurrentSearchProgress() const override {
        return m_searchProgress;
    }
    // Reads the finished search's totals again (a delete or a move changes them) and shows a
    // folder size that changed.
    void RefreshSearchTotals() override;
    // The status bar's "空き <free> / <total>" of the searched folder's file system; blank for an
    // opened result (its disk is elsewhere), without a result, or when the folder cannot be read.
    void ShowFreeSpace();
    // True after a search that "キャンセル" stopped: its totals count only what was read.
    [[nodiscard]] bool SearchCancelled() const { return m_searchCancelled; }
    // True after a search that stopped short by itself (memory, or records that would not fit):
    // its totals count only what was read, as after a cancel.
    [[nodiscard]] bool SearchStoppedShort() const { return !m_searchEndReason.empty(); }
    // The mark a total of a cancelled or stopped search carries ("" otherwise).
    [[nodiscard]] std::string PartialMark() const override;
    [[nodiscard]] IEngine& Engine() { return m_engine; }
    [[nodiscard]] IMainView& View() { return m_view; }

private:
    // Opens target with the desktop's default application; a failure shows in the logged box.
    void OpenWithDefaultApplication(const std::string& target);
    // The figures of a result that has just become current: counters, totals, unread entries.
    void ShowFinalFigures();
    // The path of the opened result's searched folder, from its record.
    [[nodiscard]] std::string OpenedRootPath();
    // Writes the counter labels from SearchProgress (the body of a live refresh).
    void ShowCounters();
    // The end of a search that could not start: the box with the reason and the failure status.
    void EndFailedSearch(int code);
    // The poll loop of a search or rescan the engine is running: live counters, Cancel and the
    // other handlers run inside it. False when a close was confirmed meanwhile (the flow has
    // then ended: do nothing more).
    bool PollEngine();
    // The last steps of every flow: back to Idle, the buttons, the cursor pushed at the start.
    void LeaveSearchFlow();
    // Ends the message loop when a close was confirmed during the flow that has just returned.
    void QuitIfRequested();
    void WriteLog(int level, const std::string& text);
    // The folder field and LastFolder name folder; the text typed so far is gone.
    void ChooseFolder(const std::string& folder);
    // Takes a typed folder text as the chosen folder when it passes the dialog's check; false
    // (after the error box) when it does not. True when nothing was typed.
    bool TakeTypedFolder();
    // The choice of a "サイズの数え方" item: the engine counts that way and every view follows.
    void ChooseSizeCount(SizeCount count);
    // The engine's DVOGetLastErrorText as UTF-8 ("" when it gives none).
    [[nodiscard]] std::string LastEngineErrorText();

    IMainView& m_view;
    IEngine& m_engine;
    // Never null: unset modules are null objects that do nothing.
    IResultViews* m_resultViews;
    ISearchTimings* m_searchTimings;
    IStartupSteps* m_startupSteps;
    const OperationLog* m_operationLog = nullptr;
    TIGForm* m_versionWindow = nullptr;

    std::string m_lastFolder;
    std::string m_searchDirectory; // the chosen folder, shown in the folder field
    // Text the user typed into the folder field since the last choice, not yet checked.
    std::optional<std::string> m_typedFolder;
    std::string m_searchedFolder;
    int m_exitCode = 0;
    bool m_quitWithoutAsking = false;
    bool m_formCreating = true;
    std::array<ScreenCursor, kCursorStackSize> m_cursorStack{};
    int m_cursorCount = 0;

    ::SearchProgress m_searchProgress{};
    SearchPhase m_phase = SearchPhase::Idle;
    // A close confirmed while the flow ran, in either of its phases: the flow ends the message
    // loop when it returns.
    bool m_quitRequested = false;
    // Guards RefreshLiveCounters against running inside itself; it is not a phase, only that
    // one function's nesting.
    bool m_refreshingCounters = false;
    bool m_searchCancelled = false;
    std::string m_searchEndReason; // the engine's reason why the last search stopped short
    int m_lastShownFileCount = 0;
    std::string m_openedResultFile;
    DiskSpaceQuery m_diskSpaceQuery = platform::QueryDiskSpace;
    SizeCount m_sizeCount = SizeCount::FileSize;
};

} // namespace dvo::app
