#include "app/main/TMainForm.h"
#include "app/main/AppConstants.h"
#include "platform/InstanceLock.h"
#include "tests/app/FakeEngine.h"
#include "tests/app/FakeMainView.h"
#include "tests/app/RecordingHooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace {

using namespace dvo::app;
using namespace dvo::test;

const std::vector<std::string> kSearchStatuses = {
    "検索を開始します.", "検索ディレクトリを指定しています...", "ファイルを検索しています...",
    "フォルダツリーを作成しています...", "検索を終了しました"};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.form = &form;
        form.SetResultViews(&results);
        form.SetSearchTimings(&timings);
        form.SetStartupSteps(&startup);
        form.FormCreate();
    }

    void ChooseFolder(const std::string& folder) {
        view.folderAnswers.push_back(folder);
        form.btnAddDirectoryClick();
    }

    // What happened from now on.
    void ClearLog() { log.events.clear(); }

    EventLog log;
    FakeMainView view{log};
    FakeEngine engine{log};
    RecordingResultViews results{log};
    RecordingTimings timings{log};
    RecordingStartupSteps startup{log};
    TMainForm form{view, engine};
};

TEST_F(MainFormTest, CreationSetsLabelsDisablesButtonsAndCreatesTheEngine) {
    const std::vector<std::string> expected = {
        "label:Searching=",        "label:NumberOfFiles=0",
        "label:NumberOfFolders=0", "enable:Cancel=0",
        "enable:Execute=0",        "views:ResetResultGrid",
        "engine:DVOCreateObj",     "caption:ドルミナVersion 1.0.1"};
    EXPECT_EQ(log.events, expected);
    EXPECT_FALSE(form.FormCreating());
    EXPECT_EQ(form.LastFolder(), "/");
    EXPECT_EQ(view.status, "");

    ClearLog();
    form.FormDestroy();
    EXPECT_EQ(log.events, std::vector<std::string>{"engine:DVODestroyObj"});
}

TEST_F(MainFormTest, NormalSearchRunsEveryStepInOrder) {
    ChooseFolder("/data/photos");
    engine.passes = {Progress(100, u"/data/photos/a", 1, 1),
                     Progress(300, u"/data/photos/b", 2, 3)};
    engine.finalProgress = Progress(700, u"/data/photos/c", 3, 5);
    ClearLog();

    form.btnExecuteClick();

    EXPECT_EQ(log.WithPrefix("status:"), kSearchStatuses);
    const std::vector<std::string> steps = {"cursor:AppStart",
                                            "status:検索を開始します.",
                                            "views:ClearFolderTree",
                                            "views:ResetRecordCount",
                                            "engine:DVOStartFileSearching",
                                            "views:ResetResultGrid",
                                            "views:ResetShownNode",
                                            "status:検索ディレクトリを指定しています...",
                                            "engine:DVOAddSearchDirectory:/data/photos",
                                            "status:ファイルを検索しています...",
                                            "views:EmptyRowMarks",
                                            "timing:SearchStarted",
                                            "engine:DVOExecFileSearch:1010",
                                            "enable:Cancel=1",
                                            "enable:Execute=0",
                                            "processEvents",
                                            "processEvents",
                                            "timing:SearchEnded",
                                            "status:フォルダツリーを作成しています...",
                                            "views:LoadFolderRecords",
                                            "timing:DisplayStarted",
                                            "views:BuildFolderTree",
                                            "timing:DisplayEnded",
                                            "views:ShowTotals",
                                            "label:Searching=",
                                            "status:検索を終了しました",
                                            "enable:Cancel=0",
                                            "enable:Execute=1",
                                            "cursor:Default"};
    std::size_t from = 0;
    for (const std::string& step : steps) {
        const long at = log.IndexOf(step, from);
        ASSERT_GE(at, 0) << "missing or out of order: " << step;
        from = static_cast<std::size_t>(at) + 1;
    }
    // The totals come after the last live refresh, so the folder count they show (the records,
    // the searched folder too) is not overwritten by the live one when the poll missed the end.
    long lastLiveFolders = -1;
    for (std::size_t i = 0; i < log.events.size(); ++i)
        if (log.events[i].starts_with("label:NumberOfFolders="))
            lastLiveFolders = static_cast<long>(i);
    EXPECT_LT(lastLiveFolders, log.IndexOf("views:ShowTotals"));
    // The last refresh shows the engine's final record; the path label is emptied at the end.
    EXPECT_EQ(view.labels[MainLabel::FolderSize], "700 B");
    EXPECT_EQ(view.labels[MainLabel::NumberOfFiles], "5");
    EXPECT_EQ(view.labels[MainLabel::NumberOfFolders], "3");
    EXPECT_EQ(view.labels[MainLabel::Searching], "");
    EXPECT_FALSE(form.Searching());
    EXPECT_EQ(form.CursorCount(), 0);
}

