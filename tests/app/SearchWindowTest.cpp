// The real window over the real engine: choose a small folder, click "実行", and read the
// counters the user would see when the search has ended.
#include "app/main/DvoSubEngine.h"
#include "app/qt/QtMainView.h"
#include "app/qt/QtTestDataWindow.h"
#include "platform/Text.h"
#include "tests/app/QtTestApplication.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, std::size_t bytes) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

QString LabelText(QWidget& window, const char* name) {
    auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
    return label != nullptr ? label->text() : QStringLiteral("<missing>");
}

TEST(SearchWindow, ExecuteShowsTheTreesCountsAndFinishes) {
    dvo::test::TestApplication();
    const char* base = std::getenv("DVO_TEST_TMP");
    const fs::path root = fs::path(base != nullptr ? base : fs::temp_directory_path().string()) /
                          ("search-window-" + std::to_string(::getpid())) / "対象";
    fs::remove_all(root.parent_path());
    fs::create_directories(root / "sub1");
    fs::create_directories(root / "sub2" / "sub3");
    WriteFile(root / "a.txt", 100);
    WriteFile(root / "sub1" / "b.bin", 200);
    WriteFile(root / "sub1" / "c.bin", 300);
    WriteFile(root / "sub2" / "sub3" / "d.dat", 400);

    dvo::app::DvoSubEngine engine;
    dvo::qt::QtMainView window(engine);
    window.SetFolderChooser([&](const std::string& title, const std::string& initial) {
        EXPECT_EQ(title, "検索フォルダ指定");
        EXPECT_EQ(initial, "/");
        return std::optional<std::string>(root.string());
    });
    window.show();
    auto* add = window.findChild<QPushButton*>(QStringLiteral("btnAddDirectory"));
    auto* execute = window.findChild<QPushButton*>(QStringLiteral("btnExecute"));
    auto* cancel = window.findChild<QPushButton*>(QStringLiteral("btnCancel"));
    ASSERT_TRUE(add && execute && cancel);
    EXPECT_FALSE(execute->isEnabled());

    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(window.findChild<QLineEdit*>(QStringLiteral("edtSearchDirectory"))->text(),
              QString::fromStdString(root.string()));
    ASSERT_TRUE(execute->isEnabled());

    // The click returns when the search flow has ended.
    QTest::mouseClick(execute, Qt::LeftButton);

    char16_t sizeText[20] = {};
    engine.DVOFileSize2String(sizeText, sizeof sizeText, 1000);
    EXPECT_EQ(LabelText(window, "lblFolderSize"), QString::fromStdU16String(sizeText));
    EXPECT_EQ(LabelText(window, "lblNumberOfFiles"), "4");
    // After the search the folder total is the number of folder records, the searched one too.
    EXPECT_EQ(LabelText(window, "lblNumberOfFolders"), "4");
    EXPECT_EQ(LabelText(window, "lblSearching"), "");
    EXPECT_EQ(LabelText(window, "pnlStatus"), "検索を終了しました");
    EXPECT_TRUE(execute->isEnabled());
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(engine.DVOIsActive(), 0);

    // The tree shows the searched folder expanded, its entries largest first.
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("SearchResultTree"));
    ASSERT_NE(tree, nullptr);
    const QModelIndex top = tree->model()->index(0, 0);
    EXPECT_EQ(top.data().toString(),
              QString::fromUtf8("対象")); // the engine names it by its base name
    EXPECT_TRUE(tree->isExpanded(top));
    QStringList children;
    for (int i = 0; i < tree->model()->rowCount(top); ++i)
        children << tree->model()->index(i, 0, top).data().toString();
    EXPECT_EQ(children, (QStringList{"sub1", "sub2", "a.txt"}));
    fs::remove_all(root.parent_path());
}

