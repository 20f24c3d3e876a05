// "サイズの数え方" over the real engine and a real tree: a sparse file is large by its size and
// takes no disk space, so the switch turns the order of the tree, the grid's figures, the
// counter labels and the treemap round without a new search.
#include "app/main/DvoSubEngine.h"
#include "app/views/TTreemapForm.h"
#include "tests/support/TempDir.h"
#include "tests/views/FakeTreemapView.h"
#include "tests/views/WindowHarness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using dvo::app::MainLabel;
using dvo::app::SizeCount;

struct EngineSizeCountTest : testing::Test, dvo::test::WindowHarness<dvo::app::DvoSubEngine> {
    dvo::test::TempDir t;
    dvo::test::FakeTreemapView mapView;
    dvo::app::TTreemapForm treemap{form, results, mapView};

    void SetUp() override {
        Wire();
        results.AddWatcher(&treemap);
    }
    void TearDown() override {
        results.RemoveWatcher(&treemap);
        form.FormDestroy();
    }
    static void Write(const std::string& path, std::size_t bytes) {
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ::fsync(fd); // its blocks are allocated now
        ::close(fd);
    }
};

TEST_F(EngineSizeCountTest, SwitchReordersAndRefillsEverythingWithoutSearching) {
    std::filesystem::create_directories(t / "top/sparse");
    std::filesystem::create_directories(t / "top/dense");
    { std::ofstream create(t / "top/sparse/hole.img"); }
    std::filesystem::resize_file(t / "top/sparse/hole.img", 64 << 20); // a hole, no blocks
    Write(t / "top/dense/a.bin", 200000);
    Write(t / "top/dense/b.bin", 100000);
    mainView.folderAnswers = {t / "top"};
    form.btnAddDirectoryClick();
    form.btnExecuteClick();
    ASSERT_EQ(mainView.status, "検索を終了しました");
    Select("top");
    treemap.mnuTreemapClick(true);
    ASSERT_EQ(Column(0), "sparse,dense"); // size, largest first
    const std::string apparentLabel = mainView.labels[MainLabel::FolderSize];
    const std::string apparentSizes = Column(2);
    const int mapsBefore = mapView.maps;
    const std::vector<std::uint32_t> apparentMap = mapView.picture;
    results.ToggleRowMark(2); // "dense"
    const long long denseBytes = results.MarkedSize();

    form.mnuSizeDiskClick();
    EXPECT_EQ(mainView.sizeCount, SizeCount::DiskUsage);
    EXPECT_EQ(engine.DVOGetSizeMode(), DVO_SIZE_DISK);
    EXPECT_EQ(Column(0), "dense,sparse");
    EXPECT_NE(Column(2), apparentSizes);
    EXPECT_NE(mainView.labels[MainLabel::FolderSize], apparentLabel);
    EXPECT_GT(mapView.maps, mapsBefore);
    EXPECT_NE(mapView.picture, apparentMap);
    EXPECT_EQ(form.CursorCount(), 0);
    // The mark stays on its entry, now the first row, and counts the entry's new figure.
    EXPECT_TRUE(results.RowMarked(1));
    EXPECT_FALSE(results.RowMarked(2));
    EXPECT_EQ(results.MarkedCount(), 1);
    EXPECT_NE(results.MarkedSize(), denseBytes);

    // A new search keeps the count; back to file sizes gives the first picture again.
    form.btnExecuteClick();
    Select("top");
    EXPECT_EQ(Column(0), "dense,sparse");
    form.mnuSizeFileClick();
    EXPECT_EQ(Column(0), "sparse,dense");
    EXPECT_EQ(Column(2), apparentSizes);
    EXPECT_EQ(mainView.labels[MainLabel::FolderSize], apparentLabel);
    EXPECT_EQ(mapView.picture, apparentMap);
}

} // namespace
