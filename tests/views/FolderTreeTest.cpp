#include "app/views/FolderTree.h"

#include <deque>
#include <gtest/gtest.h>
#include <new>
#include <string>

namespace {

using dvo::app::FolderTree;
using Node = dvo::app::FolderTreeNode;

// Records live as long as a test, like the engine's live until the next search.
struct Records {
    std::deque<FolderRecord> all;
    FolderRecord* Make(long long size, unsigned char kind = 0, unsigned char loaded = 0) {
        FolderRecord& r = all.emplace_back();
        r.size = size;
        r.kind = kind;
        r.childrenLoaded = loaded;
        return &r;
    }
};

std::string Walk(const FolderTree& tree) {
    std::string out;
    for (Node* n = tree.FirstTopLevel(); n != nullptr; n = tree.NextInTreeOrder(n))
        out += std::string(n->Caption()) + std::to_string(n->row) + " ";
    return out;
}

// a(b(c, d), e), f
struct SmallTree : testing::Test {
    Records rec;
    FolderTree tree;
    Node *a, *b, *c, *d, *e, *f;
    void SetUp() override {
        a = tree.AppendChild(nullptr, rec.Make(10), "a");
        b = tree.AppendChild(a, rec.Make(20), "b");
        c = tree.AppendChild(b, rec.Make(30, 1), "c");
        d = tree.AppendChild(b, rec.Make(40, 1), "d");
        e = tree.AppendChild(a, rec.Make(50), "e");
        f = tree.AppendChild(nullptr, rec.Make(60), "f");
    }
};

TEST_F(SmallTree, TreeOrderIsPreOrderOverAllNodes) {
    EXPECT_EQ(Walk(tree), "a0 b0 c0 d1 e1 f1 ");
    EXPECT_EQ(tree.Parent(a), nullptr);
    EXPECT_EQ(tree.Parent(c), b);
    EXPECT_EQ(tree.NextSibling(e), nullptr);
    EXPECT_EQ(tree.NextInTreeOrder(f), nullptr);
    EXPECT_EQ(tree.Children(nullptr).size(), 2u);
    EXPECT_EQ(tree.NodeCount(), 6u);
}

TEST_F(SmallTree, RemoveTakesTheSubtreeAndRenumbersSiblings) {
    const auto refC = tree.Ref(c);
    tree.Remove(b);
    EXPECT_EQ(Walk(tree), "a0 e0 f1 ");
    EXPECT_EQ(tree.NodeCount(), 3u);
    EXPECT_EQ(tree.Resolve(refC), nullptr);
    tree.Remove(f);
    EXPECT_EQ(Walk(tree), "a0 e0 ");
}

TEST_F(SmallTree, PendingCountFollowsChildrenAndFlags) {
    // Pending: no children and the record's flag 0 -> c, d, e, f.
    EXPECT_EQ(tree.PendingCount(), 4u);
    tree.SetChildrenLoaded(c->record, c);
    tree.SetChildrenLoaded(c->record, c); // twice changes nothing
    EXPECT_EQ(tree.PendingCount(), 3u);
    tree.AppendChild(e, rec.Make(1, 1, 1), "g"); // e gets a child: no longer pending
    EXPECT_EQ(tree.PendingCount(), 2u);
    tree.Remove(e->children.front()); // e loses its only child: the engine may be asked again
    EXPECT_EQ(tree.PendingCount(), 3u);
    tree.Remove(a);
    EXPECT_EQ(tree.PendingCount(), 1u); // f
    tree.Clear();
    EXPECT_EQ(tree.PendingCount(), 0u);
}

TEST_F(SmallTree, ReferencesOfAnEarlierTreeNeverMatch) {
    const auto old = tree.Ref(a);
    EXPECT_EQ(tree.Resolve(old), a);
    tree.Clear();
    Node* again = tree.AppendChild(nullptr, rec.Make(10), "a");
    EXPECT_NE(tree.Ref(again), old);
    EXPECT_EQ(tree.Resolve(old), nullptr);
    EXPECT_EQ(Walk(tree), "a0 ");
}

TEST_F(SmallTree, SortOrdersEveryLevelStably) {
    tree.AppendChild(nullptr, rec.Make(60), "g"); // same size as f
    auto bySizeDesc = [](const Node& x, const Node& y, const void*) {
        return x.record->size > y.record->size ? -1 : (x.record->size < y.record->size ? 1 : 0);
    };
    tree.SortAllLevels(bySizeDesc, nullptr);
    EXPECT_EQ(Walk(tree), "f0 g1 a2 e0 b1 d0 c1 ");
}

// A tree large enough to be sorted on several threads: one wide folder and many small ones, with
// few distinct sizes so that stability shows. Every order must match the one-thread sort, level
// by level, with rows renumbered.
TEST(FolderTree, LargeTreesSortOnSeveralThreadsAsOnOne) {
    Records rec;
    FolderTree one;
    FolderTree many;
    const auto build = [&rec](FolderTree& tree) {
        Node* wide = tree.AppendChild(nullptr, rec.Make(0), "wide");
        for (int i = 0; i < 15000; ++i)
            tree.AppendChild(wide, rec.Make((i * 7919) % 97, 1), "w" + std::to_string(i));
        Node* top = tree.AppendChild(nullptr, rec.Make(1), "top");
        for (int i = 0; i < 3000; ++i) {
            Node* f = tree.AppendChild(top, rec.Make(i % 13), "f" + std::to_string(i));
            for (int j = 0; j < 3; ++j)
                tree.AppendChild(f, rec.Make((i + j) % 5, 1), "e" + std::to_string(j));
        }
    };
    build(one);
    build(many);
    ASSERT_GE(many.NodeCount(), FolderTree::kConcurrentSortNodes);
    const auto byName = [](const Node& x, const Node& y, const void*) {
        return x.Caption().compare(y.Caption());
    };
    static constexpr auto bySize = [](const Node& x, const Node& y, const void*) {
        return x.record->size < y.record->size ? -1 : (x.record->size > y.record->size ? 1 : 0);
    };
    const auto sizeKey = [](const Node& n) { return n.record->size; };
    one.SortAllLevels(byName, nullptr);
    many.SortAllLevels(byName, nullptr, true);
    EXPECT_EQ(Walk(many), Walk(one));
    one.SortAllLevels(
        [](const Node& x, const Node& y, const void*) { return y.Caption().compare(x.Caption()); },
        nullptr);
    many.SortAllLevelsByText([](const Node& n) { return n.Caption(); }, true);
    EXPECT_EQ(Walk(many), Walk(one));
    one.SortAllLevels(byName, nullptr);
    many.SortAllLevelsByText([](const Node& n) { return n.Caption(); }, false);
    EXPECT_EQ(Walk(many), Walk(one));
    // Sizes from the name order: equal sizes stay in name order.
    one.SortAllLevels(bySize, nullptr);
    many.SortAllLevelsByKey(sizeKey, false);
    EXPECT_EQ(Walk(many), Walk(one));
    one.SortAllLevels([](const Node& x, const Node& y, const void* c) { return -bySize(x, y, c); },
                      nullptr);
    many.SortAllLevelsByKey(sizeKey, true);
    EXPECT_EQ(Walk(many), Walk(one));
    // "top" (1) before "wide" (0), and its largest folder first.
    EXPECT_EQ(many.FirstChild(many.FirstTopLevel())->record->size, 12);
}

// A sort that fails on its threads (no memory for the keys) hands the failure to the caller,
// ends the widgets' layout change, and leaves every level a whole, renumbered list.
TEST(FolderTree, ASortThatFailsOnItsThreadsReachesTheCallerAndLeavesTheTreeWhole) {
    struct Observer final : dvo::app::FolderTreeObserver {
        int before = 0;
        int after = 0;
        void BeforeReorder() override { ++before; }
        void AfterReorder() override { ++after; }
    } observer;
    Records rec;
    FolderTree tree;
    tree.SetObserver(&observer);
    for (int i = 0; i < 300; ++i) {
        Node* f = tree.AppendChild(nullptr, rec.Make(i), "f" + std::to_string(i));
        for (int j = 0; j < 80; ++j)
            tree.AppendChild(f, rec.Make(j, 1), "e" + std::to_string(j));
    }
    ASSERT_GE(tree.NodeCount(), FolderTree::kConcurrentSortNodes);
    const std::string before = Walk(tree);
    // Every level fails, so whichever thread takes a batch throws.
    const auto failing = [](const Node& n) -> long long {
        if (n.entry || n.children.empty())
            throw std::bad_alloc();
        return 0;
    };
    EXPECT_THROW(tree.SortAllLevelsByKey(failing, true), std::bad_alloc);
    EXPECT_EQ(observer.before, 1);
    EXPECT_EQ(observer.after, 1);
    EXPECT_EQ(Walk(tree), before);
    tree.SetObserver(nullptr);
}

TEST(FolderTree, DeepTreesAndLongCaptionsAreHandled) {
    Records rec;
    FolderTree tree;
    Node* n = nullptr;
    for (int i = 0; i < 100000; ++i) // deeper than any recursion could go
        n = tree.AppendChild(n, rec.Make(i), "x");
    const std::string huge(200000, 'y');
    Node* big = tree.AppendChild(n, rec.Make(0, 1), huge);
    Node* after = tree.AppendChild(n, rec.Make(0, 1), "after");
    EXPECT_EQ(big->Caption(), huge);
    EXPECT_EQ(after->Caption(), "after");
    EXPECT_EQ(tree.NodeCount(), 100002u);
    tree.SortAllLevels([](const Node&, const Node&, const void*) { return 0; }, nullptr);
    tree.Remove(tree.FirstTopLevel());
    EXPECT_TRUE(tree.Empty());
    EXPECT_EQ(tree.PendingCount(), 0u);
}

} // namespace