// A search that the engine ended before reading everything (its records would not fit in
// memory) is shown like a cancelled one, and the engine's reason is told.
TEST_F(MainFormTest, SearchStoppedShortByTheEngineSaysWhyAndMarksItsTotalsPartial) {
    ChooseFolder("/data");
    engine.passes.assign(2, Progress(10, u"/data/x", 1, 1));
    engine.finalProgress = Progress(30, u"/data", 2, 4);
    const std::string reason =
        "フォルダの階層が深すぎるため、メモリに収まる所までで検索を終えました";
    engine.lastErrorText = platform::Utf8ToUtf16(reason);
    ClearLog();

    form.btnExecuteClick();

    std::vector<std::string> statuses = kSearchStatuses;
    statuses.back() = "検索を途中で終えました（途中までの結果です）";
    EXPECT_EQ(log.WithPrefix("status:"), statuses);
    EXPECT_EQ(view.labels[MainLabel::FolderSize], "30 B（途中まで）");
    EXPECT_EQ(view.labels[MainLabel::NumberOfFiles], "4（途中まで）");
    EXPECT_TRUE(form.SearchStoppedShort());
    EXPECT_FALSE(form.SearchCancelled());
    EXPECT_EQ(log.WithPrefix("messageBox:"),
              std::vector<std::string>{"検索を途中で終えました。\n/data\n" + reason});

    // The next search that reads everything drops the marks.
    engine.lastErrorText.clear();
    ClearLog();
    form.btnExecuteClick();
    EXPECT_EQ(log.WithPrefix("status:"), kSearchStatuses);
    EXPECT_EQ(view.labels[MainLabel::FolderSize], "30 B");
    EXPECT_FALSE(form.SearchStoppedShort());
    EXPECT_TRUE(log.WithPrefix("messageBox:").empty());
}

TEST_F(MainFormTest, CancelledSearchSaysSoAndMarksItsTotalsPartial) {
    ChooseFolder("/data");
    engine.passes.assign(10, Progress(10, u"/data/x", 1, 1));
    engine.finalProgress = Progress(30, u"/data", 2, 4);
    engine.errorCount = 2;
    view.onProcessEvents = [&](int pass) {
        if (pass == 2)
            form.btnCancelClick();
    };
    ClearLog();

    form.btnExecuteClick();

    std::vector<std::string> statuses = kSearchStatuses;
    statuses.back() = "検索をキャンセルしました（途中までの結果です）";
    EXPECT_EQ(log.WithPrefix("status:"), statuses);
    EXPECT_EQ(view.labels[MainLabel::FolderSize], "30 B（途中まで）");
    EXPECT_EQ(view.labels[MainLabel::NumberOfFiles], "4（途中まで）");
    EXPECT_EQ(view.statusFields[StatusField::Unread], "読み取れなかった項目: 2");
    EXPECT_TRUE(form.SearchCancelled());
    EXPECT_EQ(view.processEventsCalls, 3);
    // Cancel goes off at the click, before the flow has built the tree; Execute comes back only
    // once the flow has returned.
    const long abort = log.IndexOf("engine:DVOAbortFileSearching");
    ASSERT_GE(abort, 0);
    EXPECT_EQ(log.events[static_cast<std::size_t>(abort) + 1], "enable:Cancel=0");
    EXPECT_EQ(log.events[static_cast<std::size_t>(abort) + 2], "enable:Execute=0");
    EXPECT_LT(abort, log.IndexOf("views:BuildFolderTree"));
    EXPECT_TRUE(view.executeEnabled);
    EXPECT_GE(log.IndexOf("timing:DisplayEnded"), 0);

    // The next search that runs to its end is whole again.
    view.onProcessEvents = nullptr;
    engine.errorCount = 0;
    form.btnExecuteClick();
    EXPECT_EQ(view.status, "検索を終了しました");
    EXPECT_EQ(view.labels[MainLabel::FolderSize], "30 B");
    EXPECT_EQ(view.statusFields[StatusField::Unread], "読み取れなかった項目: 0");
}

TEST_F(MainFormTest, ASearchedFolderThatCouldNotBeReadIsAFailure) {
    ChooseFolder("/data/locked");
    engine.searchedFolderState = DVO_FOLDER_UNREADABLE;
    engine.errorCount = 1;
    form.btnExecuteClick();
    EXPECT_EQ(view.status, "検索できませんでした");
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_TRUE(view.boxes[0].text.starts_with("フォルダを読み取れませんでした。\n/data/locked\n"));
    EXPECT_EQ(view.statusFields[StatusField::Unread], "読み取れなかった項目: 1");
    EXPECT_TRUE(view.executeEnabled);
}

