// Sorting, switching the size count and expanding all through the real window: the folders the
// user expanded, the current node and its selection and the scroll position stay, both with a few
// folders expanded and with over a thousand (the model moves every persistent index the view
// holds).
#include "app/qt/FolderTreeModel.h"
#include "app/qt/QtMainView.h"
#include "tests/app/QtTestApplication.h"
#include "tests/views/SyntheticEngine.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <filesystem>
#include <set>
#include <string>

namespace {

using dvo::qt::FolderTreeModel;

struct TreeSortWindowTest : testing::TestWithParam<int> {
    // A searched folder with `folders` subfolders, each holding one folder and one file; sizes
    // make the size orders and the name orders differ.
    void Build(int folders, bool waitForTree = true) {
        dvo::test::TestApplication();
        // The window checks the chosen folder on disk; the engine makes up what is inside.
        const std::string folder = std::filesystem::temp_directory_path().string();
        FolderRecord* top = engine.AddSearchedFolder(folder, 0);
        for (int i = 0; i < folders; ++i) {
            FolderRecord* f = engine.Add(top, "f" + std::to_string(1000 + i), 0, 10 + (i * 7) % 13);
            engine.Add(f, "inner", 0, 1);
            engine.Add(f, "file", 1, 2);
        }
        window = std::make_unique<dvo::qt::QtMainView>(engine);
        window->SetFolderChooser(
            [folder](const std::string&, const std::string&) { return folder; });
        window->Form().btnAddDirectoryClick();
        window->show();
        window->Form().btnExecuteClick();
        if (waitForTree)
            dvo::test::RunSlicesToTheEnd();
        tree = window->findChild<QTreeView*>(QStringLiteral("SearchResultTree"));
        ASSERT_NE(tree, nullptr);
    }
    [[nodiscard]] QModelIndex TopNode() const { return tree->model()->index(0, 0); }
    [[nodiscard]] static std::string Caption(const QModelIndex& index) {
        const dvo::app::FolderTreeNode* node = FolderTreeModel::NodeOf(index);
        return node != nullptr ? std::string(node->Caption()) : "(none)";
    }
    [[nodiscard]] std::set<std::string> ExpandedBelowTop() const {
        std::set<std::string> out;
        const QModelIndex top = TopNode();
        for (int r = 0; r < tree->model()->rowCount(top); ++r)
            if (const QModelIndex child = tree->model()->index(r, 0, top); tree->isExpanded(child))
                out.insert(Caption(child));
        return out;
    }
    void Trigger(const char* action) {
        window->findChild<QAction*>(QString::fromLatin1(action))->trigger();
        QCoreApplication::processEvents();
        dvo::test::RunSlicesToTheEnd(); // a sort ends after the widget's relayout
    }

    dvo::test::SyntheticEngine engine{8192};
    std::unique_ptr<dvo::qt::QtMainView> window;
    QTreeView* tree = nullptr;
};

TEST_P(TreeSortWindowTest, ExpansionSelectionAndPlaceSurviveASort) {
    const int expand = GetParam();
    Build(1200);
    const QModelIndex top = TopNode();
    ASSERT_TRUE(tree->isExpanded(top)); // the search expands the searched folder
    ASSERT_EQ(tree->model()->rowCount(top), 1200);
    // The first subfolders expanded, as a user would.
    for (int r = 0; r < expand; ++r)
        tree->expand(tree->model()->index(r, 0, top));
    const std::set<std::string> expanded = ExpandedBelowTop();
    ASSERT_EQ(expanded.size(), static_cast<std::size_t>(expand));
    const QModelIndex chosen = tree->model()->index(7, 0, top);
    const std::string chosenCaption = Caption(chosen);
    tree->selectionModel()->setCurrentIndex(chosen, QItemSelectionModel::ClearAndSelect);
    tree->scrollTo(tree->model()->index(40, 0, top), QAbstractItemView::PositionAtTop);
    const int scrolled = tree->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);

