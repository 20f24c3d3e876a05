// The three listing windows and the free space through the real main window over the real
// engine: open each from the menu, read its rows, double-click a large file to reveal it, click
// a kind to outline it in the treemap, and see the lists follow a delete, a switch of the size
// count and a new search.
#include "app/main/DvoSubEngine.h"
#include "app/qt/QtListingWindow.h"
#include "app/qt/QtMainView.h"
#include "app/qt/QtTreemapWindow.h"
#include "app/views/FileCommands.h"
#include "app/views/TreemapKinds.h"
#include "tests/app/QtTestApplication.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <utime.h>

namespace {

namespace fs = std::filesystem;
using dvo::app::ListingKind;
using dvo::qt::QtListingWindow;

void WriteFile(const fs::path& path, std::size_t bytes) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

// Presses the button with this text in the next modal message box.
void AnswerNextMessageBox(const QString& button) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == button)
                b->click();
    });
    timer->start();
}

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

struct ListingWindowsTest : testing::Test {
    dvo::test::TempDir scratch;
    ScopedEnv dataHome{"XDG_DATA_HOME", (scratch / "data").c_str()};
    ScopedEnv configHome{"XDG_CONFIG_HOME", (scratch / "config").c_str()};
    fs::path root = fs::path(scratch.path()) / "対象";
    dvo::app::DvoSubEngine engine;
    std::unique_ptr<dvo::qt::QtMainView> window;

