#include "app/views/ResultViews.h"
#include "app/main/TMainForm.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeMainView.h"
#include "tests/views/FakeResultView.h"
#include "tests/views/SyntheticEngine.h"
#include "tests/views/WindowHarness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <strings.h>

namespace {

using dvo::app::FolderTreeNode;
using dvo::app::MainLabel;
using dvo::app::MenuCheck;
using dvo::app::ResultViews;

std::string Captions(const dvo::app::FolderTree& tree, const dvo::app::FolderTreeNode* parent) {
    std::string out;
    for (const dvo::app::FolderTreeNode* n : tree.Children(parent))
        out += (out.empty() ? "" : ",") + std::string(n->Caption());
    return out;
}

dvo::app::FolderTreeNode* FindIn(const dvo::app::FolderTree& tree, std::string_view caption) {
    for (dvo::app::FolderTreeNode* n = tree.FirstTopLevel(); n != nullptr;
         n = tree.NextInTreeOrder(n))
        if (n->Caption() == caption)
            return n;
    return nullptr;
}

// /data(100): a(10)[a1(4)[deep.txt 4], a2.txt 6], b(60)[b1(0)[], b2.bin 60], c.txt 30
struct ResultViewsTest : testing::Test, dvo::test::WindowHarness<dvo::test::SyntheticEngine> {
    FolderRecord *data = nullptr, *a = nullptr, *a1 = nullptr, *b = nullptr;

