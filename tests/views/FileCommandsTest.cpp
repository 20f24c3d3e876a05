// File operations on the marked grid rows, and the commands on the whole tree.
#include "app/views/FileCommands.h"
#include "app/main/TMainForm.h"
#include "app/views/ResultViews.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeMainView.h"
#include "tests/views/FakeResultView.h"
#include "tests/views/SyntheticEngine.h"
#include "tests/views/WindowHarness.h"

#include <gtest/gtest.h>

namespace {

using dvo::app::FileCommands;
using dvo::app::FolderTreeNode;
using dvo::app::MenuCheck;
using dvo::app::ResultViews;
namespace Result = dvo::app::MessageResult;

using Strings = std::vector<std::string>;

// /data(100): a.txt(10), b.txt(20), c.txt(30), sub(40)[inner.txt(40)], in the engine's order.
struct FileCommandsTest : testing::Test, dvo::test::WindowHarness<dvo::test::SyntheticEngine> {
    void SetUp() override {
        Wire();
        results.mnuSortNoneClick(); // keep the engine's order
    }
    void MakeSample(const std::string& searched = "/data") {
        FolderRecord* data = engine.AddSearchedFolder(searched, 100);
        engine.Add(data, "a.txt", 1, 10);
        engine.Add(data, "b.txt", 1, 20);
        engine.Add(data, "c.txt", 1, 30);
        FolderRecord* sub = engine.Add(data, "sub", 0, 40);
        engine.SetCounts(sub, 0, 1);
        engine.Add(sub, "inner.txt", 1, 40);
    }
    // Searches the sample and lists the searched folder.
    void Show(const std::string& searched = "/data") {
        MakeSample(searched);
        form.btnExecuteClick();
        Select(searched);
    }
    // Exactly these rows marked.
    void Mark(std::initializer_list<int> rows) {
        results.ClearRowMarks();
        for (int row : rows)
            results.ToggleRowMark(row);
    }
    std::string MarkedRows() const {
        std::string out;
        for (int row = 1; row <= results.ShownRowCount(); ++row)
            if (results.RowMarked(row))
                out += (out.empty() ? "" : ",") +
                       results.Grid().rows[static_cast<std::size_t>(row - 1)].cells[0];
        return out;
    }
    std::string Rows() const {
        std::string out;
        for (int i = 0; i < results.ShownRowCount(); ++i)
            out += (i ? "," : "") + results.Grid().rows[static_cast<std::size_t>(i)].cells[0];
        return out;
    }
    Strings Boxes() const {
        Strings out;
        for (const auto& box : mainView.boxes)
            out.push_back(box.text);
        return out;
    }
    bool AnyMark() const {
        for (bool m : results.RowMarks())
            if (m)
                return true;
        return false;
    }
};

TEST_F(FileCommandsTest, DeleteAsksPerMarkedRowUntilYesToAllOrCancel) {
    const std::string qa = "ファイル：/data/a.txt を削除しますか？";
    const std::string qb = "ファイル：/data/b.txt を削除しますか？";
    struct Case {
        std::vector<int> answers;
        Strings questions, calls;
        std::string rowsAfter, marksAfter; // only entries that went lose their marks
    } cases[] = {
        {{Result::No, Result::YesToAll},
         {qa, qb},
         {"delete:/data|b.txt", "delete:/data|c.txt"},
         "a.txt,sub",
         "a.txt"},
        {{Result::Yes, Result::Cancel},
         {qa, qb},
         {"delete:/data|a.txt"},
         "b.txt,c.txt,sub",
         "b.txt,c.txt"},
    };
    MakeSample();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rowsAfter);
        engine.fileCalls.clear();
        form.btnExecuteClick(); // a fresh tree of the same records
        Select("/data");
        mainView.boxes.clear();
        Mark({1, 2, 3});
        mainView.messageBoxAnswers.assign(c.answers.begin(), c.answers.end());
        files.mnuDeleteClick();
        EXPECT_EQ(Boxes(), c.questions);
        EXPECT_EQ(engine.fileCalls, c.calls);
        EXPECT_EQ(Rows(), c.rowsAfter);
        EXPECT_EQ(static_cast<int>(results.Tree().Children(Find("/data")).size()),
                  results.ShownRowCount());
        EXPECT_EQ(MarkedRows(), c.marksAfter);
        EXPECT_EQ(mainView.labels[dvo::app::MainLabel::NumberOfFolders], "2"); // not recomputed
    }
}