    void SetUp() override {
        dvo::test::TestApplication();
        fs::create_directories(root / "sub1");
        fs::create_directories(root / "sub2" / "sub3");
        WriteFile(root / "<img src=x>.txt", 1000);
        WriteFile(root / "sub1" / "b.bin", 2000);
        WriteFile(root / "sub1" / "c.PNG", 3000);
        WriteFile(root / "sub2" / "sub3" / "d.mp4", 4000);
        WriteFile(root / "sub2" / "e.png", 500);
        // e.png was last changed in 2019 (noon, so no time zone moves it to another year).
        std::tm old{};
        old.tm_year = 2019 - 1900;
        old.tm_mon = 5;
        old.tm_mday = 15;
        old.tm_hour = 12;
        const std::time_t when = std::mktime(&old);
        const utimbuf times{when, when};
        ::utime((root / "sub2" / "e.png").c_str(), &times);
        window = std::make_unique<dvo::qt::QtMainView>(engine);
        window->SetFolderChooser([this](const std::string&, const std::string&) {
            return std::optional<std::string>(root.string());
        });
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override { window.reset(); }

    void Search() {
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnAddDirectory")),
                          Qt::LeftButton);
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnExecute")),
                          Qt::LeftButton);
        dvo::test::RunSlicesToTheEnd();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    QtListingWindow& Listing(ListingKind kind) { return window->ListingWindow(kind); }
    static QString Cell(QtListingWindow& w, int row, int column, int role = Qt::DisplayRole) {
        return w.List().model()->index(row, column).data(role).toString();
    }
    // An item view takes a double click only on the row its press went to: press, then
    // double-click, as a hand does.
    static void DoubleClick(QTableView& list, int row) {
        const QPoint at = list.visualRect(list.model()->index(row, 0)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    }
    static int RowOf(QtListingWindow& w, int column, const QString& text) {
        for (int row = 0; row < w.List().model()->rowCount(); ++row)
            if (Cell(w, row, column) == text)
                return row;
        return -1;
    }
};

TEST_F(ListingWindowsTest, TheMenuOpensEachWindowAndTheListsShowTheResult) {
    auto* viewMenu = window->findChild<QMenu*>(QStringLiteral("mnuView"));
    ASSERT_NE(viewMenu, nullptr);
    const QList<QAction*> items = viewMenu->actions();
    const auto treemapAt = items.indexOf(window->findChild<QAction*>(QStringLiteral("mnuTreemap")));
    ASSERT_GE(treemapAt, 0);
    const struct {
        const char* name;
        const char* text;
        Qt::Key key;
        ListingKind kind;
    } cases[] = {{"mnuLargestFiles", "大きいファイル", Qt::Key_F, ListingKind::LargestFiles},
                 {"mnuKinds", "種類別", Qt::Key_K, ListingKind::Types},
                 {"mnuYears", "更新年別", Qt::Key_Y, ListingKind::Years}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        QAction* item = window->findChild<QAction*>(QString::fromLatin1(c.name));
        ASSERT_NE(item, nullptr) << c.name;
        EXPECT_EQ(items.indexOf(item), treemapAt + 1 + static_cast<int>(i)) << c.name;
        EXPECT_TRUE(item->text().startsWith(Text(c.text))) << c.name;
        QtListingWindow& w = Listing(c.kind);
        EXPECT_FALSE(w.isVisible());
        QTest::keyClick(window.get(), c.key, Qt::AltModifier);
        EXPECT_TRUE(w.isVisible()) << c.name;
        EXPECT_EQ(w.windowTitle(), Text(c.text));
        EXPECT_EQ(w.Summary().text(), Text(dvo::app::TListingForm::kTextBeforeSearch));
        EXPECT_EQ(w.Summary().textFormat(), Qt::PlainText);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    Search();
    // The status bar names the disk's free space next to its size.
    auto* freeSpace = window->findChild<QLabel*>(QStringLiteral("pnlFreeSpace"));
    ASSERT_NE(freeSpace, nullptr);
    EXPECT_TRUE(freeSpace->text().startsWith(Text("空き "))) << freeSpace->text().toStdString();
    EXPECT_TRUE(freeSpace->text().contains(QStringLiteral(" / ")));

    QtListingWindow& largest = Listing(ListingKind::LargestFiles);
    ASSERT_EQ(largest.List().model()->rowCount(), 5);
    EXPECT_EQ(Cell(largest, 0, 0), QStringLiteral("1"));
    EXPECT_EQ(Cell(largest, 0, 3), QString::fromStdString((root / "sub2/sub3/d.mp4").string()));
    EXPECT_EQ(Cell(largest, 4, 3), QString::fromStdString((root / "sub2/e.png").string()));
    // A name that looks like markup is shown as it is, and escaped where Qt would parse it.
    const int markup =
        RowOf(largest, 3, QString::fromStdString((root / "<img src=x>.txt").string()));
    ASSERT_GE(markup, 0);
    EXPECT_TRUE(Cell(largest, markup, 3, Qt::ToolTipRole).contains(QStringLiteral("&lt;img")));

    QtListingWindow& kinds = Listing(ListingKind::Types);
    const int png = RowOf(kinds, 0, QStringLiteral("png"));
    ASSERT_GE(png, 0);
    EXPECT_EQ(Cell(kinds, png, 1), QStringLiteral("2")); // c.PNG and e.png
    EXPECT_EQ(kinds.List().model()->index(png, 0).data(Qt::DecorationRole).value<QColor>(),
              QColor::fromRgb(dvo::app::FileGroupColour(dvo::app::FileGroup::Image)));

    QtListingWindow& years = Listing(ListingKind::Years);
    ASSERT_EQ(years.List().model()->rowCount(), 2);
    EXPECT_EQ(Cell(years, 0, 0), QStringLiteral("2019"));
    EXPECT_EQ(Cell(years, 0, 1), QStringLiteral("1"));
    EXPECT_EQ(Cell(years, 1, 1), QStringLiteral("4"));
}

TEST_F(ListingWindowsTest, ADoubleClickRevealsTheFileAndAKindIsOutlinedInTheTreemap) {
    Search();
    QTest::keyClick(window.get(), Qt::Key_F, Qt::AltModifier);
    QtListingWindow& largest = Listing(ListingKind::LargestFiles);
    const int row = RowOf(largest, 3, QString::fromStdString((root / "sub1/c.PNG").string()));
    ASSERT_GE(row, 0);
    QTableView& list = largest.List();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&largest));
    DoubleClick(list, row);
    auto* tree = window->findChild<QTreeView*>(QStringLiteral("SearchResultTree"));
    auto* grid = window->findChild<QTableView*>(QStringLiteral("lsSearchResult"));
    ASSERT_TRUE(tree && grid);
    EXPECT_EQ(tree->currentIndex().data().toString(), QStringLiteral("sub1"));
    ASSERT_TRUE(grid->currentIndex().isValid());
    EXPECT_EQ(grid->model()->index(grid->currentIndex().row(), 0).data().toString(),
              QStringLiteral("c.PNG"));

