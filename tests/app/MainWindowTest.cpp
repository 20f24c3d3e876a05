// The Qt window with a scripted engine: menus, shortcuts of hidden items, radio items, the
// message box and the close confirmation.
#include "app/main/AppConstants.h"
#include "app/qt/QtMainView.h"
#include "platform/InstanceLock.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeEngine.h"
#include "tests/app/QtTestApplication.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace {

using namespace dvo::test;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        window = std::make_unique<dvo::qt::QtMainView>(engine);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    QAction* Action(const char* name) {
        auto* action = window->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(action, nullptr) << name;
        return action;
    }

    void Alt(Qt::Key key) { QTest::keyClick(window.get(), key, Qt::AltModifier); }

    // Runs `inspect` on the next modal message box as soon as it is up.
    static void OnNextMessageBox(std::function<void(QMessageBox*)> inspect) {
        auto* timer = new QTimer;
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                inspect(box);
            }
        });
        timer->start();
    }

    EventLog log;
    FakeEngine engine{log};
    std::unique_ptr<dvo::qt::QtMainView> window;
};

TEST_F(MainWindowTest, HiddenItemsKeepTheirShortcutsAndTheFirstItemWinsASharedOne) {
    QAction* exportTree = Action("mnuExportFolderTree");
    QAction* treeView = Action("mnuTreeViewItem");
    QAction* detail = Action("mnuDetail");
    ASSERT_TRUE(exportTree && treeView && detail);
    EXPECT_TRUE(Action("mnuExportItem")->isVisible());
    EXPECT_FALSE(treeView->isVisible());
    EXPECT_FALSE(detail->isVisible());

    QSignalSpy exportSpy(exportTree, &QAction::triggered);
    QSignalSpy treeViewSpy(treeView, &QAction::triggered);
    QSignalSpy detailSpy(detail, &QAction::triggered);
    Alt(Qt::Key_D);
    // The export says there is no result to save yet.
    OnNextMessageBox(
        [](QMessageBox* box) { box->findChild<QPushButton*>(QStringLiteral("result1"))->click(); });
    Alt(Qt::Key_T);
    EXPECT_EQ(exportSpy.count(), 1);
    EXPECT_EQ(treeViewSpy.count(), 0);
    EXPECT_EQ(detailSpy.count(), 1);
}

TEST_F(MainWindowTest, RadioItemsKeepOneChoice) {
    QAction* atOnce = Action("mnuTreeAtOnce");
    QAction* progress = Action("mnuTreeProgress");
    ASSERT_TRUE(atOnce && progress);
    EXPECT_FALSE(atOnce->isChecked());
    EXPECT_TRUE(progress->isChecked());

    Alt(Qt::Key_S); // the checked item chosen again stays checked
    EXPECT_FALSE(atOnce->isChecked());
    EXPECT_TRUE(progress->isChecked());
    Alt(Qt::Key_B);
    EXPECT_TRUE(atOnce->isChecked());
    EXPECT_FALSE(progress->isChecked());
    Alt(Qt::Key_B);
    EXPECT_TRUE(atOnce->isChecked());
    Alt(Qt::Key_S);
    EXPECT_FALSE(atOnce->isChecked());
    EXPECT_TRUE(progress->isChecked());

    // The sort group behaves the same, in its own group; it starts at size descending.
    QAction* none = Action("mnuSortNone");
    QAction* sizeDown = Action("mnuSizeDown");
    EXPECT_TRUE(sizeDown->isChecked());
    Alt(Qt::Key_0);
    EXPECT_TRUE(none->isChecked());
    EXPECT_FALSE(sizeDown->isChecked());
    Alt(Qt::Key_0);
    EXPECT_TRUE(none->isChecked());
    Alt(Qt::Key_2);
    EXPECT_FALSE(none->isChecked());
    EXPECT_TRUE(sizeDown->isChecked());
    EXPECT_TRUE(progress->isChecked());
}

