// The real window over the real engine: choose a small folder, click "実行", and read the
// counters the user would see when the search has ended.
#include "app/main/DvoSubEngine.h"
#include "app/qt/QtMainView.h"
#include "platform/Text.h"
#include "tests/app/QtTestApplication.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
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
    EXPECT_EQ(top.data().toString(), QString::fromUtf8("対象")); // the engine names it by its base name
    EXPECT_TRUE(tree->isExpanded(top));
    QStringList children;
    for (int i = 0; i < tree->model()->rowCount(top); ++i)
        children << tree->model()->index(i, 0, top).data().toString();
    EXPECT_EQ(children, (QStringList{"sub1", "sub2", "a.txt"}));
    fs::remove_all(root.parent_path());
}

} // namespace
