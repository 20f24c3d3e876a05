// The export items, the opened result's pop-up menu and the comparison window's logic, over
// records the test builds.
#include "app/views/FileCommands.h"
#include "app/views/FileListCsv.h"
#include "app/views/TCompareForm.h"
#include "platform/Clock.h"
#include "tests/support/TempDir.h"
#include "tests/views/SyntheticEngine.h"
#include "tests/views/WindowHarness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Strings = std::vector<std::string>;
namespace Result = dvo::app::MessageResult;

// /data(100): "a,\"b\".txt"(10), sub(90)[inner.txt(90)].
struct ResultFilesTest : testing::Test, dvo::test::WindowHarness<dvo::test::SyntheticEngine> {
    void SetUp() override { Wire(); }
    void Show() {
        FolderRecord* data = engine.AddSearchedFolder("/data", 100);
        engine.SetCounts(data, 1, 2);
        engine.Add(data, "a,\"b\".txt", 1, 10)->modifiedTime = {2026, 3, 0, 4, 5, 6, 7, 0};
        FolderRecord* sub = engine.Add(data, "sub", 0, 90);
        engine.SetCounts(sub, 0, 1);
        engine.Add(sub, "inner.txt", 1, 90)->modifiedTime = {}; // attributes unread: no time
        form.btnExecuteClick();
    }
    Strings Boxes() const {
        Strings out;
        for (const auto& box : mainView.boxes)
            out.push_back(box.text);
        return out;
    }
    static std::string Today(const char* extension) {
        const platform::LocalTime t = platform::LocalNow();
        char name[64];
        std::snprintf(name, sizeof name, "data-%04d%02d%02d%s", t.year, t.month, t.day, extension);
        return name;
    }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(ResultFilesTest, ExportTreeAsksWhereAndReportsTheEnginesAnswer) {
    // Nothing to save before a search: said so, no dialog.
    results.mnuExportFolderTreeClick();
    EXPECT_EQ(Boxes(), Strings{"エクスポートする検索結果がありません"});
    EXPECT_TRUE(view.saveDialogs.empty());

    Show();
    results.mnuExportFolderTreeClick(); // cancelled in the dialog
    EXPECT_EQ(view.saveDialogs,
              Strings{"ツリーのエクスポート|" + Today(".json") + "|ncdu JSON (*.json)"});
    EXPECT_TRUE(engine.exports.empty());

    view.saveAnswers = {"/saved/a.json", "/saved/b.json"};
    results.mnuExportFolderTreeClick();
    EXPECT_EQ(mainView.status, "エクスポートしました: /saved/a.json");
    engine.exportResult = DVO_E_ACCESS;
    results.mnuExportFolderTreeClick();
    EXPECT_EQ(engine.exports, (Strings{"/saved/a.json", "/saved/b.json"}));
    EXPECT_EQ(Boxes().back(),
              "エクスポートできませんでした。\n/saved/b.json\ncannot write /saved/b.json");
    EXPECT_EQ(mainView.status, "エクスポートしました: /saved/a.json");
}

TEST_F(ResultFilesTest, ExportListWritesEveryEntryAsCsvOrNothing) {
    Show();
    dvo::test::TempDir t;
    const std::string file = t / "list.csv";
    view.saveAnswers = {file, t / "missing/list.csv"};
    results.mnuExportFileListClick();
    EXPECT_EQ(view.saveDialogs.at(0), "リストのエクスポート|" + Today(".csv") + "|CSV (*.csv)");
    EXPECT_EQ(ReadAll(file), "\xEF\xBB\xBF"
                             "パス,種類,サイズ,更新日時\r\n"
                             "/data,フォルダ,100,2026/12/09 21:35:36\r\n"
                             "\"/data/a,\"\"b\"\".txt\",ファイル,10,2026/03/04 05:06:07\r\n"
                             "/data/sub,フォルダ,90,2026/12/09 21:35:36\r\n"
                             "/data/sub/inner.txt,ファイル,90,\r\n");

    // A folder that is not there: the reason in a box, no file and no temporary left behind.
    results.mnuExportFileListClick();
    EXPECT_EQ(Boxes().back(), "エクスポートできませんでした。\n" + (t / "missing/list.csv") +
                                  "\nNo such file or directory");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(t.path()), {}), 1);
}

TEST(FileListCsv, FieldsAreQuotedOnlyWhereCsvNeedsIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"plain", "plain"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(dvo::app::CsvField(in), out) << in;
}

