// The tree-wide commands through the real window: their shortcuts reach the handlers, and the
// checkable "ファイル数表示" flips once per choice.
#include "app/qt/QtMainView.h"
#include "tests/app/QtTestApplication.h"
#include "tests/views/SyntheticEngine.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QTest>

namespace {

struct TreeCommandsWindowTest : testing::Test {
    void SetUp() override {
        dvo::test::TestApplication();
        window = std::make_unique<dvo::qt::QtMainView>(engine);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void Alt(Qt::Key key) { QTest::keyClick(window.get(), key, Qt::AltModifier); }
    QString Status() const {
        return window->findChild<QLabel*>(QStringLiteral("pnlStatus"))->text();
    }

    dvo::test::SyntheticEngine engine;
    std::unique_ptr<dvo::qt::QtMainView> window;
};

TEST_F(TreeCommandsWindowTest, ShortcutsRunTheCommands) {
    Alt(Qt::Key_X);
    EXPECT_EQ(Status(), QString::fromUtf8("フォルダの展開を完了しました"));
    Alt(Qt::Key_A);
    EXPECT_EQ(Status(), QString::fromUtf8("フォルダを収容しました"));
    // "詳細情報" does nothing at all.
    Alt(Qt::Key_D);
    EXPECT_EQ(Status(), QString::fromUtf8("フォルダを収容しました"));
}

TEST_F(TreeCommandsWindowTest, FileCountItemFlipsOncePerChoice) {
    auto* item = window->findChild<QAction*>(QStringLiteral("mnuShowNumberOfFiles"));
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isChecked());
    Alt(Qt::Key_N);
    EXPECT_TRUE(item->isChecked());
    Alt(Qt::Key_N);
    EXPECT_FALSE(item->isChecked());
}

} // namespace
