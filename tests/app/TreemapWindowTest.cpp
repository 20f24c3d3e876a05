// The treemap window through the real main window over the real engine: search a small tree,
// open the map with Alt+G, click a known rectangle and see its folder selected in the tree, and
// delete an entry in the grid and see the map laid out again without it.
#include "app/main/DvoSubEngine.h"
#include "app/qt/QtMainView.h"
#include "app/qt/QtTreemapWindow.h"
#include "app/views/FileCommands.h"
#include "tests/app/QtTestApplication.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using dvo::qt::QtTreemapWindow;

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

struct TreemapWindowTest : testing::Test {
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
        WriteFile(root / "a.txt", 1000);
        WriteFile(root / "sub1" / "b.bin", 2000);
        WriteFile(root / "sub1" / "c.png", 3000);
        WriteFile(root / "sub2" / "sub3" / "d.mp4", 4000);
        window = std::make_unique<dvo::qt::QtMainView>(engine);
        window->SetFolderChooser([this](const std::string&, const std::string&) {
            return std::optional<std::string>(root.string());
        });
        window->show();
        window->activateWindow();
        ASSERT_TRUE(
            QTest::qWaitForWindowActive(window.get())); // the shortcuts act on the active window
    }
    void TearDown() override { window.reset(); }

    void Search() {
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnAddDirectory")),
                          Qt::LeftButton);
        // The click returns when the search flow has ended.
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnExecute")),
                          Qt::LeftButton);
        dvo::test::RunSlicesToTheEnd();
    }
    QtTreemapWindow* Treemap() {
        return window->findChild<QtTreemapWindow*>(QStringLiteral("TTreemapForm"));
    }
    int Entry(QtTreemapWindow& map, std::string_view caption) {
        const auto& nodes = map.Logic().Nodes();
        for (std::size_t i = 0; i < nodes.size(); ++i)
            if (nodes[i]->Caption() == caption)
                return static_cast<int>(i);
        return -1;
    }
    QPoint Centre(QtTreemapWindow& map, std::string_view caption) {
        const int i = Entry(map, caption);
        EXPECT_GE(i, 0) << caption;
        const auto p = dvo::app::ToPixels(
            map.Logic().Geometry().rects[static_cast<std::size_t>(std::max(i, 0))]);
        return {(p.left + p.right) / 2, (p.top + p.bottom) / 2};
    }
};

TEST_F(TreemapWindowTest, MenuItemIsInTheViewMenuAndOpensTheWindow) {
    auto* item = window->findChild<QAction*>(QStringLiteral("mnuTreemap"));
    ASSERT_NE(item, nullptr);
    auto* viewMenu = window->findChild<QMenu*>(QStringLiteral("mnuView"));
    ASSERT_NE(viewMenu, nullptr);
    EXPECT_TRUE(viewMenu->actions().contains(item));
    EXPECT_TRUE(item->isCheckable());
    EXPECT_TRUE(item->text().startsWith(QString::fromUtf8("ツリーマップ表示")));

    QtTreemapWindow* map = Treemap();
    ASSERT_NE(map, nullptr);
    EXPECT_FALSE(map->isVisible());
    QTest::keyClick(window.get(), Qt::Key_G, Qt::AltModifier);
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(map->isVisible());
    EXPECT_EQ(map->windowTitle(), QString::fromUtf8("ツリーマップ"));
    EXPECT_EQ(map->size(), QSize(800, 600));
    EXPECT_TRUE(map->Picture().isNull()); // before a search: a line of text
    map->close();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(map->isVisible());
}

TEST_F(TreemapWindowTest, ClickSelectsTheFolderInTheTreeAndADeleteRefreshesTheMap) {
    Search();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_G, Qt::AltModifier);
    QtTreemapWindow* map = Treemap();
    ASSERT_NE(map, nullptr);
    ASSERT_FALSE(map->Picture().isNull());
    EXPECT_EQ(map->Logic().Nodes().size(), 8U); // the searched folder, 3 folders, 4 files

    QTest::mouseClick(&map->Canvas(), Qt::LeftButton, {}, Centre(*map, "d.mp4"));
    auto* tree = window->findChild<QTreeView*>(QStringLiteral("SearchResultTree"));
    auto* grid = window->findChild<QTableView*>(QStringLiteral("lsSearchResult"));
    ASSERT_TRUE(tree && grid);
    EXPECT_EQ(tree->currentIndex().data().toString(), QStringLiteral("sub3"));
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("d.mp4"));

    // Hovering names the entry as plain text.
    const QPoint over = Centre(*map, "c.png");
    QMouseEvent move(QEvent::MouseMove, over, map->Canvas().mapToGlobal(over), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&map->Canvas(), &move);
    auto* status = map->findChild<QLabel*>(QStringLiteral("pnlTreemapStatus"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->textFormat(), Qt::PlainText);
    EXPECT_TRUE(
        status->text().startsWith(QString::fromStdString((root / "sub1" / "c.png").string())))
        << status->text().toStdString();
    // The line keeps its height: the map is not laid out again under the pointer.
    const QSize canvas = map->Canvas().size();
    QTest::qWait(100);
    EXPECT_EQ(map->Canvas().size(), canvas);
    EXPECT_FALSE(status->text().isEmpty());

    // Delete d.mp4 from the grid: the map loses it and is drawn again.
    map->Results().ToggleRowMark(1);
    AnswerNextMessageBox(QStringLiteral("&Yes"));
    window->Files().mnuDeleteClick();
    EXPECT_FALSE(fs::exists(root / "sub2" / "sub3" / "d.mp4"));
    EXPECT_EQ(Entry(*map, "d.mp4"), -1);
    EXPECT_EQ(map->Logic().Nodes().size(), 7U);
    EXPECT_FALSE(map->Picture().isNull());

    // Double click goes one level down, Backspace back up.
    QTest::mouseDClick(&map->Canvas(), Qt::LeftButton, {}, Centre(*map, "c.png"));
    ASSERT_NE(map->Logic().MapRoot(), nullptr);
    EXPECT_EQ(map->Logic().MapRoot()->Caption(), "sub1");
    QTest::keyClick(map, Qt::Key_Backspace);
    EXPECT_EQ(map->Logic().MapRoot()->Caption(), "対象");
}

} // namespace