TEST_F(MainWindowTest, SizeCountItemsSwitchTheEngineAndAreOffDuringASearch) {
    QAction* file = Action("mnuSizeFile");
    QAction* disk = Action("mnuSizeDisk");
    QAction* submenu = Action("mnuSizeCountItem");
    ASSERT_TRUE(file && disk && submenu);
    EXPECT_EQ(submenu->text(), QStringLiteral("サイズの数え方"));
    EXPECT_TRUE(file->text().startsWith(QStringLiteral("ファイルサイズ")));
    EXPECT_TRUE(disk->text().startsWith(QStringLiteral("ディスク使用量")));
    EXPECT_TRUE(file->isChecked());
    EXPECT_FALSE(disk->isChecked());

    Alt(Qt::Key_6);
    EXPECT_EQ(engine.sizeMode, DVO_SIZE_DISK);
    EXPECT_TRUE(disk->isChecked());
    EXPECT_FALSE(file->isChecked());
    Alt(Qt::Key_6); // the checked item again: still one choice, no second switch
    EXPECT_TRUE(disk->isChecked());
    EXPECT_EQ(log.Count("engine:DVOSetSizeMode:1"), 1);

    // During a search the items are off, and their keys change nothing.
    window->SetFolderChooser(
        [](const std::string&, const std::string&) { return std::string("/"); });
    window->Form().btnAddDirectoryClick();
    engine.endless = true;
    bool offDuringSearch = false;
    QTimer::singleShot(0, window.get(), [&] {
        QTimer::singleShot(20, window.get(), [&] {
            offDuringSearch = !submenu->isEnabled() && !file->isEnabled();
            Alt(Qt::Key_5);
            engine.endless = false;
        });
        window->Form().btnExecuteClick();
        QCoreApplication::exit(0);
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(offDuringSearch);
    EXPECT_EQ(engine.sizeMode, DVO_SIZE_DISK);
    EXPECT_TRUE(disk->isChecked());
    EXPECT_TRUE(file->isEnabled());

    Alt(Qt::Key_5);
    EXPECT_EQ(engine.sizeMode, DVO_SIZE_APPARENT);
    EXPECT_TRUE(file->isChecked());
    EXPECT_FALSE(disk->isChecked());
}

TEST_F(MainWindowTest, MessageBoxShowsButtonsInOrderWithDefaultAndEscape) {
    QStringList captions;
    QString title;
    QString defaultCaption;
    OnNextMessageBox([&](QMessageBox* box) {
        title = box->windowTitle();
        auto buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) {
            return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
        });
        for (QAbstractButton* b : buttons)
            captions << b->text();
        if (box->defaultButton() != nullptr)
            defaultCaption = box->defaultButton()->text();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    const int result = window->Form().ShowMessageBox("ファイル：a.txt を削除しますか？",
                                                     dvo::app::MessageKind::Confirmation, 523);
    EXPECT_EQ(result, dvo::app::MessageResult::Cancel);
    EXPECT_EQ(title, "Confirm");
    EXPECT_EQ(captions, (QStringList{"&Yes", "&No", "Cancel", "&YesToAll"}));
    EXPECT_EQ(defaultCaption, "&Yes");
}

TEST_F(MainWindowTest, ExitAsksAndARefusalKeepsTheWindow) {
    QString text;
    OnNextMessageBox([&](QMessageBox* box) {
        text = box->text();
        box->findChild<QPushButton*>(QStringLiteral("result2"))->click(); // Cancel
    });
    Alt(Qt::Key_E);
    EXPECT_EQ(text, "プログラムを終了します");
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, FolderFieldFollowsItsButtonWhenTheWindowResizes) {
    auto* edit = window->findChild<QLineEdit*>(QStringLiteral("edtSearchDirectory"));
    auto* add = window->findChild<QPushButton*>(QStringLiteral("btnAddDirectory"));
    auto* cancel = window->findChild<QPushButton*>(QStringLiteral("btnCancel"));
    ASSERT_TRUE(edit && add && cancel);
    for (const int width : {1019, 1300, 800}) {
        window->resize(width, 712);
        QTest::qWait(20);
        SCOPED_TRACE(width);
        EXPECT_EQ(edit->width(), add->x() - edit->x() - 32);
        EXPECT_EQ(cancel->parentWidget()->width() - cancel->x(), 1019 - 922);
    }
}

TEST_F(MainWindowTest, CloseConfirmedDuringASearchStopsItAndEndsTheLoopAfterTheFlow) {
    window->SetFolderChooser(
        [](const std::string&, const std::string&) { return std::string("/"); });
    window->Form().btnAddDirectoryClick();
    engine.endless = true; // a scan that never ends by itself: only the abort ends it
    bool flowReturned = false;
    OnNextMessageBox([&](QMessageBox* box) {
        box->findChild<QPushButton*>(QStringLiteral("result1"))->click(); // OK: close
    });
    QTimer::singleShot(0, window.get(), [&] {
        QTimer::singleShot(20, window.get(), [this] { Action("E1")->trigger(); });
        window->Form().btnExecuteClick();
        flowReturned = true; // the loop ends only once the flow has returned
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); }); // only if the close was lost
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(flowReturned);
    EXPECT_EQ(log.Count("engine:DVOAbortFileSearching"), 1);
    EXPECT_EQ(window->Form().CursorCount(), 0);
    EXPECT_NE(window->findChild<QLabel*>(QStringLiteral("pnlStatus"))->text(),
              "検索を終了しました");
}

TEST_F(MainWindowTest, GridColumnsFillTheGridWidthAfterEveryResize) {
    auto* grid = window->findChild<QTableView*>(QStringLiteral("lsSearchResult"));
    ASSERT_NE(grid, nullptr);
    for (const int width : {1600, 700, 1019, 1300, 900}) {
        window->resize(width, 712);
        QTest::qWait(30);
        SCOPED_TRACE(width);
        int total = 0;
        for (int c = 0; c < 4; ++c)
            total += grid->columnWidth(c);
        EXPECT_EQ(total, grid->viewport()->width());
        EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
    }
}

TEST_F(MainWindowTest, FolderThatCannotBeHandedBackIsReportedNotSearched) {
    const char* base = std::getenv("DVO_TEST_TMP");
    const std::filesystem::path dir = std::filesystem::path(base != nullptr ? base : "/tmp") /
                                      ("unusable-folder-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const std::string raw = (dir / "bad\xff\xfename").string(); // not UTF-8
    std::filesystem::create_directories(raw);
    // The question's exact path is kept; a dialog's look-alike (U+FFFD for the bytes) is refused.
    EXPECT_TRUE(dvo::app::TMainForm::IsUsableFolder(raw));
    EXPECT_FALSE(dvo::app::TMainForm::IsUsableFolder(dir / "missing"));
    EXPECT_FALSE(dvo::app::TMainForm::IsUsableFolder(""));
    const std::string lookAlike = QFile::encodeName(QFile::decodeName(raw.c_str())).toStdString();
    ASSERT_NE(lookAlike, raw);

    window->SetFolderChooser([&](const std::string&, const std::string&) { return lookAlike; });
    QString text;
    OnNextMessageBox([&](QMessageBox* box) {
        text = box->text();
        box->findChild<QPushButton*>(QStringLiteral("result1"))->click();
    });
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnAddDirectory")),
                      Qt::LeftButton);
    EXPECT_TRUE(text.startsWith(QString::fromUtf8("指定されたフォルダが見つかりません。")));
    EXPECT_TRUE(text.endsWith(QString::fromStdString(lookAlike)));
    EXPECT_EQ(window->findChild<QLineEdit*>(QStringLiteral("edtSearchDirectory"))->text(), "");
    EXPECT_FALSE(window->findChild<QPushButton*>(QStringLiteral("btnExecute"))->isEnabled());
    EXPECT_EQ(window->Form().SearchDirectory(), "");
    std::filesystem::remove_all(dir);
}

TEST(SecondInstance, ShowsTheMessageAndEndsWithoutShowingTheWindow) {
    TestApplication();
    const char* base = std::getenv("DVO_TEST_TMP");
    const std::filesystem::path dir = std::filesystem::path(base != nullptr ? base : "/tmp") /
                                      ("second-instance-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    ASSERT_EQ(platform::TakeInstanceLock(std::string(dvo::app::MutexName)),
              platform::InstanceLockResult::Taken);

    EventLog log;
    FakeEngine engine{log};
    dvo::qt::QtMainView window(engine);
    QString text;
    QString title;
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            text = box->text();
            title = box->windowTitle();
            box->findChild<QPushButton*>(QStringLiteral("result1"))->click();
        }
    });
    timer->start();
    window.Form().StartApplication();
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); }); // only if the end was lost
    // No running window answered (the lock's holder here has none), so the box says why.
    EXPECT_EQ(QApplication::exec(), dvo::app::TMainForm::kExitAlreadyRunning);
    EXPECT_EQ(text, "ドルミナは既に実行されています。");
    EXPECT_EQ(title, "Error");
    EXPECT_FALSE(window.isVisible());
    ::unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