TEST_F(MainFormTest, ASearchThatCannotStartSaysWhy) {
    struct Case {
        int code;
        const char* reason;
    };
    const Case cases[] = {
        {DVO_E_NOT_FOUND, "フォルダが見つかりません"},
        {DVO_E_ACCESS, "フォルダを読み取る権限がありません"},
        {DVO_E_NOT_A_FOLDER, "フォルダではありません"},
    };
    ChooseFolder("/data/gone");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        engine.execResult = c.code;
        view.boxes.clear();
        ClearLog();
        form.btnExecuteClick();

        EXPECT_EQ(view.status, "検索できませんでした");
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].layout.title, "Error");
        EXPECT_TRUE(
            view.boxes[0].text.starts_with("フォルダを検索できませんでした。\n/data/gone\n"));
        EXPECT_NE(view.boxes[0].text.find(c.reason), std::string::npos) << view.boxes[0].text;
        // No tree, no figures of a search that did not happen, and the buttons are usable.
        EXPECT_EQ(log.Count("views:BuildFolderTree"), 0);
        EXPECT_EQ(view.processEventsCalls, 0);
        EXPECT_EQ(view.labels[MainLabel::FolderSize], "");
        EXPECT_FALSE(form.InSearchFlow());
        EXPECT_TRUE(view.executeEnabled);
        EXPECT_FALSE(view.cancelEnabled);
        EXPECT_EQ(form.CursorCount(), 0);
    }
}

TEST_F(MainFormTest, ExecuteWhileACancelledFlowWindsDownStartsNoSecondSearch) {
    ChooseFolder("/data");
    engine.passes.assign(10, Progress(10, u"/data/x", 1, 1));
    view.onProcessEvents = [&](int pass) {
        if (pass != 1)
            return;
        form.btnCancelClick();
        EXPECT_FALSE(view.executeEnabled);
        form.btnExecuteClick(); // the engine is idle already, the flow is not
    };
    ClearLog();
    form.btnExecuteClick();
    EXPECT_EQ(log.Count("engine:DVOExecFileSearch:1010"), 1);
    EXPECT_EQ(log.Count("views:BuildFolderTree"), 1);
    EXPECT_EQ(form.CursorCount(), 0);
    EXPECT_TRUE(view.executeEnabled);

    // Once the flow has returned, the next click searches again.
    view.onProcessEvents = nullptr;
    form.btnExecuteClick();
    EXPECT_EQ(log.Count("engine:DVOExecFileSearch:1010"), 2);
}

TEST_F(MainFormTest, AnOpenedExportIsShownAsAfterASearchAndSaysSo) {
    FolderRecord root{};
    std::copy_n(u"photos", 7, root.name);
    root.directory = u"/data";
    engine.searchedRecord = &root;
    engine.finalProgress = Progress(700, u"", 3, 5);
    view.fileAnswers = {std::nullopt, "/saved/p.json", "/saved/p.json"};

    form.mnuOpenResultClick(); // cancelled in the dialog
    EXPECT_EQ(log.IndexOf("engine:DVOOpenResult:/saved/p.json"), -1);

    // A file the engine refuses: the reason in a box, the views as they were.
    engine.openResult = DVO_E_BAD_FILE;
    engine.lastErrorText = u"/saved/p.json: 43 バイト目: 読めません";
    ClearLog();
    form.mnuOpenResultClick();
    EXPECT_EQ(log.IndexOf("views:ClearFolderTree"), -1);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(
        view.boxes[0].text,
        "検索結果を開けませんでした。\n/saved/p.json\n/saved/p.json: 43 バイト目: 読めません");
    EXPECT_EQ(form.CursorCount(), 0);

    engine.openResult = DVO_OK;
    ClearLog();
    form.mnuOpenResultClick();
    const std::vector<std::string> steps = {
        "engine:DVOOpenResult:/saved/p.json",
        "views:ClearFolderTree",
        "views:EmptyRowMarks",
        "caption:ドルミナVersion 1.0.1（開いた検索結果: /saved/p.json）",
        "views:LoadFolderRecords",
        "views:BuildFolderTree",
        "views:ShowTotals",
        "status:検索結果を開きました: /saved/p.json"};
    std::size_t from = 0;
    for (const std::string& step : steps) {
        const long at = log.IndexOf(step, from);
        ASSERT_GE(at, 0) << "missing or out of order: " << step;
        from = static_cast<std::size_t>(at) + 1;
    }
    // The path field names the file's folder, so "実行" searches it here.
    EXPECT_EQ(form.SearchDirectory(), "/data/photos");
    EXPECT_EQ(view.labels[MainLabel::NumberOfFiles], "5");
    EXPECT_EQ(form.CursorCount(), 0);
    EXPECT_EQ(form.OpenedResultFile(), "/saved/p.json");

    // A search replaces it, and the title says so no more.
    form.btnExecuteClick();
    EXPECT_EQ(view.caption, "ドルミナVersion 1.0.1");
    EXPECT_EQ(form.OpenedResultFile(), "");
    EXPECT_EQ(engine.DVOIsOpenedResult(), 0);
}

// A folder of the result read again: the search's flow (live counters, Cancel, the buttons) with
// the views told before and after, and the figures of the whole result at the end.
class RescanFlowTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        ChooseFolder("/data");
        engine.finalProgress = Progress(700, u"/data", 3, 5);
        form.btnExecuteClick();
        std::copy_n(u"sub", 4, sub.name);
        sub.directory = u"/data";
        results.selected = &sub;
        engine.passes = {Progress(10, u"/data/sub/x", 1, 1), Progress(20, u"/data/sub/y", 2, 2)};
        engine.finalProgress = Progress(900, u"/data", 4, 7);
        ClearLog();
    }
    FolderRecord sub{};
};