TEST(SearchWindow, AVanishedFolderFailsVisiblyAndSpaceMarksAGridRow) {
    dvo::test::TestApplication();
    const char* base = std::getenv("DVO_TEST_TMP");
    const fs::path root =
        fs::absolute(fs::path(base != nullptr ? base : fs::temp_directory_path().string()) /
                     ("vanished-" + std::to_string(::getpid())));
    fs::remove_all(root);
    fs::create_directories(root / "inner");
    WriteFile(root / "a.txt", 1500);
    WriteFile(root / "inner" / "b.txt", 10);

    dvo::app::DvoSubEngine engine;
    dvo::qt::QtMainView window(engine);
    window.SetFolderChooser([&](const std::string&, const std::string&) {
        return std::optional<std::string>(root.string());
    });
    window.show();
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnAddDirectory")),
                      Qt::LeftButton);
    fs::remove_all(root); // gone between the choice and "実行"
    QString boxText;
    QTimer::singleShot(50, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxText = box->text();
            box->findChild<QPushButton*>(QStringLiteral("result1"))->click();
        }
    });
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnExecute")), Qt::LeftButton);
    EXPECT_EQ(LabelText(window, "pnlStatus"), "検索できませんでした");
    EXPECT_TRUE(boxText.startsWith(QString::fromUtf8("フォルダを検索できませんでした。")))
        << boxText.toStdString();
    EXPECT_NE(LabelText(window, "lblFolderSize"), "0 B");

    // Back again: a whole search, and Space in the grid marks the current row.
    fs::create_directories(root / "inner");
    WriteFile(root / "a.txt", 1500);
    WriteFile(root / "inner" / "b.txt", 10);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnExecute")), Qt::LeftButton);
    dvo::test::RunSlicesToTheEnd();
    EXPECT_EQ(LabelText(window, "pnlStatus"), "検索を終了しました");
    EXPECT_EQ(LabelText(window, "pnlUnread"), QString::fromUtf8("読み取れなかった項目: 0"));
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("SearchResultTree"));
    auto* grid = window.findChild<QTableView*>(QStringLiteral("lsSearchResult"));
    ASSERT_TRUE(tree && grid);
    tree->setCurrentIndex(tree->model()->index(0, 0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualRect(tree->currentIndex()).center());
    QTest::qWait(20);
    ASSERT_GE(grid->model()->rowCount(), 2);
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 0)); // a.txt, the largest
    QTest::keyClick(grid, Qt::Key_Space);
    char16_t sizeText[20] = {};
    engine.DVOFileSize2String(sizeText, sizeof sizeText, 1500);
    EXPECT_EQ(LabelText(window, "pnlMarks"),
              QString::fromUtf8("マーク: 1 件 ") + QString::fromStdU16String(sizeText));
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(LabelText(window, "pnlMarks"), "");
    fs::remove_all(root);
}

