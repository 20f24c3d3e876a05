#include "app/qt/FolderTreeModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QPersistentModelIndex>
#include <deque>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

using dvo::app::FolderTree;
using dvo::qt::FolderTreeModel;
using Node = dvo::app::FolderTreeNode;

QApplication& App() {
    static int argc = 1;
    static char name[] = "views_qt_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

struct ModelFixture : testing::Test {
    std::deque<FolderRecord> records;
    dvo::app::FolderTree tree;
    std::unique_ptr<FolderTreeModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;

    void SetUp() override {
        App();
        model = std::make_unique<FolderTreeModel>(tree);
        tester = std::make_unique<QAbstractItemModelTester>(
            model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    Node* Add(Node* parent, const char* caption, long long size) {
        FolderRecord& r = records.emplace_back();
        r.size = size;
        return tree.AppendChild(parent, &r, caption);
    }
};

// Qt's hash tables (a view's expanded set, the persistent indexes) take an index's low bits:
// ids of nodes made one after the other must differ there, or a hundred thousand expanded folders
// share a few buckets and every lookup walks a long chain.
TEST_F(ModelFixture, IndexIdsOfNeighbouringNodesSpreadOverTheLowBits) {
    tester.reset(); // it checks the whole model after every insertion
    std::vector<Node*> nodes;
    for (int i = 0; i < 4096; ++i)
        nodes.push_back(Add(nullptr, "n", i));
    std::set<quintptr> low;
    for (Node* n : nodes) {
        const QModelIndex index = model->IndexOf(n);
        ASSERT_EQ(FolderTreeModel::NodeOf(index), n);
        low.insert(index.internalId() & 0xFFF);
    }
    // Random ids would give about 2600 of the 4096 values.
    EXPECT_GT(low.size(), 2000u);
}

TEST_F(ModelFixture, ServesTheTreeThroughEveryKindOfChange) {
    Node* a = Add(nullptr, "a", 1);
    Node* b = Add(a, "b", 5);
    Add(a, "c", 3);
    Node* d = Add(b, "\xE6\x97\xA5", 2);
    EXPECT_EQ(model->rowCount(), 1);
    const QModelIndex ia = model->index(0, 0);
    EXPECT_EQ(model->rowCount(ia), 2);
    EXPECT_EQ(model->data(model->IndexOf(d)).toString(), QString::fromUtf8("\xE6\x97\xA5"));
    EXPECT_EQ(model->parent(model->IndexOf(d)), model->IndexOf(b));
    EXPECT_FALSE(model->flags(ia).testFlag(Qt::ItemIsEditable));

    // A persistent index follows its node through a sort.
    QPersistentModelIndex pb(model->IndexOf(b));
    tree.SortAllLevels(
        [](const Node& x, const Node& y, const void*) {
            return x.record->size < y.record->size ? -1 : (x.record->size > y.record->size ? 1 : 0);
        },
        nullptr);
    EXPECT_EQ(pb.row(), 1);
    EXPECT_EQ(FolderTreeModel::NodeOf(pb), b);

    tree.Remove(b);
    EXPECT_FALSE(pb.isValid());
    EXPECT_EQ(model->rowCount(ia), 1);

    model->BeginBatch();
    for (int i = 0; i < 100; ++i)
        Add(a, "n", i);
    model->EndBatch();
    EXPECT_EQ(model->rowCount(model->index(0, 0)), 101);

    tree.Clear();
    EXPECT_EQ(model->rowCount(), 0);
}

} // namespace

// The grid's model over the logic's grid, through a reset, a fill and marks.
#include "app/main/TMainForm.h"
#include "app/qt/ResultGridModel.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeMainView.h"
#include "tests/views/FakeResultView.h"
#include "tests/views/SyntheticEngine.h"

namespace {

TEST(ResultGridModel, FollowsTheLogicsGrid) {
    App();
    dvo::test::EventLog log;
    dvo::test::FakeMainView mainView(log);
    dvo::test::SyntheticEngine engine;
    dvo::app::TMainForm form(mainView, engine);
    dvo::test::FakeResultView view;
    dvo::app::ResultViews results(form, engine, view);
    view.results = &results;
    form.SetResultViews(&results);
    form.FormCreate();
    FolderRecord* top = engine.AddSearchedFolder("/top", 30);
    engine.Add(top, "one", 1, 10);
    engine.Add(top, "two", 1, 20);

    dvo::qt::ResultGridModel model(results, nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 1); // one empty data row below the titles
    model.BeginUpdate();
    form.btnExecuteClick();
    view.current = results.Tree().FirstTopLevel();
    results.SearchResultTreeMouseDown();
    model.EndUpdate();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromUtf8("サイズ▽"));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "two");
    EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(), "66");
    view.rowUnderPointer = 2;
    results.lsSearchResultClick();
    model.Refresh();
    EXPECT_EQ(model.data(model.index(1, 3), Qt::BackgroundRole).value<QBrush>().color(),
              QColor(217, 240, 210));
    EXPECT_FALSE(model.data(model.index(0, 3), Qt::BackgroundRole).isValid());
}

} // namespace
