// The treemap window's logic over the real result views and a synthetic engine: what it shows
// before, during and after a search, hovering, selecting in the tree, descending and going up,
// and laying out again after a delete.
#include "app/main/TMainForm.h"
#include "app/views/FileCommands.h"
#include "app/views/ResultViews.h"
#include "app/views/TTreemapForm.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeMainView.h"
#include "tests/views/FakeResultView.h"
#include "tests/views/FakeTreemapView.h"
#include "tests/views/SyntheticEngine.h"

#include <gtest/gtest.h>

namespace {

using dvo::app::FolderTreeNode;
using dvo::app::TTreemapForm;
namespace Result = dvo::app::MessageResult;

// /data: big.mkv(600), docs[a.pdf(200), b.txt(100)], empty[], zero.bin(0), src[deep[x.cpp(100)]]
struct TreemapFormTest : testing::Test {
    dvo::test::EventLog log;
    dvo::test::FakeMainView mainView{log};
    dvo::test::SyntheticEngine engine;
    dvo::app::TMainForm form{mainView, engine};
    dvo::test::FakeResultView resultView;
    dvo::app::ResultViews results{form, engine, resultView};
    dvo::app::FileCommands files{form, engine, resultView, results};
    dvo::test::FakeTreemapView view;
    TTreemapForm treemap{form, results, view};

    void SetUp() override {
        resultView.results = &results;
        form.SetResultViews(&results);
        mainView.form = &form;
        results.AddWatcher(&treemap);
        form.FormCreate();
        FolderRecord* data = engine.AddSearchedFolder("/data", 1000);
        engine.Add(data, "big.mkv", 1, 600);
        FolderRecord* docs = engine.Add(data, "docs", 0, 300);
        engine.Add(docs, "a.pdf", 1, 200);
        engine.Add(docs, "b.txt", 1, 100);
        engine.Add(data, "empty", 0, 0);
        engine.Add(data, "zero.bin", 1, 0);
        FolderRecord* deep = engine.Add(engine.Add(data, "src", 0, 100), "deep", 0, 100);
        engine.Add(deep, "x.cpp", 1, 100);
    }
    void TearDown() override { results.RemoveWatcher(&treemap); }

    dvo::app::FolderTreeNode* Find(std::string_view caption) const {
        const auto& tree = results.Tree();
        for (dvo::app::FolderTreeNode* n = tree.FirstTopLevel(); n != nullptr;
             n = tree.NextInTreeOrder(n))
            if (n->Caption() == caption)
                return n;
        return nullptr;
    }
    int Entry(std::string_view caption) const {
        const auto& nodes = treemap.Nodes();
        for (std::size_t i = 0; i < nodes.size(); ++i)
            if (nodes[i]->Caption() == caption)
                return static_cast<int>(i);
        return -1;
    }
    // The pixel at the middle of an entry's rectangle.
    std::pair<int, int> Centre(std::string_view caption) const {
        const int i = Entry(caption);
        EXPECT_GE(i, 0) << caption;
        const auto p =
            dvo::app::ToPixels(treemap.Geometry().rects[static_cast<std::size_t>(std::max(i, 0))]);
        return {(p.left + p.right) / 2, (p.top + p.bottom) / 2};
    }
    std::string Root() const {
        const dvo::app::FolderTreeNode* root = treemap.MapRoot();
        return root != nullptr ? std::string(root->Caption()) : "<none>";
    }
    void SelectInTree(std::string_view caption) {
        resultView.current = Find(caption);
        ASSERT_NE(resultView.current, nullptr) << caption;
        results.SearchResultTreeMouseDown();
    }
    double AreaShare(std::string_view caption) const {
        const int i = Entry(caption);
        return i < 0 ? -1
                     : treemap.Geometry().rects[static_cast<std::size_t>(i)].Area() /
                           (view.width * view.height);
    }
};

TEST_F(TreemapFormTest, MenuShowsAndHidesAndTheFrameUnchecksIt) {
    treemap.mnuTreemapClick(true);
    EXPECT_TRUE(view.shown);
    EXPECT_EQ(view.message, std::string(TTreemapForm::kTextBeforeSearch));
    EXPECT_TRUE(view.picture.empty());
    treemap.mnuTreemapClick(false);
    EXPECT_FALSE(view.shown);
    treemap.mnuTreemapClick(true);
    view.menuChecked = true;
    treemap.FormClose();
    EXPECT_FALSE(view.menuChecked);
    EXPECT_FALSE(treemap.Visible());
}

TEST_F(TreemapFormTest, ShowsTheSearchedFolderWithEveryEntryInProportion) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    EXPECT_EQ(Root(), "/data");
    EXPECT_EQ(treemap.Nodes().size(), 10U);
    EXPECT_FALSE(view.message.has_value());
    EXPECT_FALSE(view.upEnabled);
    EXPECT_NEAR(AreaShare("big.mkv"), 0.6, 1e-4);
    EXPECT_NEAR(AreaShare("docs"), 0.3, 1e-4);
    EXPECT_NEAR(AreaShare("a.pdf"), 0.2, 1e-4);
    EXPECT_NEAR(AreaShare("x.cpp"), 0.1, 1e-4);
    EXPECT_EQ(AreaShare("zero.bin"), 0);
    // The video is drawn red, the document blue.
    const auto [vx, vy] = Centre("big.mkv");
    const std::uint32_t video = view.picture[static_cast<std::size_t>(vy * view.width + vx)];
    EXPECT_GT((video >> 16) & 0xff, video & 0xff);
    const auto [dx, dy] = Centre("a.pdf");
    const std::uint32_t document = view.picture[static_cast<std::size_t>(dy * view.width + dx)];
    EXPECT_GT(document & 0xff, (document >> 16) & 0xff);
}

