// "選択したフォルダを再検索" through the window's logic over the real engine and a real tree: the
// selected folder's nodes are replaced, the rest of the tree, the grid and the figures follow.
#include "app/main/DvoSubEngine.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"
#include "tests/views/WindowHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using dvo::app::FolderTreeNode;
using dvo::app::MainLabel;
using dvo::app::MenuCheck;

struct RescanWindowTest : testing::Test, dvo::test::WindowHarness<dvo::app::DvoSubEngine> {
    dvo::test::TempDir t;

    void SetUp() override {
        Wire();
        view.checks[MenuCheck::ShowNumberOfFiles] = true;
        std::filesystem::create_directories(t / "top/sub/deep");
        std::filesystem::create_directories(t / "top/other");
        Write(t / "top/a.txt", 300);
        Write(t / "top/sub/s.txt", 20);
        Write(t / "top/sub/deep/d.txt", 1);
        Write(t / "top/other/o.txt", 5);
    }
    void TearDown() override { form.FormDestroy(); }
    static void Write(const std::string& path, std::size_t bytes) {
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
    }
    void Search() {
        mainView.folderAnswers = {t / "top"};
        form.btnAddDirectoryClick();
        form.btnExecuteClick();
        ASSERT_EQ(mainView.status, "検索を終了しました");
    }
    // What the counter panel shows: size, files, folders.
    std::string Figures() {
        return mainView.labels[MainLabel::FolderSize] + "|" +
               mainView.labels[MainLabel::NumberOfFiles] + "|" +
               mainView.labels[MainLabel::NumberOfFolders];
    }
};

TEST_F(RescanWindowTest, SelectedFolderIsReadAgainInBothTreeModes) {
    for (const bool atOnce : {false, true}) {
        SCOPED_TRACE(atOnce ? "tree at once" : "tree in steps");
        view.checks[MenuCheck::TreeAtOnce] = atOnce;
        view.checks[MenuCheck::TreeProgress] = !atOnce;
        std::filesystem::remove_all(t / "top/sub/new");
        std::filesystem::remove(t / "top/sub/s2.txt");
        Search();
        Select("sub (3)");
        FolderTreeNode* sub = view.current;
        FolderTreeNode* deep = Find("deep (1)");
        ASSERT_NE(deep, nullptr);
        deep->expanded = true; // opened by the user, as the widget notes it

        std::filesystem::create_directories(t / "top/sub/new");
        Write(t / "top/sub/new/n.txt", 4000);
        Write(t / "top/sub/s2.txt", 7);
        ASSERT_TRUE(form.CanRescanFolder());
        form.mnuRescanFolderClick();
        ASSERT_EQ(mainView.status, "フォルダの再検索を終了しました");
        EXPECT_TRUE(mainView.boxes.empty());

        // The same node, still selected, with its new figures; the folder that was open is
        // open again, and the new folder comes first by size.
        EXPECT_EQ(view.current, sub);
        EXPECT_EQ(sub->Caption(), "sub (6)");
        FolderTreeNode* newDeep = Find("deep (1)");
        ASSERT_NE(newDeep, nullptr);
        EXPECT_TRUE(newDeep->expanded);
        ASSERT_FALSE(sub->children.empty());
        EXPECT_EQ(sub->children.front()->Caption(), "new (1)");
        EXPECT_NE(Find("top (10)"), nullptr); // the captions above follow
        EXPECT_EQ(Column(0), atOnce ? "new,deep" : "new,s.txt,s2.txt,deep");

        // The figures are those a new search shows.
        const std::string rescanned = Figures();
        Search();
        EXPECT_EQ(rescanned, Figures());
    }
}

// Cancelled at once: whether the engine kept the old records or had finished, the folder's
// nodes are whole again, the open folder open with its entries.
TEST_F(RescanWindowTest, CancelledRescanLeavesTheTreeWhole) {
    for (int i = 0; i < 300; ++i)
        std::filesystem::create_directories(t / ("top/sub/many/m" + std::to_string(i)));
    Search();
    Select("sub (304)");
    // Opened by the user, which loads the level below its children.
    view.current->expanded = true;
    results.SearchResultTreeExpanding(view.current);
    FolderTreeNode* deep = Find("deep (1)");
    ASSERT_NE(deep, nullptr);
    deep->expanded = true;
    mainView.onProcessEvents = [&](int) { form.btnCancelClick(); };
    form.mnuRescanFolderClick();
    mainView.onProcessEvents = nullptr;
    EXPECT_TRUE(mainView.status == "フォルダの再検索をキャンセルしました（前の結果のままです）" ||
                mainView.status == "フォルダの再検索を終了しました")
        << mainView.status;
    deep = Find("deep (1)");
    ASSERT_NE(deep, nullptr);
    EXPECT_TRUE(deep->expanded);
    ASSERT_EQ(deep->children.size(), 1u);
    EXPECT_EQ(deep->children[0]->Caption(), "d.txt");
    FolderTreeNode* many = Find("many (300)");
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(many->children.size(), 300u);
}

TEST_F(RescanWindowTest, VanishedFolderIsRemovedWithAMessage) {
    Search();
    Select("sub (3)");
    std::filesystem::remove_all(t / "top/sub");
    form.mnuRescanFolderClick();

    ASSERT_EQ(mainView.boxes.size(), 1u);
    EXPECT_EQ(mainView.boxes[0].text,
              "フォルダが見つかりません。一覧から外しました。\n" + (t / "top/sub"));
    EXPECT_EQ(Find("sub (3)"), nullptr);
    // Its folder is selected and listed, without it.
    ASSERT_NE(view.current, nullptr);
    EXPECT_EQ(view.current->Caption(), "top (3)");
    EXPECT_EQ(Column(0), "a.txt,other");
    const std::string after = Figures();
    mainView.boxes.clear();
    Search();
    EXPECT_EQ(after, Figures());
}

TEST_F(RescanWindowTest, NotOfferedForAFileOrAnOpenedResult) {
    Search();
    Select("sub (3)");
    EXPECT_TRUE(form.CanRescanFolder());
    view.current = Find("a.txt");
    ASSERT_NE(view.current, nullptr);
    EXPECT_FALSE(form.CanRescanFolder());

    const std::string file = t / "result.json";
    ASSERT_EQ(engine.DVOExportResult(platform::Utf8ToUtf16(file).c_str()), DVO_OK);
    mainView.fileAnswers = {file};
    form.mnuOpenResultClick();
    Select("sub (3)");
    EXPECT_FALSE(form.CanRescanFolder());
}

} // namespace