    void SetUp() override { Wire(); }
    void MakeSample() {
        data = engine.AddSearchedFolder("/data", 100);
        engine.SetCounts(data, 4, 4);
        a = engine.Add(data, "a", 0, 10);
        engine.SetCounts(a, 1, 2);
        a1 = engine.Add(a, "a1", 0, 4);
        engine.Add(a1, "deep.txt", 1, 4);
        engine.Add(a, "a2.txt", 1, 6);
        b = engine.Add(data, "b", 0, 60);
        engine.Add(b, "b1", 0, 0);
        engine.Add(b, "b2.bin", 1, 60);
        engine.Add(data, "c.txt", 1, 30);
    }
    void Search() { form.btnExecuteClick(); }
};

TEST_F(ResultViewsTest, ProgressiveBuildSortsTopLevelsThenLoadsTheWholeTree) {
    MakeSample();
    Search();
    const auto& tree = results.Tree();
    ASSERT_EQ(Captions(tree, nullptr), "/data");
    dvo::app::FolderTreeNode* top = tree.FirstTopLevel();
    // Sorted by size descending before the automatic expansion ...
    EXPECT_EQ(Captions(tree, top), "b,c.txt,a");
    // ... which then loaded the deeper levels, files included, in the same order.
    EXPECT_EQ(Captions(tree, FindIn(tree, "b")), "b2.bin,b1");
    EXPECT_EQ(Captions(tree, FindIn(tree, "a")), "a2.txt,a1");
    EXPECT_EQ(Captions(tree, FindIn(tree, "a1")), "deep.txt");
    EXPECT_EQ(tree.PendingCount(), 0u);
    // The first node is current but drawn unselected, and the grid stays empty.
    EXPECT_EQ(view.current, top);
    EXPECT_FALSE(view.selectionVisible);
    EXPECT_EQ(results.Grid().RowCount(), 2);
    EXPECT_EQ(results.ShownRowCount(), 0);
    EXPECT_EQ(results.Grid().titles[2], "サイズ▽");
    // Folders only in the count, as "フォルダ数" says.
    EXPECT_EQ(results.RecordCount(), 5);
    EXPECT_EQ(mainView.labels[MainLabel::NumberOfFolders], "5");
    EXPECT_EQ(mainView.labels[MainLabel::NumberOfFiles], "4");
    EXPECT_EQ(mainView.status, "検索を終了しました");
    EXPECT_TRUE(view.checks[MenuCheck::SortSizeDown]);
    EXPECT_EQ(form.CursorCount(), 0);
}

TEST_F(ResultViewsTest, LevelsBelowTheShownOnesLoadInSlicesUnderTheBusyCursor) {
    MakeSample();
    engine.Add(a1, "aaa.txt", 1, 1);
    view.holdSlices = true;
    Search();
    const auto& tree = results.Tree();
    // The expanded folder's children and the level below them are there, the rest is not.
    EXPECT_TRUE(results.TreeLoading());
    EXPECT_EQ(Captions(tree, FindIn(tree, "a")), "a2.txt,a1");
    EXPECT_EQ(Captions(tree, FindIn(tree, "a1")), "");
    EXPECT_EQ(form.CursorCount(), 1);
    EXPECT_EQ(mainView.status, "検索を終了しました");
    // An order chosen meanwhile holds for the levels that come later.
    results.mnuAlphaClick();
    EXPECT_TRUE(results.TreeLoading());
    while (view.RunSlice()) {
    }
    EXPECT_FALSE(results.TreeLoading());
    EXPECT_EQ(Captions(tree, FindIn(tree, "a1")), "aaa.txt,deep.txt");
    EXPECT_EQ(tree.NodeCount(), 10u);
    EXPECT_EQ(tree.PendingCount(), 0u);
    EXPECT_EQ(form.CursorCount(), 0);
}

TEST_F(ResultViewsTest, ASubtreeLoadsWholeAtOnceBesideTheBackgroundLoad) {
    MakeSample();
    view.holdSlices = true;
    Search();
    ASSERT_EQ(Captions(results.Tree(), FindIn(results.Tree(), "a1")), "");
    results.LoadSubtree(FindIn(results.Tree(), "a"));
    EXPECT_EQ(Captions(results.Tree(), FindIn(results.Tree(), "a1")), "deep.txt");
    EXPECT_TRUE(results.TreeLoading()); // the rest still comes in slices, a1's entry once
    while (view.RunSlice()) {
    }
    EXPECT_EQ(Captions(results.Tree(), FindIn(results.Tree(), "a1")), "deep.txt");
    EXPECT_EQ(results.Tree().NodeCount(), 9u);
    EXPECT_EQ(results.Tree().PendingCount(), 0u);
}

TEST_F(ResultViewsTest, CommandsDuringTheLoadSeeTheWholeTree) {
    const struct {
        const char* name;
        std::function<void(ResultViewsTest&)> command;
        bool stillLoading; // the slices go on afterwards
    } cases[] = {
        {"expand all", [](ResultViewsTest& t) { t.results.N3Click(); }, false},
        {"a file operation",
         [](ResultViewsTest& t) {
             t.results.FileOperationStarting();
             t.results.FileOperationEnded(false, nullptr);
         },
         false},
        // A folder the load has not reached lists its entries all the same.
        {"a click on a folder not loaded yet", [](ResultViewsTest& t) { t.Select("a1"); }, true},
    };
    MakeSample();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view.holdSlices = true;
        Search();
        ASSERT_TRUE(results.TreeLoading());
        c.command(*this);
        EXPECT_EQ(results.TreeLoading(), c.stillLoading);
        if (!c.stillLoading) {
            EXPECT_EQ(results.Tree().PendingCount(), 0u);
            EXPECT_EQ(form.CursorCount(), 0);
        } else {
            EXPECT_EQ(Column(0), "deep.txt");
        }
        while (view.RunSlice()) {
        }
        EXPECT_EQ(Captions(results.Tree(), FindIn(results.Tree(), "a1")), "deep.txt");
        EXPECT_EQ(results.Tree().NodeCount(), 9u);
    }
}

TEST_F(ResultViewsTest, ASearchOrAnOpenedResultDuringTheLoadDropsItsSlices) {
    MakeSample();
    view.holdSlices = true;
    Search();
    ASSERT_TRUE(results.TreeLoading());
    // A new search clears the tree: the slice still waiting belongs to the old one.
    Search();
    EXPECT_EQ(view.WaitingSlices(), 2u);
    EXPECT_EQ(form.CursorCount(), 1); // one load, one busy cursor
    while (view.RunSlice()) {
    }
    EXPECT_FALSE(results.TreeLoading());
    EXPECT_EQ(results.Tree().NodeCount(), 9u);
    EXPECT_EQ(Captions(results.Tree(), FindIn(results.Tree(), "a1")), "deep.txt");
    EXPECT_EQ(form.CursorCount(), 0);

    // The tree cleared with nothing after it (a result file that could not be read).
    Search();
    ASSERT_TRUE(results.TreeLoading());
    results.ClearFolderTree();
    EXPECT_FALSE(results.TreeLoading());
    EXPECT_EQ(form.CursorCount(), 0);
    while (view.RunSlice()) {
    }
    EXPECT_TRUE(results.Tree().Empty());
}