// Opens the FIFO for writing whenever someone has it open for reading: that both records the
// read (nobody should ever read it) and releases a reader that would otherwise wait for good.
class FifoWatch {
public:
    explicit FifoWatch(const fs::path& fifo)
        : m_thread([this, fifo] {
              while (!m_stop) {
                  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0) {
                      m_opened = true;
                      ::close(fd);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    ~FifoWatch() {
        m_stop = true;
        m_thread.join();
    }
    [[nodiscard]] bool Opened() const { return m_opened; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_opened{false};
    std::thread m_thread;
};

TEST(SearchWindow, NamesThatLookLikeMarkupAreShownAsText) {
    dvo::test::TestApplication();
    const char* base = std::getenv("DVO_TEST_TMP");
    const fs::path top =
        fs::absolute(fs::path(base != nullptr ? base : fs::temp_directory_path().string()) /
                     ("markup-names-" + std::to_string(::getpid())));
    fs::remove_all(top);
    const fs::path fifo = top / "f";
    const fs::path searched = top / "s";
    // searched/<img src="/.../top/f">/x.txt: the folder chain spells an image of the FIFO.
    fs::path deep = searched / "<img src=\"";
    for (const auto& part : top.relative_path())
        deep /= part;
    deep /= "f\">";
    fs::create_directories(deep);
    WriteFile(deep / "x.txt", 10);
    WriteFile(searched / "a.txt", 1);
    WriteFile(searched / "B.txt", 2);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string image = "<img src=\"" + fifo.string() + "\">";
    ASSERT_EQ(searched.string() + "/" + image, deep.string());

    FifoWatch watch(fifo);
    dvo::app::DvoSubEngine engine;
    dvo::qt::QtMainView window(engine);
    window.SetFolderChooser([&](const std::string&, const std::string&) {
        return std::optional<std::string>(searched.string());
    });
    window.show();
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnAddDirectory")),
                      Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnExecute")), Qt::LeftButton);
    dvo::test::RunSlicesToTheEnd();
    EXPECT_EQ(LabelText(window, "pnlStatus"), "検索を終了しました");
    EXPECT_EQ(LabelText(window, "lblNumberOfFiles"), "3");

    // Whatever the live counters caught during the scan, the deepest path in every place that
    // shows paths and names: the labels, the status bar, a message box, the tree.
    const std::string path = deep.string();
    dvo::app::IMainView& view = window;
    view.SetLabelText(dvo::app::MainLabel::Searching, path);
    view.SetStatusText(path);
    QString boxText;
    QTimer::singleShot(50, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxText = box->text();
            box->findChild<QPushButton*>(QStringLiteral("result1"))->click();
        }
    });
    window.Form().ShowMessageBox(path, dvo::app::MessageKind::Error, dvo::app::MessageButton::OK);
    window.TestData().show();
    (void)window.grab();
    (void)window.TestData().grab();
    QTest::qWait(20);
    EXPECT_EQ(LabelText(window, "lblSearching"), QString::fromStdString(path));
    EXPECT_EQ(LabelText(window, "pnlStatus"), QString::fromStdString(path));
    EXPECT_EQ(boxText, QString::fromStdString(path));
    for (QWidget* w : {static_cast<QWidget*>(&window), static_cast<QWidget*>(&window.TestData())})
        for (QLabel* label : w->findChildren<QLabel*>())
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();

    // The tree names the folder literally; ascending names follow the user's collation, so the
    // lower-case a comes before the upper-case B.
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("SearchResultTree"));
    window.findChild<QAction*>(QStringLiteral("mnuAlpha"))->trigger();
    (void)window.grab();
    const QModelIndex root = tree->model()->index(0, 0);
    QStringList children;
    for (int i = 0; i < tree->model()->rowCount(root); ++i)
        children << tree->model()->index(i, 0, root).data().toString();
    EXPECT_EQ(children, (QStringList{QStringLiteral("<img src=\""), "a.txt", "B.txt"}));

    // Tooltips name the full path, and Qt guesses rich text in them: the deepest folder's
    // tooltip spells the whole image tag, and the grid row of its file too.
    window.findChild<QAction*>(QStringLiteral("N3"))->trigger(); // expand all
    QModelIndex node = tree->model()->index(0, 0, root);
    while (tree->model()->rowCount(node) > 0)
        node = tree->model()->index(0, 0, node);
    node = node.parent(); // the last one is x.txt in the folder "f\">"
    tree->scrollTo(node);
    tree->setCurrentIndex(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(node).center());
    QTest::qWait(20);
    auto* grid = window.findChild<QTableView*>(QStringLiteral("lsSearchResult"));
    const std::pair<QAbstractItemView*, QModelIndex> hovered[] = {
        {tree, node}, {grid, grid->model()->index(0, 0)}};
    for (const auto& [itemView, index] : hovered) {
        const QPoint at = itemView->visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, at, itemView->viewport()->mapToGlobal(at));
        QApplication::sendEvent(itemView->viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && top->inherits("QTipLabel"))
                (void)top->grab();
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        EXPECT_TRUE(shown.toPlainText().startsWith(QString::fromStdString(path)))
            << shown.toPlainText().toStdString();
        QToolTip::hideText();
    }