TEST_F(TreemapFormTest, AResizeLaysOutAgainOnlyForANewSize) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    const int maps = view.maps;
    treemap.FormResize();
    EXPECT_EQ(view.maps, maps);
    view.width = 300;
    view.height = 900;
    treemap.FormResize();
    EXPECT_EQ(view.maps, maps + 1);
    EXPECT_EQ(treemap.Geometry().rects[0], (dvo::app::TreemapRect{0, 0, 300, 900}));
    EXPECT_NEAR(AreaShare("big.mkv"), 0.6, 1e-4);
}

TEST_F(TreemapFormTest, NoLayoutWhileAFileOperationMayChangeTheRecords) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    const int maps = view.maps;
    treemap.FileOperationStarted();
    view.width = 300;
    treemap.FormResize(); // the window resized behind the progress dialog
    EXPECT_EQ(view.maps, maps);
    treemap.FileOperationEnded();
    EXPECT_EQ(view.maps, maps + 1);
    EXPECT_EQ(treemap.Geometry().rects[0].Width(), 300);
}

TEST_F(TreemapFormTest, LoadsEntriesTheTreeHasNotLoadedThroughTheEngine) {
    treemap.mnuTreemapClick(true);
    results.LoadFolderRecords();
    results.LoadChildNodes(nullptr); // only the searched folder itself
    ASSERT_EQ(results.Tree().NodeCount(), 1U);
    const int before = engine.enumerations;
    treemap.TreeBuilt();
    EXPECT_EQ(treemap.Nodes().size(), 10U);
    EXPECT_EQ(results.Tree().NodeCount(), 10U); // the tree has them too now
    EXPECT_GT(engine.enumerations, before);
}

TEST_F(TreemapFormTest, ANewSearchClearsTheMapAndShowsNothingUntilItsTreeIsBuilt) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    ASSERT_FALSE(treemap.Nodes().empty());
    results.ClearFolderTree(); // the first step of a search start
    EXPECT_TRUE(treemap.Nodes().empty());
    EXPECT_TRUE(treemap.Geometry().Empty());
    EXPECT_EQ(view.message, std::string());
    treemap.MapMouseMove(10, 10);
    treemap.MapClick(10, 10);
    EXPECT_EQ(view.status, "");
    EXPECT_EQ(treemap.EntryAt(10, 10), -1);
    form.btnExecuteClick();
    EXPECT_EQ(treemap.Nodes().size(), 10U);
}

TEST_F(TreemapFormTest, HoverShowsPathAndSizeText) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    const auto [x, y] = Centre("a.pdf");
    treemap.MapMouseMove(x, y);
    EXPECT_EQ(view.status, "/data/docs/a.pdf  200 B");
    treemap.MapMouseMove(view.width + 5, 3);
    EXPECT_EQ(view.status, "");
}

TEST_F(TreemapFormTest, ClickSelectsTheEntrysFolderInTheTreeAndOutlinesIt) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    const auto [x, y] = Centre("x.cpp");
    treemap.MapClick(x, y);
    ASSERT_NE(results.ShownNode(), nullptr);
    EXPECT_EQ(results.ShownNode()->Caption(), "deep");
    EXPECT_EQ(resultView.CurrentTreeNode(), Find("deep"));
    EXPECT_TRUE(resultView.selectionVisible);
    EXPECT_EQ(results.Grid().rows[0].cells[0], "x.cpp");
    EXPECT_EQ(mainView.status, "フォルダ内容を表示しています");
    EXPECT_EQ(
        view.outline,
        dvo::app::ToPixels(treemap.Geometry().rects[static_cast<std::size_t>(Entry("x.cpp"))]));
    EXPECT_EQ(Root(), "/data"); // the map stays where it is
}