TEST_F(ResultViewsTest, LevelsLoadedAfterASortJoinInTheCurrentOrder) {
    // Children below the top level load only when their parent expands, after the tree's sort.
    const struct {
        void (ResultViews::*order)();
        const char* second; // the children of "/data"
        const char* third;  // the children of "a" and of "b"
    } cases[] = {
        {&ResultViews::mnuSizeDownClick, "b,c.txt,a", "a2.txt,a1|b2.bin,b1"},
        {&ResultViews::mnuSortSizeUpClick, "a,c.txt,b", "a1,a2.txt|b1,b2.bin"},
        {&ResultViews::mnuAlphaDownClick, "c.txt,b,a", "a2.txt,a1|b2.bin,b1"},
        {&ResultViews::mnuAlphaClick, "a,b,c.txt", "a1,a2.txt|b1,b2.bin"},
        {&ResultViews::mnuSortNoneClick, "a,b,c.txt", "a1,a2.txt|b1,b2.bin"}, // the engine's
    };
    data = engine.AddSearchedFolder("/data", 100);
    a = engine.Add(data, "a", 0, 10);
    engine.Add(a, "a1", 0, 4);
    engine.Add(a, "a2.txt", 1, 6);
    b = engine.Add(data, "b", 0, 60);
    engine.Add(b, "b1", 0, 0);
    engine.Add(b, "b2.bin", 1, 60);
    engine.Add(data, "c.txt", 1, 30);
    for (const auto& c : cases) {
        (results.*c.order)();
        Search();
        const auto& tree = results.Tree();
        SCOPED_TRACE(results.SortState());
        EXPECT_EQ(Captions(tree, tree.FirstTopLevel()), c.second);
        EXPECT_EQ(Captions(tree, FindIn(tree, "a")) + "|" + Captions(tree, FindIn(tree, "b")),
                  c.third);
    }
}

TEST_F(ResultViewsTest, AscendingNamesUseTheGivenCollation) {
    data = engine.AddSearchedFolder("/data", 3);
    for (const char* name : {"B", "c", "a"})
        engine.Add(data, name, 1, 1);
    results.SetCaptionCollation([](const char* x, const char* y) { return std::strcmp(x, y); });
    results.mnuAlphaClick();
    Search();
    EXPECT_EQ(Captions(results.Tree(), results.Tree().FirstTopLevel()), "B,a,c");
    results.SetCaptionCollation([](const char* x, const char* y) { return strcasecmp(x, y); });
    results.mnuAlphaClick();
    EXPECT_EQ(Captions(results.Tree(), results.Tree().FirstTopLevel()), "a,B,c");
}

TEST_F(ResultViewsTest, AtOnceBuildShowsFoldersAndNestsADepthJumpOneLevel) {
    FolderRecord* s = engine.AddSearchedFolder("/s", 3);
    FolderRecord* x = engine.Add(s, "x", 0, 1);
    FolderRecord* y = engine.Add(x, "y", 0, 1);
    y->depth = 3; // two levels deeper than x
    engine.Add(s, "z", 0, 2);
    engine.Add(s, "file", 1, 0);
    view.checks[MenuCheck::TreeAtOnce] = true;
    view.checks[MenuCheck::TreeProgress] = false;
    Search();
    const auto& tree = results.Tree();
    EXPECT_EQ(Captions(tree, nullptr), "/s");
    EXPECT_EQ(Captions(tree, tree.FirstTopLevel()), "z,x"); // size descending
    EXPECT_EQ(Captions(tree, FindIn(tree, "x")), "y");
    EXPECT_EQ(engine.enumerations, 0); // the flat list is enough
}

// Below 255 levels the records' depth no longer changes: the tree built at once still nests
// every folder under its own parent, and a folder after a deep branch returns to its level.
TEST_F(ResultViewsTest, AtOnceBuildNestsFoldersBelowTheDepthLimit) {
    FolderRecord* s = engine.AddSearchedFolder("/s", 1);
    FolderRecord* r = s;
    for (int level = 1; level <= 300; ++level)
        r = engine.Add(r, "d" + std::to_string(level), 0, 1);
    engine.Add(r, "leaf", 0, 1);
    engine.Add(s, "next", 0, 0);
    view.checks[MenuCheck::TreeAtOnce] = true;
    view.checks[MenuCheck::TreeProgress] = false;
    Search();
    const auto& tree = results.Tree();
    EXPECT_EQ(Captions(tree, tree.FirstTopLevel()), "d1,next");
    dvo::app::FolderTreeNode* n = FindIn(tree, "d1");
    for (int level = 2; level <= 300 && n != nullptr; ++level) {
        ASSERT_EQ(Captions(tree, n), "d" + std::to_string(level)) << "below level " << level - 1;
        n = FindIn(tree, "d" + std::to_string(level));
    }
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(Captions(tree, n), "leaf");
}