TEST_F(FileCommandsTest, QuestionPutsOneSeparatorBetweenDirectoryAndName) {
    files.ConfirmFileAction("ファイル：", " を削除しますか？", u"a.txt", u"/data");
    files.ConfirmFileAction("ファイル：", " を削除しますか？", u"a.txt", u"/");
    EXPECT_EQ(Boxes(), (Strings{"ファイル：/data/a.txt を削除しますか？",
                                "ファイル：//a.txt を削除しますか？"}));
    std::vector<int> buttons;
    for (const auto& b : mainView.boxes[0].layout.buttons)
        buttons.push_back(b.result);
    EXPECT_EQ(buttons,
              (std::vector<int>{Result::Yes, Result::No, Result::Cancel, Result::YesToAll}));
}

TEST_F(FileCommandsTest, NoMarkedRowCallsNothing) {
    Show();
    for (auto run :
         {&FileCommands::mnuDeleteClick, &FileCommands::mnuOpenClick, &FileCommands::mnuCopyClick})
        (files.*run)();
    EXPECT_TRUE(engine.fileCalls.empty());
    EXPECT_TRUE(mainView.boxes.empty());
    EXPECT_TRUE(view.destinationDialogs.empty());
    EXPECT_EQ(Rows(), "a.txt,b.txt,c.txt,sub");
}

TEST_F(FileCommandsTest, WithNothingMarkedTheMenuActsOnTheRowItWasOpenedOn) {
    Show();
    view.rowUnderPointer = 2;
    view.menuChoices = {5}; // "削除"
    mainView.messageBoxAnswers = {Result::Yes};
    files.lsSearchResultContextPopup();
    EXPECT_EQ(Boxes(), Strings{"ファイル：/data/b.txt を削除しますか？"});
    EXPECT_EQ(engine.fileCalls, Strings{"delete:/data|b.txt"});
    EXPECT_EQ(Rows(), "a.txt,c.txt,sub");
    EXPECT_EQ(view.shownMenu[5], "削除/mnuDelete/1");

    // Marks win over the row under the pointer.
    engine.fileCalls.clear();
    Mark({1});
    view.rowUnderPointer = 2;
    view.menuChoices = {2};
    files.lsSearchResultContextPopup();
    EXPECT_EQ(engine.fileCalls, Strings{"shell2:/data|a.txt"});

    // Over no entry, with nothing marked, the menu offers nothing and nothing runs.
    engine.fileCalls.clear();
    results.ClearRowMarks();
    for (const int row : {-1, 0, 9}) {
        view.rowUnderPointer = row;
        view.menuChoices = {2};
        files.lsSearchResultContextPopup();
        EXPECT_EQ(view.shownMenu[2], "開く/mnuOpen/1/disabled");
    }
    EXPECT_TRUE(engine.fileCalls.empty());
    // The row of a closed menu is forgotten: a later command without marks does nothing.
    files.mnuOpenClick();
    EXPECT_TRUE(engine.fileCalls.empty());
}

TEST_F(FileCommandsTest, CopyAndMoveAskForTheDestinationFirst) {
    Show();
    Mark({1, 4});
    files.mnuCopyClick(); // cancelled: nothing at all
    EXPECT_TRUE(engine.fileCalls.empty());
    EXPECT_TRUE(results.RowMarked(1) && results.RowMarked(4));
    EXPECT_EQ(Rows(), "a.txt,b.txt,c.txt,sub");

    view.destinationAnswers = {"/backup"};
    files.mnuCopyClick();
    view.destinationAnswers = {"/elsewhere"};
    Mark({2, 4});
    files.mnuMoveClick();
    EXPECT_EQ(view.destinationDialogs, (std::vector<std::pair<std::string, std::string>>{
                                           {"コピー先ディレクトリ", "/"},
                                           {"コピー先ディレクトリ", "/"},
                                           {"移動先ディレクトリ", "/backup"}}));
    EXPECT_EQ(engine.fileCalls,
              (Strings{"copy:/data|a.txt>/backup", "copy:/data|sub>/backup",
                       "move:/data|b.txt>/elsewhere", "move:/data|sub>/elsewhere"}));
    // Copies change nothing; the moved folder left with its subtree.
    EXPECT_EQ(Rows(), "a.txt,c.txt");
    EXPECT_EQ(Find("inner.txt"), nullptr);
    EXPECT_EQ(results.Tree().NodeCount(), 3u);
    EXPECT_FALSE(AnyMark());
}