TEST_F(RescanFlowTest, RunsLikeASearchAndRefreshesTheViews) {
    bool cancelEnabled = false;
    bool executeEnabled = true;
    view.onProcessEvents = [&](int) {
        cancelEnabled = view.cancelEnabled;
        executeEnabled = view.executeEnabled;
        EXPECT_FALSE(form.CanRescanFolder()); // F5 again while it runs does nothing
    };
    ASSERT_TRUE(form.CanRescanFolder());
    form.mnuRescanFolderClick();

    EXPECT_TRUE(cancelEnabled);
    EXPECT_FALSE(executeEnabled);
    EXPECT_EQ(log.WithPrefix("status:"),
              (std::vector<std::string>{"フォルダを再検索しています...",
                                        "フォルダツリーを作成しています...",
                                        "フォルダの再検索を終了しました"}));
    const long started = log.IndexOf("views:RescanStarting");
    const long rescan = log.IndexOf("engine:DVORescanFolder:sub");
    const long ended = log.IndexOf("views:RescanEnded:sub");
    ASSERT_GE(started, 0);
    EXPECT_LT(started, rescan);
    EXPECT_LT(rescan, ended);
    EXPECT_LT(ended, log.IndexOf("views:ShowTotals"));
    // The live counters of the rescan, then the whole result's figures.
    EXPECT_GE(log.IndexOf("label:Searching=/data/sub/x"), 0);
    EXPECT_EQ(view.labels[MainLabel::FolderSize], "900 B");
    EXPECT_EQ(view.labels[MainLabel::NumberOfFiles], "7");
    EXPECT_EQ(view.boxes.size(), 0u);
    EXPECT_TRUE(view.executeEnabled);
    EXPECT_FALSE(view.cancelEnabled);
    EXPECT_EQ(form.Phase(), SearchPhase::Idle);
    EXPECT_EQ(form.CursorCount(), 0);
}

TEST_F(RescanFlowTest, CancelKeepsTheResultWholeAndSaysSo) {
    engine.passes.assign(10, Progress(10, u"/data/sub/x", 1, 1));
    view.onProcessEvents = [&](int pass) {
        if (pass == 1)
            form.btnCancelClick();
    };
    form.mnuRescanFolderClick();
    EXPECT_EQ(engine.abortCalls, 1);
    EXPECT_EQ(view.status, "フォルダの再検索をキャンセルしました（前の結果のままです）");
    EXPECT_GE(log.IndexOf("views:RescanEnded:sub"), 0);
    // The folder kept what the search had read: its totals are no partial ones.
    EXPECT_FALSE(form.SearchCancelled());
    EXPECT_EQ(view.labels[MainLabel::FolderSize], "900 B");
}

TEST_F(RescanFlowTest, EndingsThatDoNotRead) {
    struct Case {
        int result;
        std::string event;  // what the views are told
        std::string status; // then shown
        std::string box;    // the box's text
    };
    const std::vector<Case> cases = {
        {DVO_E_NOT_FOUND, "views:RescanEnded:sub:gone", "フォルダの再検索を終了しました",
         "フォルダが見つかりません。一覧から外しました。\n/data/sub"},
        {DVO_E_ACCESS, "views:RescanEnded:sub", "フォルダを再検索できませんでした",
         "フォルダを再検索できませんでした。\n/data/sub\nフォルダを読み取る権限がありません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        engine.rescanResult = c.result;
        view.boxes.clear();
        ClearLog();
        form.mnuRescanFolderClick();
        EXPECT_GE(log.IndexOf(c.event), 0);
        EXPECT_EQ(view.status, c.status);
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, c.box);
        EXPECT_EQ(view.processEventsCalls, 0);
        EXPECT_EQ(form.Phase(), SearchPhase::Idle);
        EXPECT_EQ(form.CursorCount(), 0);
    }
}

TEST_F(RescanFlowTest, RefusedWithoutAFolderOfASearchedResult) {
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"no folder selected", [&] { results.selected = nullptr; }},
        {"an opened result", [&] { engine.opened = true; }},
        {"the engine busy", [&] { engine.active = true; }},
    };
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        results.selected = &sub;
        engine.opened = false;
        engine.active = false;
        make();
        ClearLog();
        EXPECT_FALSE(form.CanRescanFolder());
        form.mnuRescanFolderClick();
        EXPECT_LT(log.IndexOf("engine:DVORescanFolder:sub"), 0);
        EXPECT_TRUE(log.WithPrefix("status:").empty());
    }
}

