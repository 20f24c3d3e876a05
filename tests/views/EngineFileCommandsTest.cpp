// File operations of the window's logic over the real engine and a real tree: what the user sees
// in the tree and the grid after a move within the searched folder.
#include "app/main/DvoSubEngine.h"
#include "app/main/TMainForm.h"
#include "app/views/FileCommands.h"
#include "app/views/ResultViews.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeMainView.h"
#include "tests/support/TempDir.h"
#include "tests/views/FakeResultView.h"
#include "tests/views/WindowHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using dvo::app::FolderTreeNode;
using dvo::app::MainLabel;
using dvo::app::MenuCheck;

struct EngineFileCommandsTest : testing::Test, dvo::test::WindowHarness<dvo::app::DvoSubEngine> {
    dvo::test::TempDir t;

    void SetUp() override {
        Wire();
        view.checks[MenuCheck::ShowNumberOfFiles] = true;
    }
    void TearDown() override { form.FormDestroy(); }
    static void Write(const std::string& path, std::size_t bytes) {
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
    }
    void MoveRow(int row, const std::string& to) {
        results.ClearRowMarks();
        results.ToggleRowMark(row);
        view.destinationAnswers = {to};
        files.mnuMoveClick();
    }
};

TEST_F(EngineFileCommandsTest, MovesWithinTheSearchKeepTreeGridAndCountsTrue) {
    std::filesystem::create_directories(t / "top/sub");
    std::filesystem::create_directories(t / "top/other/deep");
    Write(t / "top/a.txt", 300);
    Write(t / "top/sub/inner.txt", 10);
    Write(t / "top/other/deep/d.txt", 1);
    mainView.folderAnswers = {t / "top"};
    form.btnAddDirectoryClick();
    form.btnExecuteClick();
    ASSERT_EQ(mainView.status, "検索を終了しました");
    Select("top (6)");
    ASSERT_EQ(Column(0), "a.txt,sub,other");
    EXPECT_EQ(mainView.labels[MainLabel::NumberOfFolders], "4");

    // A file into a folder whose children are in the tree: it is listed there, and the folder
    // takes its bytes and its place at the top of the order.
    MoveRow(1, t / "top/sub");
    ASSERT_EQ(mainView.boxes.size(), 0u) << mainView.boxes[0].text;
    EXPECT_TRUE(std::filesystem::exists(t / "top/sub/a.txt"));
    EXPECT_EQ(Column(0), "sub,other");
    EXPECT_EQ(Column(1), "99,<1");
    Select("sub (2)");
    EXPECT_EQ(Column(0), "a.txt,inner.txt");

    // The folder with the file into another one: the folders are still counted once, the
    // moved folder's entries load from their new place and can be acted on there.
    Select("top (6)");
    MoveRow(1, t / "top/other");
    ASSERT_EQ(mainView.boxes.size(), 0u) << mainView.boxes[0].text;
    EXPECT_EQ(Column(0), "other");
    EXPECT_EQ(mainView.labels[MainLabel::NumberOfFolders], "4");
    Select("other (5)");
    EXPECT_EQ(Column(0), "sub,deep");
    Select("sub (2)");
    EXPECT_EQ(Column(0), "a.txt,inner.txt");
    MoveRow(1, t / "top");
    ASSERT_EQ(mainView.boxes.size(), 0u) << mainView.boxes[0].text;
    EXPECT_TRUE(std::filesystem::exists(t / "top/a.txt"));
    EXPECT_EQ(Column(0), "inner.txt");
    Select("top (6)");
    EXPECT_EQ(Column(0), "a.txt,other");
    EXPECT_EQ(Column(2).substr(0, 5), "300 B");
}

TEST_F(EngineFileCommandsTest, AFolderMovedInATreeBuiltAtOnceBringsItsFolders) {
    view.checks = {{MenuCheck::TreeAtOnce, true}};
    std::filesystem::create_directories(t / "top/sub/deeper");
    std::filesystem::create_directories(t / "top/other");
    Write(t / "top/sub/deeper/f", 5);
    mainView.folderAnswers = {t / "top"};
    form.btnAddDirectoryClick();
    form.btnExecuteClick();
    Select("top");
    ASSERT_EQ(Column(0), "sub,other"); // a tree built at once lists folders only
    MoveRow(1, t / "top/other");
    ASSERT_EQ(mainView.boxes.size(), 0u) << mainView.boxes[0].text;
    EXPECT_EQ(Column(0), "other");
    Select("other");
    EXPECT_EQ(Column(0), "sub");
    Select("sub");
    EXPECT_EQ(Column(0), "deeper");
    EXPECT_EQ(mainView.labels[MainLabel::NumberOfFolders], "4");
}

} // namespace