    // The treemap shows the searched folder; a click on "png" outlines both pictures.
    window->findChild<QAction*>(QStringLiteral("mnuTreemap"))->trigger();
    auto* map = window->findChild<dvo::qt::QtTreemapWindow*>(QStringLiteral("TTreemapForm"));
    ASSERT_NE(map, nullptr);
    map->Logic().btnUpClick(); // back to the searched folder after the reveal moved it
    window->findChild<QAction*>(QStringLiteral("mnuKinds"))->trigger();
    QtListingWindow& kinds = Listing(ListingKind::Types);
    const int png = RowOf(kinds, 0, QStringLiteral("png"));
    ASSERT_GE(png, 0);
    QTest::mouseClick(kinds.List().viewport(), Qt::LeftButton, {},
                      kinds.List().visualRect(kinds.List().model()->index(png, 0)).center());
    EXPECT_EQ(map->KindOutlines().size(), 2U);
}

TEST_F(ListingWindowsTest, TheListsFollowADeleteTheSizeCountAndANewSearch) {
    Search();
    QTest::keyClick(window.get(), Qt::Key_F, Qt::AltModifier);
    QtListingWindow& largest = Listing(ListingKind::LargestFiles);
    const QString biggest = QString::fromStdString((root / "sub2/sub3/d.mp4").string());
    ASSERT_EQ(Cell(largest, 0, 3), biggest);

    // Reveal d.mp4 and delete it from the grid: it leaves the list.
    DoubleClick(largest.List(), 0);
    auto* grid = window->findChild<QTableView*>(QStringLiteral("lsSearchResult"));
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("d.mp4"));
    auto* map = window->findChild<dvo::qt::QtTreemapWindow*>(QStringLiteral("TTreemapForm"));
    ASSERT_NE(map, nullptr);
    map->Results().ToggleRowMark(1);
    AnswerNextMessageBox(QStringLiteral("&Yes"));
    window->Files().mnuDeleteClick();
    ASSERT_FALSE(fs::exists(root / "sub2" / "sub3" / "d.mp4"));
    EXPECT_EQ(largest.List().model()->rowCount(), 4);
    EXPECT_EQ(RowOf(largest, 3, biggest), -1);

    // Counted as disk usage, the 500-byte e.png takes a whole block, as the engine says.
    const QString small = QString::fromStdString((root / "sub2/e.png").string());
    const int before = RowOf(largest, 3, small);
    ASSERT_GE(before, 0);
    EXPECT_EQ(Cell(largest, before, 1), QStringLiteral("500 B"));
    window->findChild<QAction*>(QStringLiteral("mnuSizeDisk"))->trigger();
    dvo::test::RunSlicesToTheEnd(); // the lists follow once the tree is laid out anew
    const int after = RowOf(largest, 3, small);
    ASSERT_GE(after, 0);
    EXPECT_NE(Cell(largest, after, 1), QStringLiteral("500 B"));
    window->findChild<QAction*>(QStringLiteral("mnuSizeFile"))->trigger();
    dvo::test::RunSlicesToTheEnd();
    EXPECT_EQ(Cell(largest, RowOf(largest, 3, small), 1), QStringLiteral("500 B"));

    // A new search lists what is there now.
    WriteFile(root / "sub1" / "f.iso", 9000);
    Search();
    EXPECT_EQ(Cell(largest, 0, 3), QString::fromStdString((root / "sub1/f.iso").string()));
    EXPECT_EQ(largest.List().model()->rowCount(), 5);
}

} // namespace
