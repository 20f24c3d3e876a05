#pragma once
// The main window's logic: start-up, closing, the status text, the busy-cursor stack, the
// message box, the folder choice and the search flow with its live counters. It owns the
// state and asks IMainView for every widget operation, so it runs the same on a screen and in
// tests.
#include "app/main/IEngine.h"
#include "app/main/IMainView.h"
#include "app/main/MessageBoxLayout.h"

#include <array>
#include <string>

namespace dvo::app {

class IResultViews;
class ISearchTimings;
class IStartupSteps;
class OperationLog;
class TIGForm;

class TMainForm {
public:
    static constexpr int kCursorStackSize = 11;

    // Both references must outlive the form.
    TMainForm(IMainView& view, IEngine& engine);
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // The modules that own the tree and grid, the diagnostics window and the operation log plug
    // in here; each may stay unset (its steps are then skipped). Not owned.
    void SetResultViews(IResultViews* views) { m_resultViews = views; }
    void SetSearchTimings(ISearchTimings* timings) { m_searchTimings = timings; }
    void SetStartupSteps(IStartupSteps* steps) { m_startupSteps = steps; }
    void SetOperationLog(const OperationLog* log) { m_operationLog = log; }
    void SetVersionWindow(TIGForm* window) { m_versionWindow = window; }

    // Window lifecycle.
    void FormCreate();
    void FormDestroy();
    // A close request (window frame or "終了"). True when the close is allowed; the message loop
    // then ends once the running handler has returned.
    bool FormClose();
    void FormResize();
    void E1Click();
    void StartApplication();

    // Whether a folder chosen in a dialog names an existing folder: a dialog that cannot represent
    // a name (bytes that are not UTF-8) hands back a look-alike path that does not exist, and
    // searching it would silently find nothing. The error box for such a choice.
    [[nodiscard]] static bool IsUsableFolder(const std::string& path);
    void ReportUnusableFolder(const std::string& path);

    // False only when a live process holds the single-instance lock.
    [[nodiscard]] static bool PGMutex(const std::string& name);

    // Services for every part of the window.
    void SetStatusText(const std::string& text);
    void PushCursor(ScreenCursor cursor);
    void PushAppStartCursor();
    void PushHourGlassCursor();
    void PopCursor();
    void ResetCursorStack();
    int ShowMessageBox(const std::string& text, MessageKind kind, unsigned buttons);
    // The message box whose text and answer also go to the operation log.
    int ShowMessageDlg(const std::string& text, MessageKind kind, unsigned buttons);
    // The same with the given result as the default and the Escape button, for questions whose
    // safe answer is not the usual default (say No before removing for good).
    int ShowMessageDlg(const std::string& text, MessageKind kind, unsigned buttons, int safeResult);
    // Writes a user action in a menu or window to the operation log (no-op without a log).
    void LogUserAction(const std::string& text);

    // The "ヘルプ" menu: the hidden version item, the manual and the product home page.
    void mnuVersionClick();
    void N2Click();
    void N5Click();
    // The box's text when a helper (xdg-open, lp) failed on target: what failed and where, then
    // the helper's own reason, or its exit status when it said nothing.
    [[nodiscard]] static std::string HelperFailureText(const std::string& action,
                                                       const std::string& target, int status,
                                                       const std::string& errorText);

    // Search control.
    void btnAddDirectoryClick();
    void btnExecuteClick();
    void btnCancelClick();
    void UpdateButtons();
    void RefreshLiveCounters();
    void ShowFolderCount();

    // State read by the result views and the tests.
    [[nodiscard]] const std::string& LastFolder() const { return m_lastFolder; }
    [[nodiscard]] const std::string& SearchDirectory() const { return m_searchDirectory; }
    [[nodiscard]] bool Searching() const { return m_searching; }
    // True from "実行" until its search flow has returned, also while it winds down after a cancel.
    [[nodiscard]] bool InSearchFlow() const { return m_inSearchFlow; }
    [[nodiscard]] bool FormCreating() const { return m_formCreating; }
    [[nodiscard]] bool QuitWithoutAsking() const { return m_quitWithoutAsking; }
    [[nodiscard]] int CursorCount() const { return m_cursorCount; }
    [[nodiscard]] const ::SearchProgress& CurrentSearchProgress() const { return m_searchProgress; }
    // Reads the finished search's totals again (a delete or a move changes them) and shows a
    // folder size that changed.
    void RefreshSearchTotals();
    // True after a search that "キャンセル" stopped: its totals count only what was read.
    [[nodiscard]] bool SearchCancelled() const { return m_searchCancelled; }
    // True after a search that stopped short by itself (memory, or records that would not fit):
    // its totals count only what was read, as after a cancel.
    [[nodiscard]] bool SearchStoppedShort() const { return !m_searchEndReason.empty(); }
    // The mark a total of a cancelled or stopped search carries ("" otherwise).
    [[nodiscard]] std::string PartialMark() const;
    [[nodiscard]] IEngine& Engine() { return m_engine; }
    [[nodiscard]] IMainView& View() { return m_view; }

private:
    // Opens target with the desktop's default application; a failure shows in the logged box.
    void OpenWithDefaultApplication(const std::string& target);
    // Writes the counter labels from SearchProgress (the body of a live refresh).
    void ShowCounters();
    // The end of a search that could not start: the box with the reason and the failure status.
    void EndFailedSearch(int code);
    // The engine's DVOGetLastErrorText as UTF-8 ("" when it gives none).
    [[nodiscard]] std::string LastEngineErrorText();
    IMainView& m_view;
    IEngine& m_engine;
    IResultViews* m_resultViews = nullptr;
    ISearchTimings* m_searchTimings = nullptr;
    IStartupSteps* m_startupSteps = nullptr;
    const OperationLog* m_operationLog = nullptr;
    TIGForm* m_versionWindow = nullptr;

    std::string m_lastFolder;
    std::string m_searchDirectory; // the text of the read-only folder field
    bool m_quitWithoutAsking = false;
    bool m_formCreating = true;
    std::array<ScreenCursor, kCursorStackSize> m_cursorStack{};
    int m_cursorCount = 0;

    ::SearchProgress m_searchProgress{};
    bool m_searching = false;
    bool m_inSearchFlow = false;
    bool m_quitAfterSearchFlow = false; // a close confirmed while the flow ran
    bool m_refreshingCounters = false;
    bool m_searchCancelled = false;
    std::string m_searchEndReason; // the engine's reason why the last search stopped short
    int m_lastShownFileCount = 0;
};

} // namespace dvo::app
