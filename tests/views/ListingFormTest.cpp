// The three listing windows' logic over the real result views, a synthetic engine and scripted
// listings: their rows, what a click and a double click do, and how they follow the result.
#include "app/views/EngineListingSource.h"
#include "app/views/FileExtension.h"
#include "app/views/TListingForm.h"
#include "app/views/TreemapKinds.h"
#include "tests/views/FakeListing.h"
#include "tests/views/SyntheticEngine.h"
#include "tests/views/WindowHarness.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using dvo::app::ListingKind;
using dvo::app::TListingForm;

// /data: big.iso(900), photos[a.JPG(300), b.jpg(200)], notes(50), deep[er[x.tar.gz(120)]]
struct ListingFormTest : dvo::test::WindowHarness<dvo::test::SyntheticEngine>, testing::Test {
    dvo::test::FakeListingSource source;
    dvo::test::FakeListingView largestView, typesView, yearsView;
    TListingForm largest{ListingKind::LargestFiles, form, results, source, largestView};
    TListingForm types{ListingKind::Types, form, results, source, typesView};
    TListingForm years{ListingKind::Years, form, results, source, yearsView};
    FolderRecord* iso = nullptr;
    FolderRecord* jpgUpper = nullptr;
    FolderRecord* tarGz = nullptr;

    void SetUp() override {
        Wire();
        for (auto* f : {&largest, &types, &years})
            results.AddWatcher(f);
        FolderRecord* data = engine.AddSearchedFolder("/data", 1570);
        iso = engine.Add(data, "big.iso", 1, 900);
        FolderRecord* photos = engine.Add(data, "photos", 0, 500);
        jpgUpper = engine.Add(photos, "a.JPG", 1, 300);
        engine.Add(photos, "b.jpg", 1, 200)->modifiedTime.wYear = 2019;
        engine.Add(data, "notes", 1, 50);
        FolderRecord* er = engine.Add(engine.Add(data, "deep", 0, 120), "er", 0, 120);
        tarGz = engine.Add(er, "x.tar.gz", 1, 120);
        source.largest = {iso, jpgUpper, tarGz};
        source.types = {{u"iso", 900, 1}, {u"jpg", 500, 2}, {u"gz", 120, 1}, {u"", 50, 1}};
        source.years = {{u"", 0, 0}, {u"2019", 200, 1}, {u"2026", 1370, 4}};
    }
    void TearDown() override {
        for (auto* f : {&largest, &types, &years})
            results.RemoveWatcher(f);
    }
    static std::vector<std::string> Row(const TListingForm& f, int row) {
        std::vector<std::string> cells;
        for (int c = 0; c < TListingForm::kColumnCount; ++c)
            cells.push_back(f.CellText(row, c));
        return cells;
    }
};

using Cells = std::vector<std::string>;

TEST_F(ListingFormTest, TheLargestFilesAreRankedWithTheirFiguresAndPaths) {
    largest.mnuListingClick();
    EXPECT_TRUE(largestView.shown);
    EXPECT_EQ(largestView.summary, TListingForm::kTextBeforeSearch);
    EXPECT_EQ(largest.RowCount(), 0);
    EXPECT_EQ(source.calls, 0); // nothing to list before a result

    form.btnExecuteClick();
    EXPECT_EQ(source.askedCount, 1000);
    ASSERT_EQ(largest.RowCount(), 3);
    EXPECT_EQ(Row(largest, 0), (Cells{"1", "900 B", "2026/12/09 21:35", "/data/big.iso"}));
    EXPECT_EQ(Row(largest, 1), (Cells{"2", "300 B", "2026/12/09 21:35", "/data/photos/a.JPG"}));
    EXPECT_EQ(Row(largest, 2), (Cells{"3", "120 B", "2026/12/09 21:35", "/data/deep/er/x.tar.gz"}));
    EXPECT_EQ(largestView.summary, "大きい順に 3 件");
    EXPECT_STREQ(largest.ColumnTitle(3), "パス");
    EXPECT_TRUE(largest.RightAligned(1));
    EXPECT_FALSE(largest.RightAligned(3));
    EXPECT_FALSE(largest.BarLength(0).has_value());
    EXPECT_FALSE(largest.RowColour(0).has_value());
}