    // The sorts, and a switch of the size count: under a size order it sorts the tree again,
    // under a name order it leaves the tree as it is (the view lays nothing out again).
    const struct {
        const char* action;
        bool reorders;
    } steps[] = {{"mnuAlpha", true},
                 {"mnuSortSizeUp", true},
                 {"mnuSizeDisk", true},
                 {"mnuAlphaDown", true},
                 {"mnuSizeFile", false}};
    for (const auto& [order, reorders] : steps) {
        SCOPED_TRACE(order);
        QSignalSpy layouts(tree->model(), &QAbstractItemModel::layoutAboutToBeChanged);
        QSignalSpy resets(tree->model(), &QAbstractItemModel::modelAboutToBeReset);
        Trigger(order);
        EXPECT_EQ(layouts.count(), reorders ? 1 : 0);
        EXPECT_EQ(resets.count(), 0);
        EXPECT_TRUE(tree->isExpanded(TopNode()));
        EXPECT_EQ(ExpandedBelowTop(), expanded);
        ASSERT_TRUE(tree->currentIndex().isValid());
        EXPECT_EQ(Caption(tree->currentIndex()), chosenCaption);
        EXPECT_TRUE(tree->selectionModel()->isSelected(tree->currentIndex()));
        EXPECT_EQ(tree->verticalScrollBar()->value(), scrolled);
    }
    // The name order really was applied.
    Trigger("mnuAlpha");
    EXPECT_EQ(Caption(tree->model()->index(0, 0, TopNode())), "f1000");
    EXPECT_EQ(Caption(tree->model()->index(1199, 0, TopNode())), "f2199");
}

// A handful of expanded folders, and over a thousand.
INSTANTIATE_TEST_SUITE_P(FewAndMany, TreeSortWindowTest, testing::Values(5, 1100));

TEST_F(TreeSortWindowTest, ExpandAllExpandsEveryFolderAndKeepsTheCurrentNode) {
    Build(300); // under the count above which the window asks first
    const QModelIndex chosen = tree->model()->index(3, 0, TopNode());
    const std::string chosenCaption = Caption(chosen);
    tree->selectionModel()->setCurrentIndex(chosen, QItemSelectionModel::ClearAndSelect);
    Trigger("N3");
    EXPECT_EQ(ExpandedBelowTop().size(), 300u);
    EXPECT_EQ(Caption(tree->currentIndex()), chosenCaption);
    Trigger("N4");
    EXPECT_TRUE(ExpandedBelowTop().empty());
}

// A million shown rows take the view a tenth of a second to lay out anew: the tree is laid out
// once for each change, not in the event that made it, not even when the window repaints at once
// (as the cursor's pop does), and a sort keeps its busy cursor and its status text till then.
TEST_F(TreeSortWindowTest, TheTreeIsLaidOutAnewOnceInAnEventOfItsOwn) {
    Build(300);
    for (int r = 0; r < 20; ++r)
        tree->expand(tree->model()->index(r, 0, TopNode()));
    auto* view = dynamic_cast<dvo::qt::FolderTreeView*>(tree);
    ASSERT_NE(view, nullptr);
    auto* status = window->findChild<QLabel*>(QStringLiteral("pnlStatus"));
    ASSERT_NE(status, nullptr);
    const QString sorting = QStringLiteral("フォルダツリーをソートしています...");
    // The size count's switch re-sorts under a size order, with the busy cursor too.
    const struct {
        const char* action;
        bool sort;
        bool busy;
    } steps[] = {{"mnuAlpha", true, true},
                 {"mnuSortSizeUp", true, true},
                 {"mnuSizeDisk", false, true},
                 {"N3", false, false}};
    for (const auto& [action, sort, busy] : steps) {
        SCOPED_TRACE(action);
        tree->update(); // a repaint still owed when the change comes
        const int before = view->FullLayouts();
        window->findChild<QAction*>(QString::fromLatin1(action))->trigger();
        window->repaint();
        EXPECT_EQ(view->FullLayouts(), before);
        EXPECT_EQ(QGuiApplication::overrideCursor() != nullptr, busy);
        if (sort) {
            EXPECT_EQ(status->text(), sorting);
        }
        const QDeadlineTimer deadline(10000);
        while ((view->FullLayouts() == before || QGuiApplication::overrideCursor() != nullptr) &&
               !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(view->FullLayouts(), before + 1);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_NE(status->text(), sorting);
    }
    EXPECT_EQ(ExpandedBelowTop().size(), 300u);
}

TEST_F(TreeSortWindowTest, AWindowClosedWhileItsTreeLoadsLeavesNothingBehind) {
    Build(1200, false);
    // The search's handler has returned with the deeper levels still to load, in slices.
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    window.reset();
    QCoreApplication::processEvents(); // a slice still waiting would reach freed logic
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