TEST_F(MainFormTest, TheFreeSpaceFollowsSearchesFileOperationsAndOpenedResults) {
    // A scripted disk: the folders asked about, and what the next answer is.
    std::vector<std::string> asked;
    platform::DiskSpace disk{256000, 12300};
    int failure = 0;
    form.SetDiskSpaceQuery([&](const std::string& folder, platform::DiskSpace& space) {
        asked.push_back(folder);
        if (failure == 0)
            space = disk;
        return failure;
    });
    const auto shown = [&] { return view.statusFields[StatusField::FreeSpace]; };

    ChooseFolder("/data/photos");
    form.btnExecuteClick();
    EXPECT_EQ(shown(), "空き 12300 B / 256000 B");
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), "/data/photos");

    // A delete freed space: the totals' refresh after it reads the disk again.
    disk.freeBytes = 20000;
    form.RefreshSearchTotals();
    EXPECT_EQ(shown(), "空き 20000 B / 256000 B");

    // A folder that has gone meanwhile says nothing rather than an old figure.
    failure = ENOENT;
    form.RefreshSearchTotals();
    EXPECT_EQ(shown(), "");
    failure = 0;

    // An opened result's disk is elsewhere: blank, and this disk is not asked.
    FolderRecord root{};
    std::copy_n(u"photos", 7, root.name);
    root.directory = u"/elsewhere";
    engine.searchedRecord = &root;
    view.fileAnswers = {"/saved/p.json"};
    form.RefreshSearchTotals();
    asked.clear();
    form.mnuOpenResultClick();
    EXPECT_EQ(shown(), "");
    EXPECT_TRUE(asked.empty());

    // A search that cannot start leaves no result to measure.
    form.btnExecuteClick();
    EXPECT_EQ(shown(), "空き 20000 B / 256000 B");
    engine.execResult = DVO_E_NOT_FOUND;
    form.btnExecuteClick();
    EXPECT_EQ(shown(), "");
}

TEST_F(MainFormTest, ButtonRules) {
    // No folder yet: Execute stays off even after the rules run.
    form.UpdateButtons();
    EXPECT_FALSE(view.executeEnabled);
    EXPECT_FALSE(view.cancelEnabled);

    // The dialog cancelled: field and folder unchanged, rules applied again.
    form.btnAddDirectoryClick();
    ASSERT_EQ(view.folderDialogs.size(), 1u);
    EXPECT_EQ(view.folderDialogs[0],
              std::make_pair(std::string("検索フォルダ指定"), std::string("/")));
    EXPECT_EQ(form.SearchDirectory(), "");
    EXPECT_EQ(form.LastFolder(), "/");
    EXPECT_FALSE(view.executeEnabled);

    ChooseFolder("/srv");
    EXPECT_EQ(view.searchDirectory, "/srv");
    EXPECT_TRUE(view.executeEnabled);
    EXPECT_FALSE(view.cancelEnabled);

    // During the search: Cancel on, Execute off; a folder chosen then changes only the field.
    engine.passes.assign(3, Progress(0, u"", 0, 0));
    bool checked = false;
    view.onProcessEvents = [&](int pass) {
        if (pass != 1)
            return;
        EXPECT_TRUE(view.cancelEnabled);
        EXPECT_FALSE(view.executeEnabled);
        ChooseFolder("/home");
        EXPECT_TRUE(view.cancelEnabled);
        EXPECT_FALSE(view.executeEnabled);
        checked = true;
    };
    form.btnExecuteClick();
    EXPECT_TRUE(checked);
    EXPECT_EQ(engine.addedDirectory, u"/srv");
    EXPECT_EQ(form.LastFolder(), "/home");
    EXPECT_TRUE(view.executeEnabled);
    EXPECT_FALSE(view.cancelEnabled);
}

TEST_F(MainFormTest, SizeCountSwitchesTheEngineAndTheViewsButNeverDuringASearch) {
    ChooseFolder("/srv");
    EXPECT_TRUE(view.sizeCountEnabled);
    EXPECT_EQ(form.CurrentSizeCount(), SizeCount::FileSize);

    ClearLog();
    form.mnuSizeDiskClick();
    EXPECT_EQ(log.events, (std::vector<std::string>{"engine:DVOSetSizeMode:1", "cursor:HourGlass",
                                                    "repaintWindow", "views:SizeCountChanged",
                                                    "cursor:Default", "repaintWindow"}));
    EXPECT_EQ(view.sizeCount, SizeCount::DiskUsage);
    EXPECT_EQ(engine.sizeMode, DVO_SIZE_DISK);

    // The checked item again changes nothing.
    ClearLog();
    form.mnuSizeDiskClick();
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(view.sizeCount, SizeCount::DiskUsage);

    // While the search flow runs the items are off, and a choice that gets through anyway
    // leaves the engine and the check as they were.
    engine.passes.assign(3, Progress(0, u"", 0, 0));
    bool checked = false;
    view.onProcessEvents = [&](int pass) {
        if (pass != 1)
            return;
        EXPECT_FALSE(view.sizeCountEnabled);
        form.mnuSizeFileClick();
        EXPECT_EQ(view.sizeCount, SizeCount::DiskUsage);
        checked = true;
    };
    ClearLog();
    form.btnExecuteClick();
    EXPECT_TRUE(checked);
    EXPECT_EQ(log.Count("engine:DVOSetSizeMode:0"), 0);
    EXPECT_EQ(log.Count("views:SizeCountChanged"), 0);
    EXPECT_TRUE(view.sizeCountEnabled);
    EXPECT_EQ(form.CurrentSizeCount(), SizeCount::DiskUsage);

    // An engine that refuses (busy on its own) keeps the count in force, checked.
    engine.searching = true;
    form.mnuSizeFileClick();
    EXPECT_EQ(view.sizeCount, SizeCount::DiskUsage);
    EXPECT_EQ(log.Count("views:SizeCountChanged"), 0);
    engine.searching = false;
    form.mnuSizeFileClick();
    EXPECT_EQ(view.sizeCount, SizeCount::FileSize);
    EXPECT_EQ(engine.sizeMode, DVO_SIZE_APPARENT);
    EXPECT_EQ(log.Count("views:SizeCountChanged"), 1);
    EXPECT_EQ(form.CursorCount(), 0);
}