TEST_F(ListingFormTest, ADoubleClickSelectsTheFolderInTheTreeAndTheEntryInTheGrid) {
    form.btnExecuteClick();
    largest.mnuListingClick();
    struct Case {
        int row;
        const char* folder;
        const char* entry;
    } cases[] = {{2, "er", "x.tar.gz"}, {1, "photos", "a.JPG"}, {0, "/data", "big.iso"}};
    for (const Case& c : cases) {
        view.currentRow = 0;
        largest.lsListingDblClick(c.row);
        ASSERT_NE(results.ShownNode(), nullptr) << c.entry;
        EXPECT_EQ(results.ShownNode()->Caption().substr(0, std::strlen(c.folder)), c.folder)
            << c.entry;
        EXPECT_EQ(view.CurrentTreeNode(), results.ShownNode()) << c.entry;
        ASSERT_GE(view.currentRow, 1) << c.entry;
        const FolderRecord* record = results.Grid().DataRow(view.currentRow).record;
        ASSERT_NE(record, nullptr) << c.entry;
        EXPECT_EQ(platform::Utf16ToUtf8(record->name), c.entry);
    }
    largest.lsListingDblClick(3); // past the end: nothing
    largest.lsListingDblClick(-1);
}

TEST_F(ListingFormTest, KindsAndYearsShowTheirSharesColoursAndBars) {
    form.btnExecuteClick();
    types.mnuListingClick();
    years.mnuListingClick();
    ASSERT_EQ(types.RowCount(), 4);
    EXPECT_EQ(Row(types, 0), (Cells{"iso", "1", "900 B", "57.3%"}));
    EXPECT_EQ(Row(types, 1), (Cells{"jpg", "2", "500 B", "31.8%"}));
    EXPECT_EQ(Row(types, 3), (Cells{"（なし）", "1", "50 B", "3.2%"}));
    EXPECT_EQ(typesView.summary, "4 種類　合計 1570 B");
    using dvo::app::FileGroup;
    using dvo::app::FileGroupColour;
    EXPECT_EQ(types.RowColour(0), FileGroupColour(FileGroup::Archive));
    EXPECT_EQ(types.RowColour(1), FileGroupColour(FileGroup::Image));
    EXPECT_EQ(types.RowColour(3), FileGroupColour(FileGroup::Other));
    EXPECT_FALSE(types.BarLength(0).has_value());

    ASSERT_EQ(years.RowCount(), 3);
    EXPECT_EQ(Row(years, 0), (Cells{"不明", "0", "0 B", "0.0%"}));
    EXPECT_EQ(Row(years, 2), (Cells{"2026", "4", "1370 B", "87.3%"}));
    EXPECT_EQ(years.BarColumn(), 3);
    EXPECT_DOUBLE_EQ(*years.BarLength(2), 1.0); // the largest year fills the column
    EXPECT_NEAR(*years.BarLength(1), 200.0 / 1370, 1e-12);
    EXPECT_DOUBLE_EQ(*years.BarLength(0), 0.0);
}

TEST_F(ListingFormTest, AClickOnAKindTellsTheTreemapAndANewListClearsIt) {
    std::vector<std::string> told;
    types.SetKindChosen([&](const std::u16string* ext) {
        told.push_back(ext != nullptr ? "[" + platform::Utf16ToUtf8(*ext) + "]" : "none");
    });
    form.btnExecuteClick();
    types.mnuListingClick();
    told.clear();
    types.lsListingClick(1);
    types.lsListingClick(3);
    types.lsListingClick(9);
    EXPECT_EQ(told, (std::vector<std::string>{"[jpg]", "[]", "none"}));
    told.clear();
    form.btnExecuteClick(); // the rows go at its start, and come back at its end, unselected
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told, std::vector<std::string>(told.size(), "none"));
    const std::size_t before = told.size();
    largest.lsListingClick(0); // only kinds are outlined
    EXPECT_EQ(told.size(), before);
}

