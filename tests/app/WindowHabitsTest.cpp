// Habits of a desktop program, through the real window: a typed folder, a folder named at the
// start, a second start, long names, the wheel and the paging keys of the grid.
#include "app/main/AppConstants.h"
#include "app/main/DvoSubEngine.h"
#include "app/qt/QtMainView.h"
#include "platform/InstanceLock.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeEngine.h"
#include "tests/app/QtTestApplication.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QWheelEvent>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace dvo::test;

fs::path ScratchFolder(const std::string& name) {
    const char* base = std::getenv("DVO_TEST_TMP");
    const fs::path dir =
        fs::absolute(fs::path(base != nullptr ? base : fs::temp_directory_path().string()) /
                     (name + "-" + std::to_string(::getpid())));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void WriteFile(const fs::path& path, std::size_t bytes) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

template <typename T> T* Child(QWidget& window, const char* name) {
    auto* child = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QString StatusText(QWidget& window) { return Child<QLabel>(window, "pnlStatus")->text(); }

// Answers the next message box with its first button and keeps its text.
void AnswerNextMessageBox(QString& text) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, &text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            text = box->text();
            box->findChild<QPushButton*>(QStringLiteral("result1"))->click();
        }
    });
    timer->start();
}

// What a tooltip shows: Qt renders it as rich text.
QString ShownToolTip(const QVariant& tip) {
    QTextDocument document;
    document.setHtml(tip.toString());
    return document.toPlainText();
}

// The single-instance lock and socket of one test live in a runtime folder of its own (a lock
// taken in this process is held until the process ends); the settings and the log a started
// window opens go to scratch folders, not to the user's.
class RuntimeFolder {
public:
    explicit RuntimeFolder(const std::string& name) : m_dir(ScratchFolder("runtime-" + name)) {
        fs::permissions(m_dir, fs::perms::owner_all);
        // A socket's path must fit 107 bytes: the runtime folder is a short one.
        fs::remove_all(m_run);
        Set("XDG_RUNTIME_DIR", m_run);
        Set("XDG_CONFIG_HOME", m_dir / "config");
        Set("XDG_DATA_HOME", m_dir / "data");
    }
    ~RuntimeFolder() {
        for (const auto& [name, old] : m_old)
            if (old)
                ::setenv(name.c_str(), old->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        fs::remove_all(m_dir);
        fs::remove_all(m_run);
    }
    [[nodiscard]] const fs::path& Path() const { return m_run; }

private:
    void Set(const std::string& name, const fs::path& dir) {
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms::owner_all);
        const char* old = std::getenv(name.c_str());
        m_old.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name.c_str(), dir.c_str(), 1);
    }

    fs::path m_dir;
    fs::path m_run = fs::temp_directory_path() / ("dvo-run-" + std::to_string(::getpid()));
    std::vector<std::pair<std::string, std::optional<std::string>>> m_old;
};