TEST_F(ResultFilesTest, AnOpenedResultOffersNoFileActions) {
    Show();
    Select("/data");
    view.rowUnderPointer = 1;
    files.lsSearchResultContextPopup();
    const Strings searched = view.shownMenu;
    engine.opened = true;
    files.lsSearchResultContextPopup();
    ASSERT_EQ(view.shownMenu.size(), searched.size());
    int enabledBefore = 0;
    for (std::size_t i = 0; i < searched.size(); ++i) {
        enabledBefore += searched[i].ends_with("/disabled") ? 0 : 1;
        EXPECT_TRUE(view.shownMenu[i].ends_with("/disabled")) << view.shownMenu[i];
    }
    EXPECT_EQ(enabledBefore, static_cast<int>(searched.size()));
}

struct CompareFormTest : ResultFilesTest {
    struct View final : dvo::app::ICompareView {
        Strings calls;
        std::optional<std::string> file = "/saved/old.json";
        void ShowWindow() override { calls.push_back("show"); }
        std::optional<std::string> SelectExportFile(const std::string& title,
                                                    const std::string&) override {
            calls.push_back("choose:" + title);
            return file;
        }
        void SetSummaryText(const std::string& text) override {
            calls.push_back("summary:" + text);
        }
        void RowsChanged() override { calls.push_back("rows"); }
    } compareView;
    dvo::app::TCompareForm compare{form, results, compareView};

    Strings Cells() const {
        Strings out;
        for (int row = 0; row < compare.RowCount(); ++row) {
            std::string line;
            for (int column = 0; column < dvo::app::TCompareForm::kColumnCount; ++column)
                line += (column ? "|" : "") + compare.CellText(row, column);
            out.push_back(line);
        }
        return out;
    }
};

TEST_F(CompareFormTest, ChangesLargestFirstWithTheTotalOnTop) {
    compare.mnuCompareClick(); // nothing to compare yet
    EXPECT_TRUE(compareView.calls.empty());
    ASSERT_EQ(Boxes().size(), 1u);

    Show();
    engine.compareRoot = "/data";
    engine.changes = {
        {"/data", 60, 100, DVO_KIND_FOLDER, DVO_CHANGE_SIZE},
        {"/data/a,\"b\".txt", 30, 10, DVO_KIND_FILE, DVO_CHANGE_SIZE},
        {"/data/sub", 0, 90, DVO_KIND_FOLDER, DVO_CHANGE_NEW},
        {"/data/gone/deeper", 30, 0, DVO_KIND_FILE, DVO_CHANGE_GONE},
        {"/data/old", 30, 0, DVO_KIND_FILE, DVO_CHANGE_GONE},
    };
    compare.mnuCompareClick();
    EXPECT_EQ(engine.compared, Strings{"/saved/old.json"});
    // The engine's texts for sizes; ties in byte order of the path.
    EXPECT_EQ(Cells(), (Strings{
                           "/data/sub/||90 B|+90 B|新規",
                           "/data/gone/deeper|30 B||-30 B|削除",
                           "/data/old|30 B||-30 B|削除",
                           "/data/a,\"b\".txt|30 B|10 B|-20 B|",
                       }));
    ASSERT_EQ(compareView.calls.size(), 4u);
    EXPECT_EQ(compareView.calls[1], "summary:合計の変化: +40 B（前回 60 B → 今回 100 B）"
                                    "　変化した項目: 4　比較したファイル: /saved/old.json");
    EXPECT_EQ(compareView.calls[3], "show");

    // A double click selects the entry's folder; for a vanished one the deepest folder left.
    compare.lsChangesDblClick(0);
    EXPECT_EQ(results.ShownNode()->Caption().substr(0, 3), "sub");
    compare.lsChangesDblClick(1);
    EXPECT_EQ(results.ShownNode()->Caption().substr(0, 5), "/data");
    compare.lsChangesDblClick(99); // no such row: nothing
}

TEST_F(CompareFormTest, AnotherFoldersExportOrAFailureShowsNothing) {
    Show();
    engine.compareRoot = "/elsewhere";
    engine.changes = {{"/data/x", 0, 5, DVO_KIND_FILE, DVO_CHANGE_NEW}};
    mainView.messageBoxAnswers = {Result::No};
    compare.mnuCompareClick();
    EXPECT_EQ(Boxes().back(),
              "別のフォルダの検索結果です。\n前回: /elsewhere\n今回: /data\n比較しますか？");
    EXPECT_EQ(compare.RowCount(), 0);

    engine.compareResult = DVO_E_BAD_FILE;
    compare.mnuCompareClick();
    EXPECT_EQ(Boxes().back(),
              "比較できませんでした。\n/saved/old.json\ncannot read /saved/old.json");
    EXPECT_EQ(compare.RowCount(), 0);
    EXPECT_EQ(std::count(compareView.calls.begin(), compareView.calls.end(), "show"), 0);

    compareView.file.reset(); // cancelled in the dialog
    compare.mnuCompareClick();
    EXPECT_EQ(engine.compared.size(), 2u);
}

} // namespace