TEST_F(ResultViewsTest, NeitherTreeModeCheckedGivesAnEmptyTree) {
    MakeSample();
    view.checks[MenuCheck::TreeProgress] = false;
    Search();
    EXPECT_TRUE(results.Tree().Empty());
    EXPECT_EQ(results.RecordCount(), 5);
}

TEST_F(ResultViewsTest, CaptionsCarryCountsOnlyForFoldersAndOnlyFromTheirMaking) {
    MakeSample();
    view.checks[MenuCheck::ShowNumberOfFiles] = true;
    Search();
    const auto& tree = results.Tree();
    EXPECT_EQ(Captions(tree, nullptr), "/data (8)");
    EXPECT_EQ(Captions(tree, tree.FirstTopLevel()), "b (0),c.txt,a (3)");
    view.checks[MenuCheck::ShowNumberOfFiles] = false;
    results.mnuAlphaClick();
    EXPECT_EQ(Captions(tree, nullptr), "/data (8)");
    Search();
    EXPECT_EQ(Captions(results.Tree(), nullptr), "/data");
}

TEST_F(ResultViewsTest, RecordCountZeroLeavesEmptyViewsWithoutBusyCursor) {
    Search();
    EXPECT_TRUE(results.Tree().Empty());
    EXPECT_EQ(results.Grid().RowCount(), 2);
    EXPECT_EQ(log.Count("cursor:HourGlass"), 0);
}

TEST_F(ResultViewsTest, FolderBufferFailureIsReportedAndLeavesTheTreeEmpty) {
    // Ours or the engine's: either buffer failing is told the same way.
    MakeSample();
    for (const bool engineRefuses : {false, true}) {
        SCOPED_TRACE(engineRefuses ? "engine" : "window");
        mainView.boxes.clear();
        engine.refuseFolderInfo = engineRefuses;
        results.FailNextAllocationForTest(!engineRefuses, false);
        Search();
        engine.refuseFolderInfo = false;
        ASSERT_EQ(mainView.boxes.size(), 1u);
        EXPECT_EQ(mainView.boxes[0].text, "Cannot allocate folder information buffer.");
        EXPECT_TRUE(results.Tree().Empty());
        // The totals show no folders (the refresh after them may show the engine's count again).
        EXPECT_NE(log.IndexOf("label:NumberOfFolders=0"), -1);
    }
}

TEST_F(ResultViewsTest, GridListsTheSelectedFolderWithRatiosSizesAndTimes) {
    MakeSample();
    Search();
    Select("/data");
    EXPECT_EQ(mainView.status, "フォルダ内容を表示しています");
    EXPECT_EQ(Column(0), "b,c.txt,a");
    EXPECT_EQ(Column(1), "60,30,10");
    EXPECT_EQ(Column(2), "60 B,30 B,10 B");
    EXPECT_EQ(Column(3), "2026/12/09 21:35,2026/12/09 21:35,2026/12/09 21:35");
    EXPECT_EQ(results.Grid().rows[1].record->size, 30);

    // A file lists its folder; an empty folder shows one empty row that cannot be marked.
    Select("a2.txt");
    EXPECT_EQ(Column(0), "a2.txt,a1"); // the deeper level in the tree's order too
    EXPECT_EQ(Column(1), "60,40");
    Select("b1");
    EXPECT_EQ(results.ShownRowCount(), 0);
    EXPECT_EQ(results.Grid().RowCount(), 2);
    view.rowUnderPointer = 1;
    results.lsSearchResultClick();
    EXPECT_FALSE(results.RowMarked(1));
    // Selecting the node shown already changes nothing but the status text.
    const int updates = view.gridUpdates;
    mainView.status.clear();
    results.SearchResultTreeMouseDown();
    EXPECT_EQ(view.gridUpdates, updates);
    EXPECT_EQ(mainView.status, "フォルダ内容を表示しています");
}