TEST_F(MainFormTest, ExecuteWhileTheEngineIsActiveChangesNothing) {
    ChooseFolder("/data");
    engine.active = true;
    ClearLog();
    form.btnExecuteClick();
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(engine.isSearchingCalls, 0);
    EXPECT_EQ(form.CursorCount(), 0);
}

TEST_F(MainFormTest, CancelWhenIdleChangesNothing) {
    ChooseFolder("/data");
    ClearLog();
    form.btnCancelClick();
    EXPECT_TRUE(log.events.empty());
}

TEST_F(MainFormTest, CountersAreRewrittenOnlyWhenTheFileCountChanged) {
    ChooseFolder("/data");
    engine.passes = {Progress(50, u"/data/a", 1, 0), Progress(60, u"/data/b", 2, 0),
                     Progress(70, u"/data/c", 3, 4), Progress(80, u"/data/d", 4, 4),
                     Progress(90, u"/data/e", 5, 6)};
    engine.finalProgress = Progress(90, u"/data/e", 5, 6);
    std::vector<std::string> pathsSeen;
    view.onProcessEvents = [&](int) { pathsSeen.push_back(view.labels[MainLabel::Searching]); };
    ClearLog();

    form.btnExecuteClick();

    // File count 0 equals the last shown count, so the first two passes leave the labels alone;
    // the last value of each list is the final figures, written after the loop in any case.
    EXPECT_EQ(log.WithPrefix("label:FolderSize="),
              (std::vector<std::string>{"70 B", "90 B", "90 B"}));
    EXPECT_EQ(log.WithPrefix("label:NumberOfFiles="), (std::vector<std::string>{"4", "6", "6"}));
    EXPECT_EQ(pathsSeen, (std::vector<std::string>{"", "", "", "/data/c", "/data/c"}));
    EXPECT_EQ(log.Count("repaint:Searching"), 3);
    // The folder count is written by each refresh, once more right after the loop, and by the
    // final figures.
    EXPECT_EQ(log.WithPrefix("label:NumberOfFolders="),
              (std::vector<std::string>{"3", "5", "5", "5"}));
}

TEST_F(MainFormTest, FinalFiguresReplaceLiveOnesWithTheSameFileCount) {
    // The last live pass already had the final file count, but its size was not the final one
    // (hard links are counted once only at the end), and a second search of another folder
    // with as many files never changes the count the live refresh compares with.
    struct Case {
        std::vector<SearchProgress> passes;
        SearchProgress final;
        std::string size;
    };
    const std::vector<Case> cases = {
        {{Progress(900, u"/data/e", 5, 6)}, Progress(600, u"/data/e", 5, 6), "600 B"},
        {{Progress(4000, u"/data/other", 2, 6)}, Progress(4000, u"/data/other", 2, 6), "4000 B"},
    };
    ChooseFolder("/data");
    for (const Case& c : cases) {
        engine.passes = c.passes;
        engine.finalProgress = c.final;
        form.btnExecuteClick();
        EXPECT_EQ(view.labels[MainLabel::FolderSize], c.size);
        EXPECT_EQ(view.labels[MainLabel::NumberOfFiles], "6");
    }
}

TEST_F(MainFormTest, EngineEndingBeforeTheFirstPollMakesNoPass) {
    ChooseFolder("/empty");
    engine.finalProgress = Progress(4096, u"/empty", 1, 2);
    ClearLog();
    form.btnExecuteClick();
    EXPECT_EQ(view.processEventsCalls, 0);
    EXPECT_EQ(engine.isSearchingCalls, 1);
    // Step 17 writes the folder count of the reset record; step 24's refresh writes the rest.
    EXPECT_EQ(log.WithPrefix("label:NumberOfFolders="), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(log.WithPrefix("label:NumberOfFiles="), std::vector<std::string>{"2"});
    EXPECT_EQ(view.status, "検索を終了しました");
}

TEST_F(MainFormTest, LongFolderIsHandedToTheEngineWhole) {
    std::string folder = "/";
    while (folder.size() < 400)
        folder += "deep-folder-name/";
    folder += "長い名前";
    ChooseFolder(folder);
    form.btnExecuteClick();
    EXPECT_EQ(engine.addedDirectory, platform::Utf8ToUtf16(folder));
    EXPECT_GT(engine.addedDirectory.size(), 259u);
}

TEST_F(MainFormTest, EmptyFolderFieldAddsNoDirectory) {
    form.btnExecuteClick();
    EXPECT_EQ(log.WithPrefix("engine:DVOAddSearchDirectory").size(), 0u);
    EXPECT_EQ(view.status, "検索を終了しました");
}

TEST_F(MainFormTest, CloseRefusedAndConfirmed) {
    ClearLog();
    view.messageBoxAnswers = {MessageResult::Cancel};
    form.E1Click();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "プログラムを終了します");
    EXPECT_EQ(view.boxes[0].layout.title, "Confirm");
    ASSERT_EQ(view.boxes[0].layout.buttons.size(), 2u);
    EXPECT_FALSE(view.terminated);

    view.messageBoxAnswers = {MessageResult::OK};
    EXPECT_TRUE(form.FormClose());
    EXPECT_TRUE(view.terminated);
}