TEST_F(FileCommandsTest, ShellOperationsGoInRowOrderAndSkipEmptyNames) {
    FolderRecord* data = engine.AddSearchedFolder("/data", 10);
    engine.Add(data, "z.txt", 1, 5);
    engine.Add(data, "", 1, 0);
    engine.Add(data, "a.txt", 1, 5);
    form.btnExecuteClick();
    Select("/data");
    for (auto run : {&FileCommands::mnuOpenClick, &FileCommands::mnuPrintClick}) {
        Mark({3, 1, 2});
        (files.*run)();
    }
    EXPECT_EQ(engine.fileCalls, (Strings{"shell2:/data|z.txt", "shell2:/data|a.txt",
                                         "shell3:/data|z.txt", "shell3:/data|a.txt"}));
    EXPECT_EQ(Rows(), "z.txt,,a.txt");
}

TEST_F(FileCommandsTest, MarkedFolderIsDeletedLikeAFileWithItsSubtree) {
    Show();
    Mark({4});
    mainView.messageBoxAnswers = {Result::Yes};
    files.mnuDeleteClick();
    EXPECT_EQ(engine.fileCalls, Strings{"delete:/data|sub"});
    EXPECT_EQ(Find("sub"), nullptr);
    EXPECT_EQ(Find("inner.txt"), nullptr);
    EXPECT_EQ(Rows(), "a.txt,b.txt,c.txt");
    // The searched folder is the one folder record left.
    EXPECT_EQ(log.WithPrefix("label:NumberOfFolders=").back(), "1");
}

TEST_F(FileCommandsTest, FailedOperationKeepsTheNodeAndShowsTheReason) {
    struct Case {
        void (FileCommands::*run)();
        std::string failing;
        std::vector<int> answers;
        Strings boxes;
    } cases[] = {
        {&FileCommands::mnuDeleteClick,
         "delete:b.txt",
         {Result::YesToAll},
         {"ファイル：/data/b.txt を削除しますか？", "delete failed: b.txt"}},
        {&FileCommands::mnuMoveClick, "move:b.txt", {}, {"move failed: b.txt"}},
        {&FileCommands::mnuCopyClick, "copy:b.txt", {}, {"copy failed: b.txt"}},
        {&FileCommands::mnuOpenClick, "shell2:b.txt", {}, {"shell2 failed: b.txt"}},
        {&FileCommands::mnuPrintClick, "shell3:b.txt", {}, {"shell3 failed: b.txt"}},
    };
    Show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        engine.failures = {{c.failing, DVO_E_ACCESS}};
        mainView.boxes.clear();
        mainView.messageBoxAnswers.assign(c.answers.begin(), c.answers.end());
        view.destinationAnswers = {"/to"};
        Mark({2});
        (files.*c.run)();
        EXPECT_EQ(Boxes(), c.boxes);
        EXPECT_EQ(mainView.boxes.back().layout.buttons.size(), 1u);
        EXPECT_EQ(mainView.boxes.back().layout.buttons[0].result, Result::OK);
        EXPECT_NE(Find("b.txt"), nullptr);
        EXPECT_EQ(Rows(), "a.txt,b.txt,c.txt,sub");
    }
}