TEST(WindowHabits, TypedOrPastedFolderIsCheckedLikeTheDialogsAndReturnSearchesIt) {
    TestApplication();
    const fs::path root = ScratchFolder("typed-folder");
    WriteFile(root / "a.txt", 10);
    dvo::app::DvoSubEngine engine;
    dvo::qt::QtMainView window(engine);
    window.show();
    auto* edit = Child<QLineEdit>(window, "edtSearchDirectory");
    auto* execute = Child<QPushButton>(window, "btnExecute");
    ASSERT_TRUE(edit && execute);
    EXPECT_FALSE(edit->isReadOnly());

    struct Case {
        std::string typed;
        bool paste;
        bool searched;
        std::string folder; // what the field and LastFolder hold after a search
    };
    const Case cases[] = {
        {(root / "missing").string(), false, false, ""},
        {"typed-folder", false, false, ""}, // relative: no dialog hands one back
        {root.string() + "/", true, true, root.string()},
        {root.string(), false, true, root.string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        edit->clear();
        edit->setFocus();
        if (c.paste) {
            QApplication::clipboard()->setText(QString::fromStdString(c.typed));
            QTest::keySequence(edit, QKeySequence::Paste);
        } else {
            QTest::keyClicks(edit, QString::fromStdString(c.typed));
        }
        EXPECT_TRUE(execute->isEnabled()); // a typed text enables "実行" as a chosen one does
        window.Form().SetStatusText("");
        QString box;
        if (!c.searched)
            AnswerNextMessageBox(box);
        QTest::keyClick(edit, Qt::Key_Return); // returns when the search flow has ended
        if (c.searched) {
            EXPECT_EQ(StatusText(window), "検索を終了しました");
            EXPECT_EQ(edit->text(), QString::fromStdString(c.folder));
            EXPECT_EQ(window.Form().LastFolder(), c.folder);
            EXPECT_EQ(window.Form().SearchedFolder(), c.folder);
            EXPECT_EQ(Child<QGroupBox>(window, "grpSearchResult")->title(),
                      QString::fromStdString("検索結果 - " + c.folder));
        } else {
            EXPECT_TRUE(box.startsWith(QString::fromUtf8("指定されたフォルダが見つかりません。")))
                << box.toStdString();
            EXPECT_EQ(StatusText(window), "");                        // nothing searched
            EXPECT_EQ(edit->text(), QString::fromStdString(c.typed)); // kept, to be corrected
        }
    }
    fs::remove_all(root);
}

TEST(WindowHabits, FolderChosenDuringASearchLeavesWhatTheResultPanelNames) {
    TestApplication();
    const fs::path first = ScratchFolder("first-choice");
    const fs::path second = ScratchFolder("second-choice");
    EventLog log;
    FakeEngine engine{log};
    dvo::qt::QtMainView window(engine);
    window.show();
    std::string answer = first.string();
    window.SetFolderChooser([&](const std::string&, const std::string&) { return answer; });
    QTest::mouseClick(Child<QPushButton>(window, "btnAddDirectory"), Qt::LeftButton);
    engine.endless = true;
    // During the scan: another folder chosen, then typed, then the scan cancelled.
    QTimer::singleShot(20, &window, [&] {
        answer = second.string();
        QTest::mouseClick(Child<QPushButton>(window, "btnAddDirectory"), Qt::LeftButton);
        QTest::keyClicks(Child<QLineEdit>(window, "edtSearchDirectory"), "/x");
        QTest::mouseClick(Child<QPushButton>(window, "btnCancel"), Qt::LeftButton);
    });
    QTest::mouseClick(Child<QPushButton>(window, "btnExecute"), Qt::LeftButton);
    EXPECT_EQ(log.Count("engine:DVOAbortFileSearching"), 1);
    EXPECT_EQ(log.Count("engine:DVOAddSearchDirectory:" + first.string()), 1);
    EXPECT_EQ(Child<QGroupBox>(window, "grpSearchResult")->title(),
              QString::fromStdString("検索結果 - " + first.string()));
    EXPECT_EQ(window.Form().SearchedFolder(), first.string());
    EXPECT_EQ(Child<QLineEdit>(window, "edtSearchDirectory")->text(),
              QString::fromStdString(second.string() + "/x"));
    EXPECT_EQ(window.Form().LastFolder(), second.string());
    fs::remove_all(first);
    fs::remove_all(second);
}

// The running window is this test's; the second start is the real program, started as a file
// manager starts it, with a folder relative to its working folder.
TEST(WindowHabits, StartFolderIsSearchedAndASecondStartHandsItsFolderToTheRunningWindow) {
    TestApplication();
    RuntimeFolder runtime("second-start");
    const fs::path root = ScratchFolder("start-folder");
    fs::create_directories(root / "later");
    EventLog log;
    FakeEngine engine{log};
    dvo::qt::QtMainView window(engine);
    // The operation log lives as long as its program (never closed): not opened in a test.
    window.Form().SetStartupSteps(nullptr);
    window.Form().StartApplication(root.string());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(log.Count("engine:DVOAddSearchDirectory:" + root.string()), 1);
    EXPECT_EQ(StatusText(window), "検索を終了しました");

    // Only this user can reach the socket.
    const std::string socket = platform::InstanceSocketPath(std::string(dvo::app::MutexName));
    ASSERT_EQ(fs::path(socket).parent_path(), runtime.Path());
    struct stat st = {};
    ASSERT_EQ(::stat(socket.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);

    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.Path()));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(QString::fromStdString(root.string()));
    QSignalSpy ended(&second, &QProcess::finished);
    second.start(QStringLiteral(DVO_PROGRAM), {QStringLiteral("later/")});
    ASSERT_TRUE(ended.wait(20000)) << "the second start did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), dvo::app::TMainForm::kExitAlreadyRunning);
    QTRY_COMPARE(log.Count("engine:DVOAddSearchDirectory:" + (root / "later").string()), 1);
    EXPECT_TRUE(window.isActiveWindow());
    EXPECT_EQ(window.Form().SearchedFolder(), (root / "later").string());
    fs::remove_all(root);
}