TEST_F(ResultViewsTest, MarksBelongToTheMarkedEntriesOfTheShownFolder) {
    MakeSample();
    Search();
    Select("/data");
    for (int row : {1, 3, 0, 7}) { // the title row and rows past the end mark nothing
        view.rowUnderPointer = row;
        results.lsSearchResultClick();
    }
    EXPECT_EQ(results.RowMarks(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(results.lsSearchResultDrawCell(2, 1), ResultViews::kMarkColour);
    EXPECT_EQ(results.lsSearchResultDrawCell(2, 2), std::nullopt);
    EXPECT_EQ(results.lsSearchResultDrawCell(0, 0), std::nullopt);
    const long long markedSize =
        results.Grid().rows[0].record->size + results.Grid().rows[2].record->size;
    EXPECT_EQ(mainView.statusFields[dvo::app::StatusField::Marks],
              "マーク: 2 件 " + std::to_string(markedSize) + " B");
    // Space toggles the current row; other keys and no current row do nothing.
    view.currentRow = 2;
    results.lsSearchResultKeyDown(ResultViews::kVirtualKeySpace);
    results.lsSearchResultKeyDown(13);
    EXPECT_EQ(results.RowMarks(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(results.MarkedCount(), 3);
    results.lsSearchResultKeyDown(ResultViews::kVirtualKeySpace);
    view.currentRow = 0;
    results.lsSearchResultKeyDown(ResultViews::kVirtualKeySpace);
    EXPECT_EQ(results.RowMarks(), (std::vector<bool>{true, false, true}));
    // Another folder shows no marks: rows there were never marked.
    Select("a");
    EXPECT_FALSE(results.RowMarked(1));
    EXPECT_FALSE(results.RowMarked(2));
    EXPECT_EQ(results.RowMarks().size(), 2u);
    EXPECT_EQ(mainView.statusFields[dvo::app::StatusField::Marks], "");
    // Nor does the first folder when it is shown again.
    Select("/data");
    EXPECT_EQ(results.MarkedCount(), 0);
    Select("a");
    // Keys other than Up and Down leave the grid as it is.
    view.current = FindIn(results.Tree(), "b");
    results.SearchResultTreeKeyUp(37);
    EXPECT_EQ(Column(0), "a2.txt,a1");
    results.SearchResultTreeKeyUp(ResultViews::kVirtualKeyDown);
    EXPECT_EQ(Column(0), "b2.bin,b1");
}

TEST_F(ResultViewsTest, FoldersNotReadWholeAndEntriesOfUnknownSizeSaySo) {
    MakeSample();
    FolderRecord* locked = engine.Add(data, "locked", 0, 0);
    FolderRecord* halfRead = engine.Add(data, "half", 0, 7);
    engine.Add(halfRead, "seen.txt", 1, 7);
    FolderRecord* vanished = engine.Add(data, "vanished.txt", 1, 0);
    vanished->modifiedTime = DVOSystemTime{};
    engine.folderStates = {{locked, DVO_FOLDER_UNREADABLE},
                           {halfRead, DVO_FOLDER_PARTIAL},
                           {b, DVO_FOLDER_UNREADABLE}};
    results.mnuSortNoneClick();
    Search();
    // The tree says which folders are not known whole; one read in part keeps what was read.
    EXPECT_EQ(
        Captions(results.Tree(), results.Tree().FirstTopLevel()),
        "a,b ［読み取れません］,c.txt,locked ［読み取れません］,half ［未検索］,vanished.txt");
    Select("/data");
    EXPECT_EQ(
        Column(0),
        "a,b ［読み取れません］,c.txt,locked ［読み取れません］,half ［未検索］,vanished.txt");
    // Nothing could be read of "locked": not an empty 0 B folder. "b" read in part shows its bytes.
    EXPECT_EQ(Column(2), "10 B,60 B,30 B,不明,7 B,不明");
    EXPECT_EQ(Column(1), "10,60,30,,7,");
    EXPECT_EQ(results.Grid().rows[5].cells[3], "不明");
    EXPECT_EQ(results.Grid().rows[2].cells[3], "2026/12/09 21:35");
}

TEST_F(ResultViewsTest, TitleClicksCycleTheOrdersAndTheMenuFollows) {
    MakeSample();
    Search();
    Select("/data");
    const struct {
        int column;
        int row;
        int state;
        const char* order;
        MenuCheck item;
    } clicks[] = {
        {2, 0, 1, "a,c.txt,b", MenuCheck::SortSizeUp},
        {2, 0, 2, "b,c.txt,a", MenuCheck::SortSizeDown},
        {2, 0, 1, "a,c.txt,b", MenuCheck::SortSizeUp},
        {0, 0, 3, "a,b,c.txt", MenuCheck::SortAlpha},
        {0, 0, 4, "c.txt,b,a", MenuCheck::SortAlphaDown},
        {0, 0, 3, "a,b,c.txt", MenuCheck::SortAlpha},
        {1, 0, 3, "a,b,c.txt", MenuCheck::SortAlpha}, // re-applies the order
        {2, 1, 3, "a,b,c.txt", MenuCheck::SortAlpha}, // a data row changes nothing
    };
    for (const auto& c : clicks) {
        view.rowUnderPointer = 1;
        results.lsSearchResultClick(); // a mark, to see which clicks clear it
        results.lsSearchResultMouseUp(c.column, c.row);
        EXPECT_EQ(results.SortState(), c.state);
        EXPECT_EQ(Column(0), c.order) << "column " << c.column;
        EXPECT_TRUE(view.checks[c.item]);
        EXPECT_EQ(std::count(results.RowMarks().begin(), results.RowMarks().end(), true),
                  c.row == 0 ? 0 : 1);
        if (c.row != 0)
            results.ClearRowMarks();
    }
    EXPECT_EQ(results.Grid().titles[0], "ファイル名△");
    EXPECT_EQ(results.Grid().titles[2], "サイズ");
    results.mnuSortNoneClick();
    EXPECT_EQ(results.Grid().titles[0], "ファイル名");
    EXPECT_EQ(Column(0), "a,b,c.txt"); // "なし" keeps the order it finds
    EXPECT_EQ(mainView.status, "検索結果を表示します.");
}

TEST_F(ResultViewsTest, WheelMovesOneRowWithinLimits) {
    MakeSample();
    Search();
    Select("/data"); // 4 grid rows
    view.visibleRows = 2;
    EXPECT_TRUE(results.lsSearchResultMouseWheelDown());
    EXPECT_EQ(view.gridTopRow, 2);
    results.lsSearchResultMouseWheelDown();
    EXPECT_EQ(view.gridTopRow, 2);
    results.lsSearchResultMouseWheelUp();
    EXPECT_TRUE(results.lsSearchResultMouseWheelUp());
    EXPECT_EQ(view.gridTopRow, 1);
}

TEST_F(ResultViewsTest, ResizeNarrowsOnlyTheNameColumn) {
    form.FormResize();
    EXPECT_EQ(view.panelLeft, 411);
    EXPECT_EQ(view.panelWidth, 614);
    EXPECT_EQ(results.Grid().columnWidths[0], 614 - 250);
    results.GridColumnResized(1, 100);
    view.groupWidth = 915;
    results.spSearchResultMoved();
    EXPECT_EQ(results.Grid().columnWidths[0], 514 - 290);
    EXPECT_EQ(results.Grid().columnWidths[1], 100);
}

TEST_F(ResultViewsTest, ShowBufferFailureKeepsTheRowsButNotTheirMarks) {
    MakeSample();
    Search();
    results.FailNextAllocationForTest(false, true);
    Select("/data");
    ASSERT_EQ(mainView.boxes.size(), 1u);
    EXPECT_EQ(mainView.boxes[0].text, "Cannot allocate show information buffer.");
    EXPECT_EQ(results.ShownRowCount(), 3);
    view.rowUnderPointer = 1;
    results.lsSearchResultClick();
    EXPECT_FALSE(results.RowMarked(1));
}

// A widget that throws while a folder is listed, also inside a sort, leaves no busy cursor
// behind: every level pushed on the way is popped as the exception passes.
TEST_F(ResultViewsTest, BusyCursorIsPoppedWhenListingThrows) {
    MakeSample();
    Search();
    Select("/data");
    struct Case {
        const char* what;
        std::function<void()> run;
    } cases[] = {
        {"list a folder", [&] { results.ShowFolderContents(FindIn(results.Tree(), "b")); }},
        {"sort, then list", [&] { results.mnuAlphaClick(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(form.CursorCount(), 0);
        view.failNextGridUpdate = true;
        EXPECT_THROW(c.run(), std::runtime_error);
        EXPECT_EQ(form.CursorCount(), 0);
        EXPECT_EQ(mainView.cursor, dvo::app::ScreenCursor::Default);
    }
}

} // namespace
