// The progress dialog of copies and moves, and the help items' helper, through real widgets.
#include "app/qt/QtMainView.h"
#include "app/qt/QtTransferDialog.h"
#include "tests/app/QtTestApplication.h"
#include "tests/support/FileTree.h"
#include "tests/support/ScopedEnv.h"
#include "tests/views/SyntheticEngine.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using dvo::qt::QtTransferDialog;

// Waits, handling events, until the condition holds or a few seconds have passed.
template <typename Condition> bool WaitFor(Condition condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 5000)
        QTest::qWait(10);
    return condition();
}

TEST(TransferDialogWindowTest, DialogBlocksTheWindowShowsReportsAndCancels) {
    dvo::test::TestApplication();
    QWidget window;
    window.show();
    int ticks = 0; // the window's own events go on while the work runs
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    std::atomic<bool> cancelSeen{false};
    bool stillShownWhileWinding = false;
    QString shownText;
    bool modal = false;
    QTimer::singleShot(QtTransferDialog::kShowAfterMs + 250, [&] {
        auto* dialog = qobject_cast<QtTransferDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        modal = dialog->windowModality() == Qt::ApplicationModal && dialog->isVisible();
        shownText = dialog->Text();
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        // The work takes its time to wind down: the dialog waits for it.
        QTimer::singleShot(100, [&, dialog] {
            stillShownWhileWinding =
                QApplication::activeModalWidget() == dialog && dialog->isVisible();
        });
    });
    const auto started = std::chrono::steady_clock::now();
    const int result = QtTransferDialog::Run(
        &window, QStringLiteral("コピー中"), [&](dvo::app::ProgressSink& sink) {
            for (int i = 0; std::chrono::steady_clock::now() - started < std::chrono::seconds(10);
                 ++i) {
                if (!sink.Report(i % 1000, "big.iso\n" + std::to_string(i) + " B / 1000 B")) {
                    cancelSeen = true;
                    std::this_thread::sleep_for(
                        std::chrono::milliseconds(300)); // removes its partial copy
                    return DVO_E_CANCELLED;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            return DVO_OK;
        });
    EXPECT_EQ(result, DVO_E_CANCELLED);
    EXPECT_TRUE(cancelSeen);
    EXPECT_TRUE(modal);
    EXPECT_TRUE(shownText.startsWith(QStringLiteral("big.iso\n"))) << shownText.toStdString();
    EXPECT_TRUE(stillShownWhileWinding);
    EXPECT_GT(ticks, 20);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The help items run xdg-open: its complaint shows in a box, and a helper that ends after the
// window has gone touches nothing.
class HelpHelperWindowTest : public testing::Test {
protected:
    testing_support::TempFolder tmp;
    std::string bin = tmp / "bin";
    ScopedEnv path{"PATH", bin.c_str()};
    dvo::test::SyntheticEngine engine;

    void SetUp() override {
        dvo::test::TestApplication();
        ::mkdir(bin.c_str(), 0755);
    }
    void FakeXdgOpen(const std::string& body) {
        testing_support::WriteFile(bin + "/xdg-open", "#!/bin/sh\n" + body + "\n", 0755);
    }
};

TEST_F(HelpHelperWindowTest, FailureShowsTheReason) {
    FakeXdgOpen("echo \"xdg-open: no method available for opening '$1'\" >&2; exit 3");
    dvo::qt::QtMainView window(engine);
    window.show();
    std::string shown;
    // The box is modal: it is read and closed from inside its own loop.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text().toStdString();
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(10);
    window.Form().N5Click();
    ASSERT_TRUE(WaitFor([&] { return !shown.empty(); }));
    EXPECT_EQ(shown,
              "開けません: https://www.lumetra.example/dvo.html\n"
              "xdg-open: no method available for opening 'https://www.lumetra.example/dvo.html'");
}

TEST_F(HelpHelperWindowTest, HelperEndingAfterTheWindowIsGoneTouchesNothing) {
    FakeXdgOpen("/bin/sleep 0.3; echo late >&2; exit 1");
    {
        dvo::qt::QtMainView window(engine);
        window.Form().N5Click();
    }
    QTest::qWait(800); // the helper ends and its reaper posts into a closed mailbox
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