// One folder of long names searched by the real engine: a deep chain for the tree, and enough
// files for the grid to scroll.
class LongNamesWindow : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        root = ScratchFolder("long-names");
        deepest = root;
        for (int level = 0; level < 8; ++level)
            deepest /= "level-" + std::to_string(level) + "-" + std::string(40, 'd');
        fs::create_directories(deepest);
        WriteFile(deepest / "x.txt", 1);
        longName = std::string(120, 'n') + ".txt";
        WriteFile(root / longName, 100000); // the largest: the grid's first row
        for (int i = 0; i < 80; ++i)
            WriteFile(root / ("file-" + std::to_string(i) + ".bin"), 10 + i);
        window = std::make_unique<dvo::qt::QtMainView>(engine);
        window->SetFolderChooser(
            [this](const std::string&, const std::string&) { return root.string(); });
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::mouseClick(Child<QPushButton>(*window, "btnAddDirectory"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(*window, "btnExecute"), Qt::LeftButton);
        dvo::test::RunSlicesToTheEnd();
        ASSERT_EQ(StatusText(*window), "検索を終了しました");
        tree = Child<QTreeView>(*window, "SearchResultTree");
        grid = Child<QTableView>(*window, "lsSearchResult");
        ASSERT_TRUE(tree && grid);
        // The searched folder listed in the grid, as a click on it does.
        tree->setCurrentIndex(tree->model()->index(0, 0));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualRect(tree->currentIndex()).center());
        QTest::qWait(20);
        ASSERT_GT(grid->model()->rowCount(), 80);
    }
    void TearDown() override {
        window.reset();
        fs::remove_all(root);
    }

    fs::path root;
    fs::path deepest;
    std::string longName;
    dvo::app::DvoSubEngine engine;
    std::unique_ptr<dvo::qt::QtMainView> window;
    QTreeView* tree = nullptr;
    QTableView* grid = nullptr;
};