TEST_F(FileCommandsTest, WithoutTrashAsksForEveryEntryByPathWithNoAsTheSafeAnswer) {
    const std::string noTrash = "ゴミ箱に移動できません。完全に削除しますか？\n";
    const std::string qa = noTrash + "/data/a.txt";
    const std::string qc = noTrash + "/data/c.txt";
    const std::string qsub =
        noTrash + "/data/sub\nこのフォルダの中のファイルとフォルダもすべて完全に削除されます。";
    struct Case {
        std::vector<int> answers; // after "YesToAll" to the first question; none left: Escape
        Strings questions, calls;
        std::string rowsAfter;
    } cases[] = {
        // "YesToAll" was for the trash: each permanent removal is still asked.
        {{Result::Yes, Result::No, Result::Yes},
         {qa, qc, qsub},
         {"delete:/data|a.txt", "deletePermanently:/data|a.txt", "delete:/data|c.txt",
          "delete:/data|sub", "deletePermanently:/data|sub"},
         "b.txt,c.txt"},
        // Escape answers No: nothing goes for good, every entry is still asked.
        {{},
         {qa, qc, qsub},
         {"delete:/data|a.txt", "delete:/data|c.txt", "delete:/data|sub"},
         "a.txt,b.txt,c.txt,sub"},
        // Cancel ends the whole batch.
        {{Result::Cancel}, {qa}, {"delete:/data|a.txt"}, "a.txt,b.txt,c.txt,sub"},
    };
    MakeSample();
    engine.failures = {{"delete:a.txt", DVO_E_NO_TRASH},
                       {"delete:c.txt", DVO_E_NO_TRASH},
                       {"delete:sub", DVO_E_NO_TRASH}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rowsAfter);
        form.btnExecuteClick(); // a fresh tree of the same records
        Select("/data");
        engine.fileCalls.clear();
        mainView.boxes.clear();
        Mark({1, 3, 4});
        mainView.messageBoxAnswers = {Result::YesToAll};
        mainView.messageBoxAnswers.insert(mainView.messageBoxAnswers.end(), c.answers.begin(),
                                          c.answers.end());
        files.mnuDeleteClick();
        Strings asked = Boxes();
        ASSERT_FALSE(asked.empty());
        asked.erase(asked.begin()); // the ordinary question
        EXPECT_EQ(asked, c.questions);
        EXPECT_EQ(engine.fileCalls, c.calls);
        EXPECT_EQ(Rows(), c.rowsAfter);
    }
    const auto& layout = mainView.boxes.back().layout;
    std::vector<int> buttons;
    for (const auto& b : layout.buttons)
        buttons.push_back(b.result);
    EXPECT_EQ(buttons, (std::vector<int>{Result::Yes, Result::No, Result::Cancel}));
    EXPECT_EQ(layout.defaultButton, 1);
    EXPECT_EQ(layout.escapeButton, 1);
}

TEST_F(FileCommandsTest, ErrorBoxInABatchOffersToStopTheRest) {
    struct Case {
        void (FileCommands::*run)();
        std::string op;
    } cases[] = {
        {&FileCommands::mnuDeleteClick, "delete"}, {&FileCommands::mnuCopyClick, "copy"},
        {&FileCommands::mnuMoveClick, "move"},     {&FileCommands::mnuOpenClick, "shell2"},
        {&FileCommands::mnuPrintClick, "shell3"},
    };
    Show();
    for (const Case& c : cases) {
        for (const int answer : {Result::Cancel, Result::OK}) {
            SCOPED_TRACE(c.op + " " + std::to_string(answer));
            engine.failures = {{c.op + ":a.txt", DVO_E_ACCESS}, {c.op + ":b.txt", DVO_E_ACCESS}};
            engine.fileCalls.clear();
            mainView.boxes.clear();
            view.destinationAnswers = {"/to"};
            mainView.messageBoxAnswers = {answer, answer};
            if (c.op == "delete")
                mainView.messageBoxAnswers.push_front(Result::YesToAll);
            Mark({1, 2});
            (files.*c.run)();
            const std::size_t tried = answer == Result::OK ? 2 : 1;
            EXPECT_EQ(engine.fileCalls.size(), tried);
            const auto& error = mainView.boxes.back();
            EXPECT_EQ(error.text, c.op + " failed: " + (tried == 2 ? "b.txt" : "a.txt"));
            ASSERT_EQ(error.layout.buttons.size(), 2u);
            EXPECT_EQ(error.layout.buttons[0].result, Result::OK);
            EXPECT_EQ(error.layout.buttons[1].result, Result::Cancel);
            EXPECT_EQ(Rows(), "a.txt,b.txt,c.txt,sub");
            EXPECT_EQ(MarkedRows(), "a.txt,b.txt"); // nothing succeeded: the marks stay
        }
    }
}