TEST_F(MainFormTest, CloseDuringASearchAbortsItAndQuitsWhenTheFlowReturns) {
    for (const int answer : {MessageResult::Cancel, MessageResult::OK}) {
        SCOPED_TRACE(answer);
        ChooseFolder("/data");
        view.terminated = false;
        engine.passes.assign(4, Progress(1, u"/data", 1, 1));
        engine.endless = true; // a search that would run for ever
        view.onProcessEvents = [&](int pass) {
            if (pass == 1) {
                view.messageBoxAnswers = {answer};
                form.E1Click();
            }
            if (pass == 6)
                engine.endless = false; // a declined close lets the search run on
        };
        view.processEventsCalls = 0;
        ClearLog();
        form.btnExecuteClick();

        if (answer == MessageResult::OK) {
            // The scan is stopped at the close, no tree is built, and the loop is ended only
            // after the flow has returned, so no modal window of the flow runs inside an ended loop.
            EXPECT_EQ(view.processEventsCalls, 2);
            EXPECT_EQ(log.Count("engine:DVOAbortFileSearching"), 1);
            EXPECT_EQ(log.Count("views:BuildFolderTree"), 0);
            EXPECT_TRUE(view.terminated);
            EXPECT_EQ(log.events.back(), "terminate");
            EXPECT_FALSE(form.InSearchFlow());
        } else {
            EXPECT_EQ(log.Count("engine:DVOAbortFileSearching"), 0);
            EXPECT_EQ(log.WithPrefix("status:"), kSearchStatuses);
            EXPECT_FALSE(view.terminated);
        }
    }
}

TEST_F(MainFormTest, CursorStackIgnoresPopWhenEmptyAndPushWhenFull) {
    ClearLog();
    form.PopCursor();
    EXPECT_TRUE(log.events.empty());

    // Eleven pushes alternate the cursors, so every saved entry is the one pushed before it.
    for (int i = 0; i < TMainForm::kCursorStackSize; ++i)
        (i % 2 == 0) ? form.PushAppStartCursor() : form.PushHourGlassCursor();
    EXPECT_EQ(form.CursorCount(), 11);
    EXPECT_EQ(view.cursor, ScreenCursor::AppStart);
    ClearLog();
    form.PushHourGlassCursor();
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(form.CursorCount(), 11);

    // Its pop restores what the eleventh push saved, one level early.
    form.PopCursor();
    EXPECT_EQ(view.cursor, ScreenCursor::HourGlass);
    EXPECT_EQ(log.events, (std::vector<std::string>{"cursor:HourGlass", "repaintWindow"}));
    for (int i = 0; i < 10; ++i)
        form.PopCursor();
    EXPECT_EQ(view.cursor, ScreenCursor::Default);
    EXPECT_EQ(form.CursorCount(), 0);

    form.PushAppStartCursor();
    form.ResetCursorStack();
    EXPECT_EQ(form.CursorCount(), 0);
    EXPECT_EQ(view.cursor, ScreenCursor::AppStart); // the reset leaves the screen alone
}

TEST_F(MainFormTest, ResizeKeepsTheFolderFieldClearOfItsButton) {
    view.addDirectoryLeft = 1059;
    form.FormResize();
    EXPECT_EQ(view.editWidth, 1059 - 8 - 32);
}