TEST_F(LongNamesWindow, DeepLevelsScrollSidewaysAndEveryNodeAndRowTellsItsFullPath) {
    window->findChild<QAction*>(QStringLiteral("N3"))->trigger(); // expand all
    QTest::qWait(20);
    QModelIndex node = tree->model()->index(0, 0);
    for (int level = 0; level < 8; ++level) {
        QModelIndex next;
        for (int r = 0; r < tree->model()->rowCount(node); ++r)
            if (tree->model()->index(r, 0, node).data().toString().startsWith("level-"))
                next = tree->model()->index(r, 0, node);
        ASSERT_TRUE(next.isValid()) << level;
        node = next;
    }
    tree->scrollTo(node);
    QTest::qWait(20);
    EXPECT_GT(tree->header()->sectionSize(0), tree->viewport()->width());
    EXPECT_GT(tree->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(ShownToolTip(node.data(Qt::ToolTipRole)), QString::fromStdString(deepest.string()));

    // The tooltip over the grid's first row, as the pointer shows it.
    const QRect cell = grid->visualRect(grid->model()->index(0, 0));
    QHelpEvent help(QEvent::ToolTip, cell.center(), grid->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(grid->viewport(), &help);
    QTRY_VERIFY(QToolTip::isVisible());
    EXPECT_EQ(ShownToolTip(QToolTip::text()), QString::fromStdString((root / longName).string()));
    QToolTip::hideText();
}

TEST_F(LongNamesWindow, GridHintIsInTheStatusBarAndCellsThatDoNotFitEndInAnEllipsis) {
    EXPECT_EQ(grid->toolTip(), "");
    const QModelIndex first = grid->model()->index(0, 0);
    QTest::mouseMove(grid->viewport(), grid->visualRect(first).center());
    QTRY_COMPARE(window->statusBar()->currentMessage(),
                 QString::fromUtf8("右クリックでメニューを表示します"));

    // The name cell as the grid paints it, against the same cell painted with the elided text.
    grid->setColumnWidth(0, 200);
    grid->clearSelection();
    grid->setCurrentIndex(grid->model()->index(5, 1));
    QTest::qWait(20);
    const QRect rect = grid->visualRect(first).adjusted(0, 0, -2, -2);
    const QImage shown =
        grid->viewport()->grab(rect).toImage().convertToFormat(QImage::Format_RGB32);
    QImage expected(rect.size(), QImage::Format_RGB32);
    {
        QPainter painter(&expected);
        painter.setFont(grid->font());
        painter.fillRect(expected.rect(), grid->palette().base());
        painter.setPen(grid->palette().color(QPalette::Text));
        const QFontMetrics metrics(grid->font());
        painter.drawText(QRect(QPoint(), grid->visualRect(first).size()),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         metrics.elidedText(first.data().toString(), Qt::ElideRight,
                                            grid->visualRect(first).width()));
    }
    EXPECT_TRUE(first.data().toString().startsWith(QString::fromStdString(longName)));
    EXPECT_EQ(shown, expected);
}

TEST_F(LongNamesWindow, WheelMovesThePlatformsRowsPerNotchAndPagingKeysMoveTheCurrentRow) {
    QScrollBar* bar = grid->verticalScrollBar();
    ASSERT_EQ(bar->value(), 0);
    const int lines = QApplication::wheelScrollLines();
    const QPointF at = grid->viewport()->rect().center();
    const auto wheel = [&](int delta) {
        QWheelEvent event(at, grid->viewport()->mapToGlobal(at), {}, {0, delta}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &event);
    };
    wheel(-120);
    EXPECT_EQ(bar->value(), lines);
    wheel(-60); // half a notch waits for its other half
    EXPECT_EQ(bar->value(), lines);
    wheel(-60);
    EXPECT_EQ(bar->value(), 2 * lines);
    wheel(120);
    EXPECT_EQ(bar->value(), lines);

    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    const int last = grid->model()->rowCount() - 1;
    const int page = grid->viewport()->height() / grid->rowHeight(0);
    struct Step {
        Qt::Key key;
        int lowest, highest; // where the current row may be
    };
    const Step steps[] = {
        {Qt::Key_PageDown, page - 2, page + 1},
        {Qt::Key_End, last, last},
        {Qt::Key_PageUp, last - page - 1, last - page + 2},
        {Qt::Key_Home, 0, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        QTest::keyClick(grid, step.key);
        const int row = grid->currentIndex().row();
        EXPECT_GE(row, step.lowest);
        EXPECT_LE(row, step.highest);
        const QRect shown = grid->visualRect(grid->currentIndex());
        EXPECT_TRUE(grid->viewport()->rect().intersects(shown)) << "the current row is in view";
        EXPECT_TRUE(grid->selectionModel()->isRowSelected(row, {}));
    }
}

} // namespace