TEST_F(FileCommandsTest, AMoveWithinTheSearchShowsTheEntryAtItsPlaceAndTheOrderFollows) {
    engine.followFileOps = true;
    MakeSample();
    FolderRecord* data = engine.DVOGetRootFolderInfo();
    data = engine.DVOGetFirstFolderInfo(data);
    engine.Add(data, "empty", 0, 0);
    FolderRecord* deep = engine.Add(data, "deep", 0, 5);
    engine.SetCounts(deep, 1, 1);
    FolderRecord* deeper = engine.Add(deep, "deeper", 0, 5);
    engine.SetCounts(deeper, 0, 1);
    engine.Add(deeper, "d.txt", 1, 5);
    data->size = 105;
    engine.SetCounts(data, 4, 5);
    view.checks[MenuCheck::ShowNumberOfFiles] = true;
    results.mnuSizeDownClick();
    form.btnExecuteClick();
    Select("/data (9)");
    ASSERT_EQ(Rows(), "sub,c.txt,b.txt,a.txt,deep,empty");
    const std::string foldersBefore = mainView.labels[dvo::app::MainLabel::NumberOfFolders];

    // A file into a loaded folder: it leaves the grid, appears in the tree below "sub", whose
    // size, count and place follow.
    Mark({2});
    view.destinationAnswers = {"/data/sub"};
    files.mnuMoveClick();
    EXPECT_EQ(engine.fileCalls, Strings{"move:/data|c.txt>/data/sub"});
    EXPECT_EQ(Rows(), "sub,b.txt,a.txt,deep,empty");
    EXPECT_EQ(results.Grid().rows[0].cells[1], "66"); // 70 of 105
    dvo::app::FolderTreeNode* subNode = Find("sub (2)");
    ASSERT_NE(subNode, nullptr);
    Select("sub (2)");
    EXPECT_EQ(Rows(), "inner.txt,c.txt");

    // A folder with a folder inside into the empty folder, which then moves up the order:
    // the folders are counted once, where they are now.
    Select("/data (9)");
    Mark({4});
    view.destinationAnswers = {"/data/empty"};
    files.mnuMoveClick();
    EXPECT_EQ(Rows(), "sub,b.txt,a.txt,empty");
    EXPECT_EQ(mainView.labels[dvo::app::MainLabel::NumberOfFolders], foldersBefore);
    Select("empty (3)");
    EXPECT_EQ(Rows(), "deep");
    ASSERT_NE(Find("deep (2)"), nullptr);
    // The tree shows the new order at every level: children of /data by size.
    std::string order;
    for (dvo::app::FolderTreeNode* n : results.Tree().Children(Find("/data (9)")))
        order += (order.empty() ? "" : ",") + std::string(n->Caption());
    EXPECT_EQ(order, "sub (2),b.txt,a.txt,empty (3)");

    // Out of the search: the entry is gone from the tree, and its folders with it.
    Select("/data (9)");
    Mark({4});
    view.destinationAnswers = {"/elsewhere"};
    files.mnuMoveClick();
    EXPECT_EQ(Rows(), "sub,b.txt,a.txt");
    EXPECT_NE(mainView.labels[dvo::app::MainLabel::NumberOfFolders], foldersBefore);
}

TEST_F(FileCommandsTest, DeletingTheSelectedFileRefillsFromTheShownFolder) {
    Show();
    Select("b.txt"); // a file node: the grid lists its folder
    ASSERT_EQ(Rows(), "a.txt,b.txt,c.txt,sub");
    Mark({2});
    mainView.messageBoxAnswers = {Result::Yes};
    files.mnuDeleteClick();
    EXPECT_EQ(Rows(), "a.txt,c.txt,sub");
    EXPECT_EQ(results.ShownNode(), Find("/data"));
}

TEST_F(FileCommandsTest, CopyAndMoveRunBehindTheProgressDialog) {
    Show();
    engine.transferReports = {{-1, -1}, {0, 30}, {15, 30}, {30, 30}};
    view.destinationAnswers = {"/to", "/to"};
    Mark({1});
    files.mnuCopyClick();
    Mark({2});
    files.mnuMoveClick();
    EXPECT_EQ(view.progressTitles, (Strings{"コピー中", "移動中"}));
    EXPECT_EQ(view.progressReports, (Strings{"-1|a.txt\n項目を数えています…", "0|a.txt\n0 B / 30 B",
                                             "500|a.txt\n15 B / 30 B", "1000|a.txt\n30 B / 30 B",
                                             "-1|b.txt\n項目を数えています…", "0|b.txt\n0 B / 30 B",
                                             "500|b.txt\n15 B / 30 B", "1000|b.txt\n30 B / 30 B"}));
    EXPECT_EQ(Rows(), "a.txt,c.txt,sub");
    EXPECT_TRUE(mainView.boxes.empty());
}

