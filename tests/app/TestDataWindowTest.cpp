// The diagnostics window on screen: created hidden with the main window, its initial texts, and
// the list button appending below what the text area holds.
#include "app/qt/QtMainView.h"
#include "app/qt/QtTestDataWindow.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeEngine.h"
#include "tests/app/QtTestApplication.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

using namespace dvo::test;

QString Memo(QWidget& window) {
    auto* memo = window.findChild<QPlainTextEdit*>(QStringLiteral("DataCheck"));
    return memo == nullptr ? QStringLiteral("<none>") : memo->toPlainText();
}

void ClickList(QWidget& window) {
    auto* button = window.findChild<QPushButton*>(QStringLiteral("ListButton"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("一覧表示"));
    QTest::mouseClick(button, Qt::LeftButton);
}

TEST(TestDataWindowTest, CreatedHiddenWithTheMainWindowAndEmptyBeforeAnySearch) {
    TestApplication();
    EventLog log;
    FakeEngine engine{log};
    dvo::qt::QtMainView window(engine);
    dvo::qt::QtTestDataWindow& data = window.TestData();

    EXPECT_TRUE(data.isHidden());
    EXPECT_TRUE(data.isWindow());
    EXPECT_EQ(data.windowTitle(), QStringLiteral("TestData"));
    for (const char* name : {"lblSearchStart", "lblSearchEnd", "lblSearchDuration", "lblShowStart",
                             "lblShowEnd", "lblShowDuration", "lblTotalDuration"}) {
        auto* label = data.findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), QStringLiteral("00:00")) << name;
    }
    ClickList(data);
    EXPECT_EQ(Memo(data), QStringLiteral("DataCheck"));
}

TEST(TestDataWindowTest, ListButtonAppendsTheRecordsAgainAtEachClick) {
    TestApplication();
    FolderRecord records[2]{};
    std::u16string_view first = u"データ";
    std::copy(first.begin(), first.end(), records[0].name);
    records[0].size = 1536;
    records[1].name[0] = u'b';
    records[1].kind = 1;
    records[1].depth = 1;
    records[1].size = 7;
    FolderRecord* list[] = {&records[0], &records[1]};
    dvo::qt::QtTestDataWindow data([&] { return std::span<FolderRecord* const>(list); });

    ClickList(data);
    ClickList(data);
    EXPECT_EQ(Memo(data), QStringLiteral("DataCheck\nデータ T:0 L:0 Sz:1536\nb T:1 L:1 Sz:7\n"
                                         "データ T:0 L:0 Sz:1536\nb T:1 L:1 Sz:7"));
    EXPECT_TRUE(data.isHidden());
}

} // namespace