TEST_F(ListingFormTest, TheWindowsFollowSearchesTheSizeCountAndFileOperations) {
    form.btnExecuteClick();
    // Hidden windows ask the engine nothing; showing one fills it once.
    EXPECT_EQ(source.calls, 0);
    largest.mnuListingClick();
    EXPECT_EQ(source.calls, 1);
    EXPECT_TRUE(largest.Current());

    // Another folder in the grid is no reason to list again; a switch of the count is, once.
    Select("photos");
    EXPECT_EQ(source.calls, 1);
    source.largest = {iso, tarGz};
    results.SizeCountChanged();
    EXPECT_EQ(source.calls, 2);
    EXPECT_EQ(largest.RowCount(), 2);

    // During a file operation the records may change on another thread: nothing is read until
    // it has ended, then the list follows.
    results.FileOperationStarting();
    results.ShowFolderContents(results.ShownNode());
    EXPECT_EQ(source.calls, 2);
    source.largest = {iso};
    results.FileOperationEnded(true, nullptr);
    EXPECT_EQ(source.calls, 3);
    EXPECT_EQ(largest.RowCount(), 1);

    // A new search empties the list at once (its records go) and fills it at the end.
    largest.TreeCleared();
    EXPECT_EQ(largest.RowCount(), 0);
    EXPECT_EQ(largestView.summary, TListingForm::kTextSearching);
    form.btnExecuteClick();
    EXPECT_EQ(largest.RowCount(), 1);
    EXPECT_EQ(source.calls, 4);

    // A closed window is filled again only when shown again, and only if something changed.
    largest.FormClose();
    form.btnExecuteClick();
    EXPECT_EQ(source.calls, 4);
    largest.mnuListingClick();
    EXPECT_EQ(source.calls, 5);
    largest.mnuListingClick();
    EXPECT_EQ(source.calls, 5);
}

TEST_F(ListingFormTest, AListingTheEngineRefusesSaysWhyAndListsNothing) {
    form.btnExecuteClick();
    source.failure = DVO_E_NO_OBJECT;
    for (auto* f : {&largest, &types, &years}) {
        f->mnuListingClick();
        EXPECT_EQ(f->RowCount(), 0) << f->Title();
    }
    EXPECT_EQ(largestView.summary.rfind("一覧を作れませんでした: ", 0), 0U) << largestView.summary;
    EXPECT_NE(yearsView.summary.find(std::to_string(DVO_E_NO_OBJECT)), std::string::npos)
        << yearsView.summary;
}

TEST_F(ListingFormTest, TheProgramsSourceHandsOnTheEnginesListings) {
    dvo::app::EngineListingSource engineSource(engine);
    std::vector<FolderRecord*> files{nullptr};
    EXPECT_EQ(engineSource.LargestFiles(files, 2), 2);
    EXPECT_EQ(files, (std::vector<FolderRecord*>{iso, jpgUpper}));
    EXPECT_EQ(engineSource.LargestFiles(files, 0), 0);
    EXPECT_TRUE(files.empty());

    std::vector<dvo::app::ListingGroup> groups{{u"stale", 1, 1}};
    EXPECT_EQ(engineSource.TypeTotals(groups), 4);
    std::vector<std::string> seen;
    for (const auto& g : groups)
        seen.push_back(platform::Utf16ToUtf8(g.name) + "=" + std::to_string(g.bytes) + "/" +
                       std::to_string(g.count));
    EXPECT_EQ(seen, (std::vector<std::string>{"iso=900/1", "jpg=500/2", "gz=120/1", "=50/1"}));
    EXPECT_EQ(engineSource.YearTotals(groups), 2);
    ASSERT_EQ(groups.size(), 2U);
    EXPECT_EQ(groups[0].name, u"2019");
}

TEST(ListingExtension, FollowsTheLastDotThatIsNeitherFirstNorLast) {
    const struct {
        std::u16string name;
        std::u16string extension;
    } cases[] = {
        {u"a.JPG", u"jpg"},
        {u"b.jpg", u"jpg"},
        {u"x.tar.GZ", u"gz"},
        {u".profile", u""},
        {u"notes", u""},
        {u"x.", u""},
        {u"..", u""},
        {u".a.B", u"b"},
        {u"a.Ä", u"Ä"}, // ASCII only
        {u"a.\xDC80", u"\xDC80"},
        {u"Makefile.AM", u"am"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dvo::app::ListingExtension(c.name), c.extension) << platform::Utf16ToUtf8(c.name);
}

} // namespace