// "キャンセル" in the progress dialog: the rest of the batch is left alone, no error box says
// that the user cancelled, and a cancelled move keeps its node (the source stayed whole).
TEST_F(FileCommandsTest, CancelInTheProgressDialogEndsTheBatchQuietly) {
    struct Case {
        void (FileCommands::*run)();
        std::string call;
    } cases[] = {
        {&FileCommands::mnuCopyClick, "copy:/data|b.txt>/to"},
        {&FileCommands::mnuMoveClick, "move:/data|b.txt>/to"},
    };
    Show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        engine.fileCalls.clear();
        view.destinationAnswers = {"/to"};
        view.cancelAtReport = 1; // at the second report of the first marked row
        Mark({2, 3, 4});
        (files.*c.run)();
        EXPECT_EQ(engine.fileCalls, Strings{c.call});
        EXPECT_TRUE(mainView.boxes.empty());
        EXPECT_EQ(Rows(), "a.txt,b.txt,c.txt,sub");
        EXPECT_EQ(MarkedRows(), "b.txt,c.txt,sub"); // nothing was done: every mark stays
    }
}

TEST_F(FileCommandsTest, HelperThatFailsLaterShowsItsReason) {
    struct Case {
        void (FileCommands::*run)();
        int status;
        std::string errorText;
        Strings boxes;
    } cases[] = {
        {&FileCommands::mnuOpenClick, 0, "", {}},
        {&FileCommands::mnuOpenClick,
         3,
         "xdg-open: no method available for opening '/data/b.txt'\n",
         {"開けません: /data/b.txt\nxdg-open: no method available for opening '/data/b.txt'"}},
        {&FileCommands::mnuPrintClick,
         1,
         "lp: No default destination.\n",
         {"印刷できません: /data/b.txt\nlp: No default destination."}},
        {&FileCommands::mnuPrintClick, 4, "", {"印刷できません: /data/b.txt\n終了コード 4"}},
    };
    Show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.errorText);
        mainView.boxes.clear();
        Mark({2});
        (files.*c.run)();
        ASSERT_EQ(engine.runningHelpers.size(), 1u);
        EXPECT_TRUE(mainView.boxes.empty()); // nothing waits for the helper
        engine.FinishHelper(0, c.status, c.errorText);
        EXPECT_TRUE(mainView.boxes.empty()); // not on the helper's thread
        view.DrainPosted();
        EXPECT_EQ(Boxes(), c.boxes);
        if (!c.boxes.empty()) {
            EXPECT_EQ(mainView.boxes.back().layout.buttons.size(), 1u);
        }
    }
}

// A helper may end after the logic that started it is gone, before or after its end was posted.
TEST_F(FileCommandsTest, HelperEndingAfterTheViewsAreGoneTouchesNothing) {
    for (const bool postedFirst : {false, true}) {
        SCOPED_TRACE(postedFirst);
        dvo::test::FakeResultView otherView;
        auto shell = std::make_unique<dvo::app::ShellRequests>(form, engine, otherView);
        ASSERT_EQ(shell->Start(0, u"a.txt", u"/data", 2), DVO_OK);
        if (postedFirst)
            engine.FinishHelper(0, 1, "failed");
        shell.reset();
        if (!postedFirst)
            engine.FinishHelper(0, 1, "failed");
        otherView.DrainPosted();
        EXPECT_TRUE(mainView.boxes.empty());
    }
}