TEST_F(TreemapFormTest, FollowsTheGridsFolderDescendsAndGoesUpNoFurtherThanTheSearchedFolder) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    SelectInTree("docs");
    EXPECT_EQ(Root(), "docs");
    EXPECT_EQ(treemap.Nodes().size(), 3U);
    EXPECT_TRUE(view.upEnabled);
    treemap.btnUpClick();
    EXPECT_EQ(Root(), "/data");

    const auto [x, y] = Centre("x.cpp");
    treemap.MapDblClick(x, y);
    EXPECT_EQ(Root(), "src"); // one level per double click
    const auto [x2, y2] = Centre("x.cpp");
    treemap.MapDblClick(x2, y2);
    EXPECT_EQ(Root(), "deep");
    treemap.FormKeyDown(TTreemapForm::kVirtualKeyBack);
    EXPECT_EQ(Root(), "src");
    treemap.FormKeyDown(TTreemapForm::kVirtualKeyBack);
    treemap.FormKeyDown(TTreemapForm::kVirtualKeyBack);
    EXPECT_EQ(Root(), "/data");
    EXPECT_FALSE(view.upEnabled);
    const auto [fx, fy] = Centre("big.mkv");
    treemap.MapDblClick(fx, fy); // a file: nothing to descend into
    EXPECT_EQ(Root(), "/data");
}

TEST_F(TreemapFormTest, AFolderOfSizeZeroShowsALineInstead) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    SelectInTree("empty");
    EXPECT_EQ(view.message, std::string(TTreemapForm::kTextEmptyFolder));
    EXPECT_TRUE(treemap.Geometry().Empty());
    EXPECT_TRUE(view.upEnabled);
}

TEST_F(TreemapFormTest, ADeleteInTheGridLaysTheMapOutAgain) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    SelectInTree("/data");
    int row = 0;
    for (int i = 0; i < results.ShownRowCount(); ++i)
        if (results.Grid().rows[static_cast<std::size_t>(i)].cells[0] == "big.mkv")
            row = i + 1;
    ASSERT_GT(row, 0);
    results.ToggleRowMark(row);
    const int maps = view.maps;
    mainView.messageBoxAnswers = {Result::Yes};
    files.mnuDeleteClick();
    EXPECT_GT(view.maps, maps);
    EXPECT_EQ(Entry("big.mkv"), -1);
    EXPECT_EQ(treemap.Nodes().size(), 9U);
    EXPECT_NEAR(AreaShare("docs"), 0.75, 1e-4); // 300 of the 400 left
}

TEST_F(TreemapFormTest, AMapRootThatWasMovedAwayFallsBackToItsFolder) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    const auto [x, y] = Centre("x.cpp");
    treemap.MapDblClick(x, y); // map: src
    SelectInTree("/data");     // grid: /data, map follows
    treemap.MapDblClick(x, y); // map: src again, grid still /data
    ASSERT_EQ(Root(), "src");
    int row = 0;
    for (int i = 0; i < results.ShownRowCount(); ++i)
        if (results.Grid().rows[static_cast<std::size_t>(i)].cells[0] == "src")
            row = i + 1;
    ASSERT_GT(row, 0);
    results.ToggleRowMark(row);
    resultView.destinationAnswers = {std::string("/elsewhere")};
    files.mnuMoveClick();
    EXPECT_EQ(Root(), "/data");
    EXPECT_EQ(Entry("x.cpp"), -1);
}

TEST_F(TreemapFormTest, AKindChosenInTheKindsWindowIsOutlinedThroughLayouts) {
    treemap.mnuTreemapClick(true);
    form.btnExecuteClick();
    const std::u16string pdf = u"pdf";
    treemap.OutlineKind(&pdf);
    const auto rectOf = [&](std::string_view caption) {
        return dvo::app::ToPixels(
            treemap.Geometry().rects[static_cast<std::size_t>(Entry(caption))]);
    };
    EXPECT_EQ(view.kindOutlines, std::vector<dvo::app::TreemapPixelRect>{rectOf("a.pdf")});
    // A new size lays the map out again, and the kind stays outlined at its new place.
    view.width = 400;
    treemap.FormResize();
    EXPECT_EQ(view.kindOutlines, std::vector<dvo::app::TreemapPixelRect>{rectOf("a.pdf")});
    // Entries without an extension form a kind too; folders never belong to one.
    const std::u16string none;
    treemap.OutlineKind(&none);
    EXPECT_TRUE(view.kindOutlines.empty()); // no file here lacks one
    treemap.OutlineKind(nullptr);
    EXPECT_TRUE(view.kindOutlines.empty());
}

} // namespace