    window.TestData().hide();
    EXPECT_FALSE(watch.Opened()) << "something read the FIFO the names point to";
    fs::remove_all(top);
}

} // namespace

namespace {

// "表示" > "選択したフォルダを再検索" through the real widgets: F5 on the selected folder, the menu
// item's state, and the box for a folder that went.
TEST(SearchWindow, F5ReadsTheSelectedFolderAgain) {
    dvo::test::TestApplication();
    const char* base = std::getenv("DVO_TEST_TMP");
    const fs::path root =
        fs::absolute(fs::path(base != nullptr ? base : fs::temp_directory_path().string()) /
                     ("rescan-" + std::to_string(::getpid())));
    fs::remove_all(root);
    fs::create_directories(root / "keep" / "inner");
    fs::create_directories(root / "goes");
    WriteFile(root / "keep" / "inner" / "a.txt", 100);
    WriteFile(root / "goes" / "b.txt", 10);

    dvo::app::DvoSubEngine engine;
    dvo::qt::QtMainView window(engine);
    window.SetFolderChooser([&](const std::string&, const std::string&) {
        return std::optional<std::string>(root.string());
    });
    window.show();
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnAddDirectory")),
                      Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnExecute")), Qt::LeftButton);
    ASSERT_EQ(LabelText(window, "pnlStatus"), "検索を終了しました");

    auto* tree = window.findChild<QTreeView*>(QStringLiteral("SearchResultTree"));
    auto* menu = window.findChild<QMenu*>(QStringLiteral("mnuView"));
    auto* item = window.findChild<QAction*>(QStringLiteral("mnuRescanFolder"));
    ASSERT_TRUE(tree && menu && item);
    const auto select = [&](const QString& name) {
        const QModelIndex top = tree->model()->index(0, 0);
        for (int i = 0; i < tree->model()->rowCount(top); ++i) {
            const QModelIndex child = tree->model()->index(i, 0, top);
            if (child.data().toString() == name) {
                tree->setCurrentIndex(child);
                QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                  tree->visualRect(child).center());
                return child;
            }
        }
        ADD_FAILURE() << name.toStdString();
        return QModelIndex();
    };
    const QModelIndex keep = select(QStringLiteral("keep"));
    tree->expand(keep);
    QMetaObject::invokeMethod(menu, "aboutToShow");
    EXPECT_TRUE(item->isEnabled());

    WriteFile(root / "keep" / "inner" / "new.txt", 5000);
    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_EQ(LabelText(window, "pnlStatus"), "フォルダの再検索を終了しました");
    char16_t sizeText[20] = {};
    engine.DVOFileSize2String(sizeText, sizeof sizeText, 5110);
    EXPECT_EQ(LabelText(window, "lblFolderSize"), QString::fromStdU16String(sizeText));
    // The folder is still the selected one, open as it was, with its new child.
    const QModelIndex current = tree->currentIndex();
    EXPECT_EQ(current.data().toString(), "keep");
    EXPECT_TRUE(tree->isExpanded(current));
    ASSERT_EQ(tree->model()->rowCount(current), 1);
    EXPECT_EQ(tree->model()->index(0, 0, current).data().toString(), "inner");

    // A folder that went: its row goes, with a box that names it.
    select(QStringLiteral("goes"));
    fs::remove_all(root / "goes");
    QString boxText;
    QTimer::singleShot(50, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxText = box->text();
            box->findChild<QPushButton*>(QStringLiteral("result1"))->click();
        }
    });
    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_EQ(boxText, QString::fromStdString("フォルダが見つかりません。一覧から外しました。\n" +
                                              (root / "goes").string()));
    const QModelIndex top = tree->model()->index(0, 0);
    EXPECT_EQ(tree->model()->rowCount(top), 1);
    fs::remove_all(root);
}

} // namespace