TEST_F(FileCommandsTest, PopupMenuListsTheItemsAndRunsTheChosenOne) {
    Show();
    Mark({3});
    view.menuChoices = {2}; // "開く"
    files.lsSearchResultContextPopup();
    EXPECT_EQ(view.shownMenu,
              (Strings{"編集/mnuEdit/0", "エクスプローラ/mnuExplorer/0", "開く/mnuOpen/1",
                       "印刷/mnuPrint/1", "プロパティ/mnuProperty/0", "削除/mnuDelete/1",
                       "コピー/mnuCopy/1", "移動/mnuMove/1"}));
    EXPECT_EQ(engine.fileCalls, Strings{"shell2:/data|c.txt"});
    files.lsSearchResultContextPopup(); // closed without a choice
    EXPECT_EQ(engine.fileCalls.size(), 1u);
}

// ---- tree-wide commands ---------------------------------------------------------------------

TEST_F(FileCommandsTest, ExpandAllAsksFromAThousandFolders) {
    const std::string question =
        "表示されている全てのフォルダの展開には非常に時間がかかりますが実行しますか？"
        "（途中でキャンセルできません）";
    struct Case {
        int folders;
        std::vector<int> answers;
        bool asked, expanded;
    } cases[] = {{999, {}, false, true},
                 {1000, {Result::Cancel}, true, false},
                 {1000, {Result::OK}, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folders);
        dvo::test::SyntheticEngine big;
        dvo::app::TMainForm bigForm{mainView, big};
        dvo::test::FakeResultView bigView;
        ResultViews bigResults{bigForm, big, bigView};
        bigView.results = &bigResults;
        bigForm.SetResultViews(&bigResults);
        FolderRecord* top = big.AddSearchedFolder("/big", 0);
        FolderRecord* parent = top;
        for (int i = 1; i < c.folders; ++i) // a chain, so every folder but the last has a child
            parent = big.Add(parent, "d" + std::to_string(i), 0, 0);
        bigForm.btnExecuteClick();
        ASSERT_EQ(bigForm.CurrentSearchProgress().folderCount, c.folders);
        mainView.boxes.clear();
        mainView.messageBoxAnswers.assign(c.answers.begin(), c.answers.end());
        const std::string statusBefore = mainView.status;
        bigResults.N3Click();
        EXPECT_EQ(Boxes(), c.asked ? Strings{question} : Strings{});
        EXPECT_EQ(bigView.expandAllCalls, c.expanded ? 1 : 0);
        std::size_t expanded = 0;
        for (dvo::app::FolderTreeNode* n = bigResults.Tree().FirstTopLevel(); n;
             n = bigResults.Tree().NextInTreeOrder(n))
            expanded += n->expanded ? 1 : 0;
        // The build expanded the top node; expand all does every node with children.
        EXPECT_EQ(expanded, c.expanded ? static_cast<std::size_t>(c.folders - 1) : 1u);
        EXPECT_EQ(mainView.status, c.expanded ? "フォルダの展開を完了しました" : statusBefore);
        bigForm.SetResultViews(nullptr);
    }
}

TEST_F(FileCommandsTest, ExpandAllOnAnEmptyTreeShowsBothTexts) {
    results.N3Click();
    const Strings statuses = log.WithPrefix("status:");
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(Strings(statuses.end() - 2, statuses.end()),
              (Strings{"フォルダを展開しています...", "フォルダの展開を完了しました"}));
    EXPECT_TRUE(results.Tree().Empty());
    EXPECT_TRUE(mainView.boxes.empty());
}

TEST_F(FileCommandsTest, CollapseAllThenAClickListsTheClickedFolder) {
    Show();
    results.N4Click();
    EXPECT_EQ(mainView.status, "フォルダを収容しました");
    EXPECT_EQ(view.collapseAllCalls, 1);
    EXPECT_FALSE(Find("/data")->expanded);
    Select("sub");
    EXPECT_EQ(Rows(), "inner.txt");
}

TEST_F(FileCommandsTest, FileCountSwitchChangesCaptionsFromTheNextSearch) {
    Show();
    view.checks[MenuCheck::ShowNumberOfFiles] = true; // the checkable item flips itself
    results.mnuShowNumberOfFilesClick();
    EXPECT_TRUE(view.checks[MenuCheck::ShowNumberOfFiles]);
    EXPECT_NE(Find("sub"), nullptr);
    form.btnExecuteClick();
    EXPECT_EQ(Find("sub"), nullptr);
    EXPECT_NE(Find("sub (1)"), nullptr);
    EXPECT_NE(Find("a.txt"), nullptr); // files keep the bare name
}

} // namespace
