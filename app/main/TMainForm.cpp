#include "app/main/TMainForm.h"

#include "app/main/AppConstants.h"
#include "app/main/EngineErrorText.h"
#include "app/main/HelperFailureText.h"
#include "app/main/IResultViews.h"
#include "app/main/ISearchTimings.h"
#include "app/main/IStartupSteps.h"
#include "app/main/OperationLog.h"
#include "app/main/TIGForm.h"
#include "app/main/UserTexts.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/Text.h"

#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

namespace dvo::app {
namespace {

// The drive root of the original design is the file system root here.
constexpr std::string_view kInitialFolder = "/";

// Names of the message box results in the operation log; any other result has an empty name.
// Why a search could not start, for the codes the engine gives without a text of its own.
std::string SearchFailureReason(int code) {
    switch (code) {
    case DVO_E_NOT_FOUND:
        return "フォルダが見つかりません（削除されたか、名前が変わった可能性があります）";
    case DVO_E_NOT_A_FOLDER: return "フォルダではありません";
    case DVO_E_ACCESS: return "フォルダを読み取る権限がありません";
    case DVO_E_INVALID_ARGUMENT: return "検索するフォルダが指定されていません";
    case DVO_E_BUSY: return "前の検索がまだ終わっていません";
    case DVO_E_MOUNT_POINT: return "別のファイルシステムのフォルダは検索しません";
    case DVO_E_UNSUPPORTED: return "このフォルダは検索の対象外です";
    default: return "エラーコード " + std::to_string(code);
    }
}

std::string_view ButtonNameForLog(int result) {
    switch (result) {
    case MessageResult::OK: return "OK";
    case MessageResult::Cancel: return "Cancel";
    case MessageResult::Abort: return "Abort";
    case MessageResult::Retry: return "Retry";
    case MessageResult::Ignore: return "Ignore";
    case MessageResult::Yes: return "Yes";
    case MessageResult::No: return "No";
    default: return "";
    }
}

// Stand-ins for the modules a form may run without (tests, a window without diagnostics).
class NoResultViews final : public IResultViews {
public:
    void ClearFolderTree() override {}
    void ResetRecordCount() override {}
    void ResetResultGrid() override {}
    void ResetShownNode() override {}
    void EmptyRowMarks() override {}
    void LoadFolderRecords() override {}
    void BuildFolderTree() override {}
    void ShowTotals() override {}
    void FormResize() override {}
    void SizeCountChanged() override {}
};

class NoSearchTimings final : public ISearchTimings {
public:
    void SearchStarted(const platform::LocalTime&) override {}
    void SearchEnded(const platform::LocalTime&) override {}
    void DisplayStarted(const platform::LocalTime&) override {}
    void DisplayEnded(const platform::LocalTime&) override {}
};

class NoStartupSteps final : public IStartupSteps {
public:
    void FindProgramDirectory() override {}
    void OpenOperationLog() override {}
};

// Stateless, so one of each serves every form.
NoResultViews g_noResultViews;
NoSearchTimings g_noSearchTimings;
NoStartupSteps g_noStartupSteps;

} // namespace

TMainForm::TMainForm(IMainView& view, IEngine& engine)
    : m_view(view), m_engine(engine), m_resultViews(&g_noResultViews),
      m_searchTimings(&g_noSearchTimings), m_startupSteps(&g_noStartupSteps) {}

void TMainForm::SetResultViews(IResultViews* views) {
    m_resultViews = views != nullptr ? views : &g_noResultViews;
}

void TMainForm::SetSearchTimings(ISearchTimings* timings) {
    m_searchTimings = timings != nullptr ? timings : &g_noSearchTimings;
}

void TMainForm::SetStartupSteps(IStartupSteps* steps) {
    m_startupSteps = steps != nullptr ? steps : &g_noStartupSteps;
}

void TMainForm::FormCreate() {
    m_formCreating = true;
    m_lastFolder = std::string(kInitialFolder);
    m_view.SetLabelText(MainLabel::Searching, "");
    m_view.SetLabelText(MainLabel::NumberOfFiles, "0");
    m_view.SetLabelText(MainLabel::NumberOfFolders, "0");
    m_view.SetButtonEnabled(MainButton::Cancel, false);
    m_view.SetButtonEnabled(MainButton::Execute, false);
    m_resultViews->ResetResultGrid();
    m_engine.DVOCreateObj();
    m_formCreating = false;
    m_view.SetCaption(std::string(WindowCaption));
}

void TMainForm::FormDestroy() { m_engine.DVODestroyObj(); }

bool TMainForm::FormClose() {
    if (m_quitRequested)
        return true; // already confirmed; the flow ends the loop when it returns
    if (!m_quitWithoutAsking &&
        ShowMessageBox("プログラムを終了します", MessageKind::Confirmation,
                       MessageButton::OK | MessageButton::Cancel) != MessageResult::OK)
        return false;
    // Ending the loop from inside the search flow's event processing would also end every modal
    // loop the flow opens later (their boxes would return unanswered), so the flow ends it. The
    // scan is stopped first: the user asked to quit, not to wait for a million entries.
    if (InSearchFlow()) {
        m_quitRequested = true;
        if (m_phase == SearchPhase::Polling)
            m_engine.DVOAbortFileSearching();
    } else {
        m_view.TerminateApplication();
    }
    return true;
}

void TMainForm::FormResize() {
    m_resultViews->FormResize();
    m_view.SetSearchDirectoryWidth(m_view.AddDirectoryButtonLeft() - m_view.SearchDirectoryLeft() -
                                   32);
}

void TMainForm::E1Click() { m_view.CloseWindow(); }

bool TMainForm::PGMutex(const std::string& name) {
    // Only a live owner stops the start; a lock that cannot even be made lets the program run.
    return platform::TakeInstanceLock(name) != platform::InstanceLockResult::TakenByAnother;
}

void TMainForm::StartApplication(const std::string& startFolder) {
    if (!PGMutex(std::string(MutexName))) {
        // The running window coming to the front is the answer; the box only says why nothing
        // happened when that instance could not be reached.
        m_exitCode = kExitAlreadyRunning;
        if (!m_view.ReachRunningInstance(startFolder))
            ShowMessageBox("ドルミナは既に実行されています。", MessageKind::Error,
                           MessageButton::OK);
        m_quitWithoutAsking = true;
        m_view.CloseWindow();
        return;
    }
    m_startupSteps->FindProgramDirectory();
    m_startupSteps->OpenOperationLog();
    ResetCursorStack();
    m_view.ShowWindow();
    m_view.ListenForLaterStarts();
    if (!startFolder.empty())
        OpenFolder(startFolder);
}

void TMainForm::OtherInstanceStarted(const std::string& folder) {
    m_view.BringToFront();
    if (!folder.empty())
        OpenFolder(folder);
}

void TMainForm::OpenFolder(const std::string& folder) {
    if (!IsUsableFolder(folder)) {
        ReportUnusableFolder(folder);
        return;
    }
    ChooseFolder(folder);
    UpdateButtons();
    btnExecuteClick(); // ignored while a search flow runs: the folder waits for the next one
}

void TMainForm::SetStatusText(const std::string& text) { m_view.SetStatusText(text); }

void TMainForm::SetLabelText(MainLabel label, const std::string& text) {
    m_view.SetLabelText(label, text);
}

void TMainForm::SetStatusField(StatusField field, const std::string& text) {
    m_view.SetStatusField(field, text);
}

void TMainForm::RepaintWindow() { m_view.RepaintWindow(); }

void TMainForm::PushCursor(ScreenCursor cursor) {
    if (m_cursorCount == kCursorStackSize)
        return;
    m_cursorStack[static_cast<std::size_t>(m_cursorCount)] = m_view.CurrentScreenCursor();
    m_view.SetScreenCursor(cursor);
    m_view.RepaintWindow();
    ++m_cursorCount;
}

void TMainForm::PushAppStartCursor() { PushCursor(ScreenCursor::AppStart); }

void TMainForm::PushHourGlassCursor() { PushCursor(ScreenCursor::HourGlass); }

void TMainForm::PopCursor() {
    if (m_cursorCount == 0)
        return;
    --m_cursorCount;
    m_view.SetScreenCursor(m_cursorStack[static_cast<std::size_t>(m_cursorCount)]);
    m_view.RepaintWindow();
}

void TMainForm::ResetCursorStack() { m_cursorCount = 0; }

int TMainForm::ShowMessageBox(const std::string& text, MessageKind kind, unsigned buttons) {
    return m_view.ShowMessageBox(text, DescribeMessageBox(kind, buttons));
}

int TMainForm::ShowMessageDlg(const std::string& text, MessageKind kind, unsigned buttons) {
    return ShowMessageDlg(text, kind, buttons, -1);
}

int TMainForm::ShowMessageDlg(const std::string& text, MessageKind kind, unsigned buttons,
                              int safeResult) {
    WriteLog(kLogLevelMessage, "メッセージ出力：[" + text + "]");
    MessageBoxLayout layout = DescribeMessageBox(kind, buttons);
    for (std::size_t i = 0; i < layout.buttons.size(); ++i)
        if (layout.buttons[i].result == safeResult)
            layout.defaultButton = layout.escapeButton = static_cast<int>(i);
    const int result = m_view.ShowMessageBox(text, layout);
    WriteLog(kLogLevelMessage,
             "メッセージダイアログボタン：[" + std::string(ButtonNameForLog(result)) + "]クリック");
    return result;
}

void TMainForm::LogUserAction(const std::string& text) { WriteLog(kLogLevelUserAction, text); }

void TMainForm::WriteLog(int level, const std::string& text) {
    if (m_operationLog != nullptr)
        m_operationLog->Write(level, text);
}

void TMainForm::mnuVersionClick() {
    LogUserAction("ﾒﾆｭｰ:ﾊﾞｰｼﾞｮﾝ情報 選択");
    if (m_versionWindow == nullptr)
        return;
    m_versionWindow->SetCaption("バージョン情報");
    m_versionWindow->SetText(std::string(AboutTitle));
    m_versionWindow->SetText(std::string(VersionText));
    m_versionWindow->SetText(std::string(MakerAddress));
    m_versionWindow->ResizeMemo(248, 64);
    m_versionWindow->Show();
}

void TMainForm::N2Click() {
    // Without its own folder the program cannot know where the manual is.
    if (m_operationLog == nullptr || m_operationLog->ProgramDirectory().empty())
        return;
    OpenWithDefaultApplication(m_operationLog->ProgramDirectory() + "/KZ-DVOユーザーズガイド.pdf");
}

void TMainForm::N5Click() { OpenWithDefaultApplication(ProductHomePage()); }

void TMainForm::OpenWithDefaultApplication(const std::string& target) {
    // The view never calls back once the window, and with it this form, is gone.
    m_view.OpenWithDefaultApplication(
        target, [this, target](int status, const std::string& errorText) {
            if (status != 0)
                ShowMessageDlg(HelperFailureText("開けません", target, status, errorText),
                               MessageKind::Error, MessageButton::OK);
        });
}

void TMainForm::btnAddDirectoryClick() {
    if (auto folder = m_view.SelectFolder("検索フォルダ指定", m_lastFolder))
        ChooseFolder(*folder);
    UpdateButtons();
}

void TMainForm::ChooseFolder(const std::string& folder) {
    m_searchDirectory = folder;
    m_typedFolder.reset();
    m_view.SetSearchDirectoryText(m_searchDirectory);
    m_lastFolder = folder;
}

void TMainForm::edtSearchDirectoryChange(const std::string& text) {
    m_typedFolder = text;
    UpdateButtons();
}

void TMainForm::edtSearchDirectoryReturn() { btnExecuteClick(); }

bool TMainForm::TakeTypedFolder() {
    if (!m_typedFolder)
        return true;
    // Typed text is held to what a dialog hands back: an absolute path of an existing folder.
    // A relative one would depend on the folder the program happened to start in.
    if (m_typedFolder->empty())
        return false; // nothing to search, as the disabled "実行" says
    const std::string folder = CommandLineFolder(*m_typedFolder, "/");
    if (!m_typedFolder->starts_with('/') || !IsUsableFolder(folder)) {
        ReportUnusableFolder(*m_typedFolder); // the text stays in the field, to be corrected
        return false;
    }
    ChooseFolder(folder);
    return true;
}

void TMainForm::btnExecuteClick() {
    // A click while the previous flow winds down (after "キャンセル") would nest a second search
    // inside the first one's event processing.
    if (InSearchFlow() || m_engine.DVOIsActive() != 0)
        return;
    if (!TakeTypedFolder()) {
        UpdateButtons();
        return;
    }
    m_phase = SearchPhase::WindingDown; // in the flow; polling starts once the engine searches
    // What the result panel shows from now on, whatever folder is chosen during the search.
    m_searchedFolder = m_searchDirectory;
    m_view.SetResultFolderText(m_searchedFolder);
    PushAppStartCursor();
    if (!m_openedResultFile.empty()) {
        m_openedResultFile.clear();
        m_view.SetCaption(std::string(WindowCaption));
    }
    SetStatusText(kStatusStarting);
    m_resultViews->ClearFolderTree();
    m_refreshingCounters = false;
    m_resultViews->ResetRecordCount();
    m_engine.DVOStartFileSearching();
    m_resultViews->ResetResultGrid();
    m_resultViews->ResetShownNode();
    SetStatusText(kStatusAddingFolder);
    if (!m_searchedFolder.empty()) {
        // The engine takes a path of any length, so a folder deeper than the 259 units of the
        // original fixed buffer is handed over whole instead of being cut.
        const std::u16string path = platform::Utf8ToUtf16(m_searchedFolder);
        m_engine.DVOAddSearchDirectory(path.c_str());
    }
    SetStatusText(kStatusSearching);
    m_searchProgress.fileCount = 0;
    m_searchProgress.folderCount = 0;
    m_resultViews->EmptyRowMarks();
    m_searchTimings->SearchStarted(platform::LocalNow());
    m_searchCancelled = false;
    m_searchEndReason.clear();
    m_view.SetStatusField(StatusField::Unread, "");
    // The tree lists every record after the search: the engine makes them on its own threads.
    m_engine.DVOSetRecordsAhead(1);
    const int started = m_engine.DVOExecFileSearch(1, 0, 1, 0);
    if (started != DVO_OK) {
        EndFailedSearch(started);
        return;
    }
    if (!PollEngine())
        return;

    // A search that stopped short by itself leaves its reason; it is read before the records
    // are listed, which clears it.
    m_searchEndReason = LastEngineErrorText();
    m_searchTimings->SearchEnded(platform::LocalNow());
    ShowFolderCount();
    SetStatusText(kStatusBuildingTree);
    m_resultViews->LoadFolderRecords();
    m_searchTimings->DisplayStarted(platform::LocalNow());
    m_resultViews->BuildFolderTree();
    m_searchTimings->DisplayEnded(platform::LocalNow());
    ShowFinalFigures();
    // The searched folder itself could not be read: nothing of it is known, which is no result.
    const bool unreadable =
        m_engine.DVOGetFolderState(m_engine.DVOGetRootFolderInfo()) == DVO_FOLDER_UNREADABLE;
    const bool stoppedShort = !unreadable && !m_searchCancelled && !m_searchEndReason.empty();
    SetStatusText(unreadable          ? kStatusFailed
                  : m_searchCancelled ? kStatusCancelled
                  : stoppedShort      ? kStatusStoppedShort
                                      : kStatusFinished);
    LeaveSearchFlow();
    if (unreadable)
        ShowMessageDlg("フォルダを読み取れませんでした。\n" + m_searchedFolder + "\n" +
                           SearchFailureReason(DVO_E_ACCESS),
                       MessageKind::Error, MessageButton::OK);
    else if (stoppedShort)
        ShowMessageDlg("検索を途中で終えました。\n" + m_searchedFolder + "\n" + m_searchEndReason,
                       MessageKind::Warning, MessageButton::OK);
    QuitIfRequested();
}

bool TMainForm::PollEngine() {
    m_phase = SearchPhase::Polling;
    UpdateButtons();

    // No pause between passes: the window stays responsive and the counters live. The yield
    // leaves the processor to the engine's threads on a machine with few cores.
    //
    // ProcessPendingEvents runs other handlers inside this flow; each knows the phase:
    //  - btnCancelClick: aborts the scan, phase WindingDown; this loop ends once the engine stops.
    //  - FormClose (frame or "終了"): once confirmed, a quit request and an abort; the loop ends
    //    the flow early below and ends the message loop itself.
    //  - btnExecuteClick: ignored while the phase is not Idle.
    //  - btnAddDirectoryClick, edtSearchDirectoryChange, OpenFolder: change the folder field
    //    only, not this search nor the folder the result panel names.
    //  - FormResize, the help and version items, the sort and tree-mode menus, the treemap item,
    //    clicks in the tree and grid and the grid's file commands: they find the tree and the
    //    grid emptied at the start (nothing to list or act on) until BuildFolderTree.
    while (m_engine.DVOIsSearching() != 0) {
        m_view.ProcessPendingEvents();
        m_engine.DVOGetCurrentSearchInfo(&m_searchProgress);
        RefreshLiveCounters();
        std::this_thread::yield();
    }
    m_phase = SearchPhase::WindingDown;
    if (m_quitRequested) {
        // Quitting: building a tree nobody will see could take seconds.
        m_phase = SearchPhase::Idle;
        PopCursor();
        QuitIfRequested();
        return false;
    }
    return true;
}

bool TMainForm::CanRescanFolder() {
    return !InSearchFlow() && m_engine.DVOIsActive() == 0 && m_engine.DVOIsOpenedResult() == 0 &&
           m_resultViews->SelectedFolderRecord() != nullptr;
}

void TMainForm::mnuRescanFolderClick() {
    LogUserAction("ﾒﾆｭｰ:選択したﾌｫﾙﾀﾞを再検索 選択");
    if (!CanRescanFolder())
        return;
    FolderRecord* record = m_resultViews->SelectedFolderRecord();
    std::string folder =
        platform::Utf16ToUtf8(record->directory != nullptr ? record->directory : u"");
    if (!folder.ends_with('/'))
        folder += '/';
    folder += platform::Utf16ArrayToUtf8(record->name, DVO_NAME_UNITS);
    m_phase = SearchPhase::WindingDown;
    PushAppStartCursor();
    SetStatusText(kStatusRescanning);
    // A cancel here keeps the result as it was: whether the search it came from was whole
    // stays what the figures say.
    const bool searchCancelled = std::exchange(m_searchCancelled, false);
    m_resultViews->RescanStarting();
    m_view.SetStatusField(StatusField::Unread, "");
    const int started = m_engine.DVORescanFolder(record);
    if (started != DVO_OK) {
        m_searchCancelled = searchCancelled;
        const bool gone = started == DVO_E_NOT_FOUND;
        m_resultViews->RescanEnded(record, gone);
        ShowFinalFigures();
        std::string reason = LastEngineErrorText();
        if (reason.empty())
            reason = SearchFailureReason(started);
        SetStatusText(gone ? kStatusRescanFinished : kStatusRescanFailed);
        LeaveSearchFlow();
        if (gone)
            ShowMessageDlg(std::string(kRescanGone) + "\n" + folder, MessageKind::Warning,
                           MessageButton::OK);
        else
            ShowMessageDlg(std::string(kStatusRescanFailed) + "。\n" + folder + "\n" + reason,
                           MessageKind::Error, MessageButton::OK);
        return;
    }
    if (!PollEngine())
        return;
    const bool cancelled = std::exchange(m_searchCancelled, searchCancelled);
    // Why it stopped short, if it did; read before the records, which clears it.
    const std::string reason = cancelled ? std::string() : LastEngineErrorText();
    SetStatusText(kStatusBuildingTree);
    m_resultViews->RescanEnded(record, false);
    ShowFinalFigures();
    SetStatusText(cancelled        ? kStatusRescanCancelled
                  : reason.empty() ? kStatusRescanFinished
                                   : kStatusRescanStoppedShort);
    LeaveSearchFlow();
    if (!reason.empty())
        ShowMessageDlg("フォルダの再検索を途中で終えました。\n" + folder + "\n" + reason,
                       MessageKind::Warning, MessageButton::OK);
    QuitIfRequested();
}

void TMainForm::ShowFinalFigures() {
    m_engine.DVOGetCurrentSearchInfo(&m_searchProgress);
    // The final figures are written whatever the live passes showed: the same file count can
    // come with another size (hard links are counted once only in the final figures, or an earlier
    // search had as many files). They go before the totals, whose folder count (the records, the
    // searched folder too) must not be overwritten by the live one.
    ShowCounters();
    m_resultViews->ShowTotals();
    m_view.SetLabelText(MainLabel::Searching, "");
    const int unread = m_engine.DVOGetErrorCount();
    m_view.SetStatusField(StatusField::Unread,
                          "読み取れなかった項目: " + std::to_string(unread < 0 ? 0 : unread));
    ShowFreeSpace();
}

void TMainForm::ShowFreeSpace() {
    platform::DiskSpace space;
    if (!m_openedResultFile.empty() || m_searchedFolder.empty() ||
        m_diskSpaceQuery(m_searchedFolder, space) != 0) {
        m_view.SetStatusField(StatusField::FreeSpace, "");
        return;
    }
    const auto text = [this](long long bytes) {
        char16_t buffer[DVO_DISPLAY_TEXT_UNITS] = {};
        m_engine.DVOFileSize2String(buffer, static_cast<int>(sizeof buffer), bytes);
        return platform::Utf16ArrayToUtf8(buffer, DVO_DISPLAY_TEXT_UNITS);
    };
    m_view.SetStatusField(StatusField::FreeSpace,
                          "空き " + text(space.freeBytes) + " / " + text(space.totalBytes));
}

void TMainForm::mnuOpenResultClick() {
    LogUserAction("ﾒﾆｭｰ:検索結果を開く 選択");
    if (InSearchFlow() || m_engine.DVOIsActive() != 0)
        return;
    const auto file =
        m_view.SelectOpenFile("検索結果を開く", "ncdu JSON (*.json);;すべてのファイル (*)");
    if (!file)
        return;
    PushHourGlassCursor();
    const int opened = m_engine.DVOOpenResult(platform::Utf8ToUtf16(*file).c_str());
    if (opened != DVO_OK) {
        // The engine keeps the result it had: so do the views.
        std::string reason = LastEngineErrorText();
        if (reason.empty())
            reason = SearchFailureReason(opened);
        PopCursor();
        ShowMessageDlg(std::string(kOpenResultFailed) + "\n" + *file + "\n" + reason,
                       MessageKind::Error, MessageButton::OK);
        return;
    }
    m_resultViews->ClearFolderTree();
    m_resultViews->ResetRecordCount();
    m_resultViews->ResetResultGrid();
    m_resultViews->ResetShownNode();
    m_resultViews->EmptyRowMarks();
    m_searchCancelled = false;
    m_searchEndReason.clear();
    m_openedResultFile = *file;
    // The path field names the file's root: a search from here searches it on this machine.
    m_searchDirectory = OpenedRootPath();
    m_view.SetSearchDirectoryText(m_searchDirectory);
    m_view.SetCaption(std::string(WindowCaption) + kOpenedResultCaption + *file + "）");
    SetStatusText(kStatusBuildingTree);
    m_resultViews->LoadFolderRecords();
    m_resultViews->BuildFolderTree();
    ShowFinalFigures();
    SetStatusText(std::string(kStatusOpenedResult) + ": " + *file);
    PopCursor();
}

void TMainForm::mnuSizeFileClick() {
    LogUserAction("ﾒﾆｭｰ:ｻｲｽﾞの数え方 ﾌｧｲﾙｻｲｽﾞ 選択");
    ChooseSizeCount(SizeCount::FileSize);
}

void TMainForm::mnuSizeDiskClick() {
    LogUserAction("ﾒﾆｭｰ:ｻｲｽﾞの数え方 ﾃﾞｨｽｸ使用量 選択");
    ChooseSizeCount(SizeCount::DiskUsage);
}

void TMainForm::ChooseSizeCount(SizeCount count) {
    // The engine refuses a switch while it scans; the items are disabled then, and a shortcut
    // that gets through anyway leaves the check on the count in force.
    if (count == m_sizeCount || InSearchFlow() ||
        m_engine.DVOSetSizeMode(count == SizeCount::DiskUsage ? DVO_SIZE_DISK
                                                              : DVO_SIZE_APPARENT) != DVO_OK) {
        m_view.SetSizeCountChecked(m_sizeCount);
        return;
    }
    m_sizeCount = count;
    m_view.SetSizeCountChecked(m_sizeCount);
    PushHourGlassCursor();
    m_resultViews->SizeCountChanged();
    PopCursor();
}

std::string TMainForm::OpenedRootPath() {
    // The root record stands above the searched folder, its only child.
    FolderRecord* above = m_engine.DVOGetRootFolderInfo();
    const FolderRecord* root = above != nullptr ? m_engine.DVOGetFirstFolderInfo(above) : nullptr;
    if (root == nullptr)
        return {};
    std::string path = platform::Utf16ToUtf8(root->directory != nullptr ? root->directory : u"");
    std::u16string_view name(root->name);
    if (!path.empty() && !path.ends_with('/'))
        path += '/';
    return path + platform::Utf16ToUtf8(name);
}

void TMainForm::btnCancelClick() {
    if (m_engine.DVOIsActive() == 0)
        return;
    m_searchCancelled = true;
    m_engine.DVOAbortFileSearching();
    // Outside a flow (an engine active on its own) there is nothing to wind down.
    if (m_phase == SearchPhase::Polling)
        m_phase = SearchPhase::WindingDown;
    UpdateButtons();
}

void TMainForm::LeaveSearchFlow() {
    m_phase = SearchPhase::Idle;
    UpdateButtons();
    PopCursor();
}

void TMainForm::QuitIfRequested() {
    if (!m_quitRequested)
        return;
    m_quitRequested = false;
    m_view.TerminateApplication();
}

void TMainForm::EndFailedSearch(int code) {
    // The search never ran: no figures from it, and the user learns why rather than reading
    // "finished" over an empty tree.
    m_view.SetLabelText(MainLabel::FolderSize, "");
    m_view.SetLabelText(MainLabel::Searching, "");
    m_view.SetLabelText(MainLabel::NumberOfFiles, "");
    m_view.SetLabelText(MainLabel::NumberOfFolders, "");
    SetStatusText(kStatusFailed);
    const std::string folder = std::exchange(m_searchedFolder, std::string());
    m_view.SetResultFolderText(m_searchedFolder); // the panel shows no result
    ShowFreeSpace();
    std::string reason = LastEngineErrorText();
    if (reason.empty() || code == DVO_E_NOT_FOUND || code == DVO_E_NOT_A_FOLDER ||
        code == DVO_E_ACCESS)
        reason = SearchFailureReason(code);
    LeaveSearchFlow();
    ShowMessageDlg("フォルダを検索できませんでした。\n" + folder + "\n" + reason,
                   MessageKind::Error, MessageButton::OK);
    QuitIfRequested();
}

std::string TMainForm::PartialMark() const {
    return m_searchCancelled || !m_searchEndReason.empty() ? kPartialMark : "";
}

std::string TMainForm::LastEngineErrorText() { return EngineErrorText(m_engine); }

bool TMainForm::IsUsableFolder(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

std::string TMainForm::CommandLineFolder(const std::string& argument,
                                         const std::string& workingFolder) {
    if (argument.empty())
        return {};
    std::string folder = argument.starts_with('/')      ? argument
                         : workingFolder.ends_with('/') ? workingFolder + argument
                                                        : workingFolder + "/" + argument;
    while (folder.size() > 1 && folder.ends_with('/'))
        folder.pop_back();
    return folder;
}

void TMainForm::ReportUnusableFolder(const std::string& path) {
    ShowMessageDlg("指定されたフォルダが見つかりません。フォルダ名に扱えない文字が含まれている可能"
                   "性があります。\n" +
                       path,
                   MessageKind::Error, MessageButton::OK);
}

void TMainForm::UpdateButtons() {
    m_view.SetSizeCountEnabled(!InSearchFlow());
    if (m_phase == SearchPhase::Polling) {
        m_view.SetButtonEnabled(MainButton::Cancel, true);
        m_view.SetButtonEnabled(MainButton::Execute, false);
    } else {
        m_view.SetButtonEnabled(MainButton::Cancel, false);
        m_view.SetButtonEnabled(MainButton::Execute,
                                !m_typedFolder.value_or(m_searchDirectory).empty() &&
                                    !InSearchFlow());
    }
}

void TMainForm::RefreshSearchTotals() {
    // A delete, copy or move has just changed what the disk holds.
    ShowFreeSpace();
    const long long shownSize = m_searchProgress.size;
    m_engine.DVOGetCurrentSearchInfo(&m_searchProgress);
    if (m_searchProgress.size != shownSize) {
        char16_t sizeText[DVO_DISPLAY_TEXT_UNITS] = {};
        m_engine.DVOFileSize2String(sizeText, static_cast<int>(sizeof sizeText),
                                    m_searchProgress.size);
        m_view.SetLabelText(MainLabel::FolderSize,
                            platform::Utf16ArrayToUtf8(sizeText, DVO_DISPLAY_TEXT_UNITS) +
                                PartialMark());
    }
}

void TMainForm::RefreshLiveCounters() {
    if (m_refreshingCounters)
        return;
    m_refreshingCounters = true;
    if (m_searchProgress.fileCount != m_lastShownFileCount)
        ShowCounters();
    m_refreshingCounters = false;
}

void TMainForm::ShowCounters() {
    // 40 bytes for the engine, of which the label shows at most 20 units.
    char16_t sizeText[DVO_DISPLAY_TEXT_UNITS] = {};
    m_engine.DVOFileSize2String(sizeText, static_cast<int>(sizeof sizeText), m_searchProgress.size);
    m_view.SetLabelText(MainLabel::FolderSize,
                        platform::Utf16ArrayToUtf8(sizeText, DVO_DISPLAY_TEXT_UNITS) +
                            PartialMark());
    m_view.SetLabelText(MainLabel::Searching,
                        platform::Utf16ArrayToUtf8(m_searchProgress.currentPath, DVO_NAME_UNITS));
    m_view.SetLabelText(MainLabel::NumberOfFiles,
                        std::to_string(m_searchProgress.fileCount) + PartialMark());
    m_view.SetLabelText(MainLabel::NumberOfFolders,
                        std::to_string(m_searchProgress.folderCount) + PartialMark());
    m_view.RepaintLabel(MainLabel::Searching);
    m_view.RepaintLabel(MainLabel::NumberOfFiles);
    m_view.RepaintLabel(MainLabel::NumberOfFolders);
    m_lastShownFileCount = m_searchProgress.fileCount;
}

void TMainForm::ShowFolderCount() {
    m_view.SetLabelText(MainLabel::NumberOfFolders, std::to_string(m_searchProgress.folderCount));
    m_view.RepaintLabel(MainLabel::NumberOfFolders);
}

} // namespace dvo::app
