// Results as files through the real window and engine: "ツリー" and "リスト" save the search,
// "前回と比較..." lists what changed since a saved one, and "検索結果を開く..." shows a saved one.
#include "app/main/DvoSubEngine.h"
#include "app/qt/QtCompareWindow.h"
#include "app/qt/QtMainView.h"
#include "platform/Clock.h"
#include "tests/app/QtTestApplication.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, std::size_t bytes) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ResultFilesWindow : testing::Test {
    void SetUp() override {
        dvo::test::TestApplication();
        const char* base = std::getenv("DVO_TEST_TMP");
        scratch = fs::absolute(fs::path(base != nullptr ? base : fs::temp_directory_path()) /
                               ("result-files-" + std::to_string(::getpid())));
        fs::remove_all(scratch);
        root = scratch / "対象";
        fs::create_directories(root / "sub");
        fs::create_directories(scratch / "saved");
        WriteFile(root / "big", 1000);
        WriteFile(root / "sub" / "small", 300);
        window = std::make_unique<dvo::qt::QtMainView>(engine);
        window->SetFolderChooser([this](const std::string&, const std::string&) {
            return std::optional(root.string());
        });
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::mouseClick(Find<QPushButton>("btnAddDirectory"), Qt::LeftButton);
    }
    void TearDown() override {
        window.reset();
        fs::remove_all(scratch);
    }
    template <typename W> W* Find(const char* name) const {
        return window->findChild<W*>(QString::fromLatin1(name));
    }
    void Search() {
        QTest::mouseClick(Find<QPushButton>("btnExecute"), Qt::LeftButton);
        dvo::test::RunSlicesToTheEnd();
    }
    void Key(Qt::Key key, Qt::KeyboardModifier modifier = Qt::AltModifier) {
        QTest::keyClick(window.get(), key, modifier);
    }
    QString Label(const char* name) const { return Find<QLabel>(name)->text(); }

    dvo::app::DvoSubEngine engine;
    std::unique_ptr<dvo::qt::QtMainView> window;
    fs::path scratch;
    fs::path root;
};

TEST_F(ResultFilesWindow, SavedResultsCompareAndOpen) {
    Search();
    const platform::LocalTime today = platform::LocalNow();
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", today.year, today.month, today.day);

    // "ツリー" proposes <folder>-YYYYMMDD.json and writes the export there.
    std::vector<std::string> proposed;
    const fs::path tree = scratch / "saved" / "tree.json";
    const fs::path list = scratch / "saved" / "list.csv";
    window->SetSaveChooser([&](const std::string&, const std::string& name) {
        proposed.push_back(name);
        return std::optional((proposed.size() == 1 ? tree : list).string());
    });
    Key(Qt::Key_T);
    ASSERT_TRUE(fs::exists(tree));
    EXPECT_EQ(ReadAll(tree).rfind("[1,2,{", 0), 0u);
    // "リスト": every entry as CSV with a byte order mark, folders with their totals.
    Key(Qt::Key_L);
    ASSERT_EQ(proposed, (std::vector<std::string>{std::string("対象-") + date + ".json",
                                                  std::string("対象-") + date + ".csv"}));
    const std::string csv = ReadAll(list);
    EXPECT_EQ(
        csv.rfind("\xEF\xBB\xBFパス,種類,サイズ,更新日時\r\n" + root.string() + ",フォルダ,1300,",
                  0),
        0u)
        << csv;
    EXPECT_NE(csv.find("\r\n" + (root / "sub" / "small").string() + ",ファイル,300,"),
              std::string::npos);
    EXPECT_NE(csv.find("\r\n" + (root / "sub").string() + ",フォルダ,300,"), std::string::npos);
    EXPECT_TRUE(Label("pnlStatus").startsWith(QString::fromUtf8("エクスポートしました: ")));

    // Later: big grew, a file came into sub. The comparison lists the changes, largest first.
    WriteFile(root / "big", 5000);
    WriteFile(root / "sub" / "new", 50);
    Search();
    window->SetFileChooser(
        [&](const std::string&, const std::string&) { return std::optional(tree.string()); });
    Key(Qt::Key_C);
    auto* compare = window->findChild<dvo::qt::QtCompareWindow*>();
    ASSERT_NE(compare, nullptr);
    EXPECT_TRUE(compare->isVisible());
    EXPECT_EQ(compare->windowTitle(), QString::fromUtf8("比較"));
    const QAbstractItemModel& rows = *compare->List().model();
    ASSERT_EQ(rows.rowCount(), 3);
    auto cell = [&](int row, int column) { return rows.index(row, column).data().toString(); };
    EXPECT_EQ(cell(0, 0), QString::fromStdString((root / "big").string()));
    EXPECT_EQ(cell(1, 0), QString::fromStdString((root / "sub").string() + "/"));
    EXPECT_EQ(cell(2, 0), QString::fromStdString((root / "sub" / "new").string()));
    EXPECT_EQ(cell(2, 4), QString::fromUtf8("新規"));
    EXPECT_TRUE(cell(0, 3).startsWith('+'));
    EXPECT_TRUE(compare->findChild<QLabel*>(QStringLiteral("lblCompareSummary"))
                    ->text()
                    .startsWith(QString::fromUtf8("合計の変化: +")));
    // A double click on the new file selects its folder in the tree.
    compare->Logic().lsChangesDblClick(2);
    EXPECT_TRUE(Find<QTreeView>("SearchResultTree")
                    ->currentIndex()
                    .data()
                    .toString()
                    .startsWith(QStringLiteral("sub")));

    // Opening the saved tree shows it as after a search of its folder, and says so.
    Key(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(Find<QLineEdit>("edtSearchDirectory")->text(), QString::fromStdString(root.string()));
    EXPECT_TRUE(window->windowTitle().contains(QString::fromUtf8("開いた検索結果")));
    EXPECT_TRUE(Label("pnlStatus").startsWith(QString::fromUtf8("検索結果を開きました")));
    EXPECT_EQ(Label("lblNumberOfFiles"), "2");
    EXPECT_EQ(engine.DVOIsOpenedResult(), 1);

    // A new search replaces it.
    Search();
    EXPECT_EQ(engine.DVOIsOpenedResult(), 0);
    EXPECT_FALSE(window->windowTitle().contains(QString::fromUtf8("開いた検索結果")));
    EXPECT_EQ(Label("lblNumberOfFiles"), "3");
}

} // namespace