// The single-instance lock lives in XDG_RUNTIME_DIR; each test gets its own folder, because a
// lock taken in this process is held until the process ends.
class StartApplicationTest : public MainFormTest {
protected:
    void SetUp() override {
        const char* base = std::getenv("DVO_TEST_TMP");
        std::filesystem::path dir =
            base != nullptr ? base : std::filesystem::temp_directory_path().string();
        dir /= std::string("lock-") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
               std::to_string(::getpid());
        std::filesystem::create_directories(dir);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_oldRuntimeDir = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        MainFormTest::SetUp();
        ClearLog();
    }
    void TearDown() override {
        if (m_oldRuntimeDir)
            ::setenv("XDG_RUNTIME_DIR", m_oldRuntimeDir->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

private:
    std::optional<std::string> m_oldRuntimeDir;
};

TEST_F(StartApplicationTest, FirstInstanceRunsTheStartupStepsAndShowsTheWindow) {
    form.PushAppStartCursor();
    ClearLog();
    form.StartApplication();
    EXPECT_EQ(log.events, (std::vector<std::string>{"startup:FindProgramDirectory",
                                                    "startup:OpenOperationLog", "show"}));
    EXPECT_EQ(form.CursorCount(), 0);
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(StartApplicationTest, SecondInstanceShowsTheMessageAndEndsWithoutReadingSettings) {
    ASSERT_EQ(platform::TakeInstanceLock(std::string(MutexName)),
              platform::InstanceLockResult::Taken);
    form.StartApplication();
    EXPECT_EQ(log.events, (std::vector<std::string>{"messageBox:ドルミナは既に実行されています。",
                                                    "close", "terminate"}));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].layout.title, "Error");
    ASSERT_EQ(view.boxes[0].layout.buttons.size(), 1u);
    EXPECT_EQ(view.boxes[0].layout.buttons[0].caption, "OK");
    EXPECT_TRUE(form.QuitWithoutAsking());
    EXPECT_FALSE(view.shown);
}

TEST_F(StartApplicationTest, SecondStartHandsItsFolderOverAndShowsTheBoxOnlyWhenNobodyAnswers) {
    ASSERT_EQ(platform::TakeInstanceLock(std::string(MutexName)),
              platform::InstanceLockResult::Taken);
    for (const bool answered : {true, false}) {
        SCOPED_TRACE(answered);
        view.runningInstanceAnswers = answered;
        view.handedToRunningInstance.clear();
        view.boxes.clear();
        view.terminated = false;
        form.StartApplication("/data/photos");
        EXPECT_EQ(view.handedToRunningInstance, (std::vector<std::string>{"/data/photos"}));
        EXPECT_EQ(view.boxes.size(), answered ? 0u : 1u);
        EXPECT_EQ(form.ExitCode(), TMainForm::kExitAlreadyRunning);
        EXPECT_TRUE(view.terminated);
        EXPECT_FALSE(view.shown);
        EXPECT_FALSE(view.listening);
        EXPECT_EQ(log.Count("engine:DVOExecFileSearch:1010"), 0);
    }
}

TEST_F(StartApplicationTest, FolderOfALaterStartWaitsWhileASearchRunsAndAnUnusableOneIsReported) {
    form.StartApplication();
    EXPECT_TRUE(view.listening);
    EXPECT_EQ(form.ExitCode(), 0);
    const std::string searched = std::filesystem::temp_directory_path().string();
    const std::string later = std::filesystem::current_path().string();
    ASSERT_NE(searched, later);
    ChooseFolder(searched);
    engine.passes.assign(3, Progress(10, u"/x", 1, 1));
    view.onProcessEvents = [&](int pass) {
        if (pass == 0)
            form.OtherInstanceStarted(later);
    };
    form.btnExecuteClick();
    EXPECT_EQ(view.broughtToFront, 1);
    EXPECT_EQ(log.WithPrefix("engine:DVOAddSearchDirectory").size(), 1u);
    EXPECT_EQ(form.SearchedFolder(), searched);
    EXPECT_EQ(view.resultFolder, searched);
    EXPECT_EQ(view.searchDirectory, later); // chosen for the next search
    EXPECT_EQ(form.LastFolder(), later);

    view.onProcessEvents = nullptr;
    form.OtherInstanceStarted(""); // a plain second start only raises the window
    EXPECT_EQ(view.broughtToFront, 2);
    EXPECT_EQ(log.WithPrefix("engine:DVOAddSearchDirectory").size(), 1u);
    form.OtherInstanceStarted("/no/such/folder");
    ASSERT_FALSE(view.boxes.empty());
    EXPECT_EQ(view.boxes.back().text.rfind("指定されたフォルダが見つかりません。", 0), 0u);
    EXPECT_EQ(log.WithPrefix("engine:DVOAddSearchDirectory").size(), 1u);
    EXPECT_EQ(view.searchDirectory, later);
}

TEST(CommandLineFolder, IsAbsoluteWithoutTrailingSlashes) {
    struct Case {
        const char* argument;
        const char* working;
        const char* folder;
    };
    const Case cases[] = {
        {"", "/home/u", ""},
        {"/data/photos/", "/home/u", "/data/photos"},
        {"/", "/home/u", "/"},
        {"//", "/home/u", "/"},
        {"photos", "/home/u", "/home/u/photos"},
        {"photos//", "/", "/photos"},
        {"./a b", "/home/u/", "/home/u/./a b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TMainForm::CommandLineFolder(c.argument, c.working), c.folder) << c.argument;
}

TEST(PGMutex, FalseOnlyWhileAnotherHolderLives) {
    const char* base = std::getenv("DVO_TEST_TMP");
    std::filesystem::path dir =
        base != nullptr ? base : std::filesystem::temp_directory_path().string();
    dir /= "pgmutex-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    EXPECT_TRUE(TMainForm::PGMutex("pgmutex-test"));
    EXPECT_FALSE(TMainForm::PGMutex("pgmutex-test"));
    // A lock file that cannot be made does not stop the program.
    ::setenv("XDG_RUNTIME_DIR", "/proc", 1);
    EXPECT_TRUE(TMainForm::PGMutex("no/such/folder"));
    ::unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
