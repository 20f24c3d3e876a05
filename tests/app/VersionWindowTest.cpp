// The version window on screen, driven through the main window's hidden menu item.
#include "app/qt/QtMainView.h"
#include "app/qt/QtVersionWindow.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeEngine.h"
#include "tests/app/QtTestApplication.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

namespace {

using namespace dvo::test;

TEST(VersionWindowTest, HiddenMenuItemShowsTheFittedWindowAndItsButtonEmptiesIt) {
    TestApplication();
    EventLog log;
    FakeEngine engine{log};
    dvo::qt::QtMainView window(engine);
    dvo::qt::QtVersionWindow versionWindow(&window.Log());
    window.Form().SetVersionWindow(&versionWindow.Form());
    auto* memo = versionWindow.findChild<QTextEdit*>(QStringLiteral("Memo11"));
    auto* button = versionWindow.findChild<QPushButton*>(QStringLiteral("CloseButton"));
    ASSERT_NE(memo, nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(versionWindow.isVisible());

    auto* item = window.findChild<QAction*>(QStringLiteral("mnuVersion"));
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isVisible());
    EXPECT_TRUE(item->shortcut().isEmpty());
    item->trigger();

    EXPECT_TRUE(versionWindow.isVisible());
    EXPECT_EQ(versionWindow.windowTitle(), QString::fromUtf8("バージョン情報"));
    EXPECT_EQ(memo->toPlainText(),
              QString::fromUtf8("<<ドルミナ>>\nVersion 1.0.1\nhttps://www.lumetra.example/"));
    EXPECT_EQ(versionWindow.size(), QSize(288, 161));
    EXPECT_EQ(memo->geometry(), QRect(16, 24, 248, 64));
    EXPECT_EQ(button->geometry(), QRect(191, 96, 73, 25));
    // Activation is up to the window system; where it happens, the button has the focus.
    if (QTest::qWaitForWindowActive(&versionWindow)) {
        EXPECT_TRUE(button->hasFocus());
    }

    // A line is text, never markup.
    const std::string line = "<img src=\"/nonexistent\"><b>bold</b>";
    versionWindow.Form().SetText(line);
    EXPECT_TRUE(memo->toPlainText().endsWith(QString::fromStdString("\n" + line)));

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(versionWindow.isVisible());
    EXPECT_TRUE(memo->toPlainText().isEmpty());
}

} // namespace
