// Treemap layout properties on tables of inputs: every rectangle inside its parent, none
// overlapping another, areas in proportion to the sizes, pixel roundings that tile the parent,
// and a squarified layout never worse in aspect ratio than slice-and-dice of the same input.
#include "app/views/TreemapLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using dvo::app::LayoutTree;
using dvo::app::SliceAndDiceLevel;
using dvo::app::SquarifyLevel;
using dvo::app::ToPixels;
using dvo::app::TreemapAlgorithm;
using dvo::app::TreemapRect;
using dvo::app::WorstAspectRatio;

constexpr double kEdgeSlack = 1e-3;

bool Inside(const TreemapRect& r, const TreemapRect& parent) {
    return r.x0 >= parent.x0 - kEdgeSlack && r.y0 >= parent.y0 - kEdgeSlack &&
           r.x1 <= parent.x1 + kEdgeSlack && r.y1 <= parent.y1 + kEdgeSlack && r.x0 <= r.x1 &&
           r.y0 <= r.y1;
}

bool Overlap(const TreemapRect& a, const TreemapRect& b) {
    const double w = std::min<double>(a.x1, b.x1) - std::max<double>(a.x0, b.x0);
    const double h = std::min<double>(a.y1, b.y1) - std::max<double>(a.y0, b.y0);
    return w > kEdgeSlack && h > kEdgeSlack;
}

// Overlapping pairs (0 when none), found by splitting the area into quarters until few
// rectangles share a part, so 100,000 rectangles clustered in a corner stay cheap.
int OverlapsIn(const std::vector<TreemapRect>& rects, const std::vector<std::size_t>& which,
               const TreemapRect& box, int depth) {
    if (which.size() <= 24 || depth > 40) {
        int overlaps = 0;
        for (std::size_t a = 0; a < which.size(); ++a)
            for (std::size_t b = a + 1; b < which.size(); ++b)
                overlaps += Overlap(rects[which[a]], rects[which[b]]) ? 1 : 0;
        return overlaps;
    }
    const float mx = (box.x0 + box.x1) / 2, my = (box.y0 + box.y1) / 2;
    const TreemapRect quarters[] = {{box.x0, box.y0, mx, my},
                                    {mx, box.y0, box.x1, my},
                                    {box.x0, my, mx, box.y1},
                                    {mx, my, box.x1, box.y1}};
    int overlaps = 0;
    for (const TreemapRect& q : quarters) {
        std::vector<std::size_t> part;
        for (std::size_t k : which) {
            const TreemapRect& r = rects[k];
            if (r.x0 < q.x1 && r.x1 > q.x0 && r.y0 < q.y1 && r.y1 > q.y0)
                part.push_back(k);
        }
        overlaps += OverlapsIn(rects, part, q, depth + 1);
    }
    return overlaps;
}

int CountOverlaps(const std::vector<TreemapRect>& rects, const std::vector<std::size_t>& which,
                  const TreemapRect& bounds) {
    std::vector<std::size_t> visible;
    for (std::size_t k : which)
        if (rects[k].Width() > kEdgeSlack && rects[k].Height() > kEdgeSlack)
            visible.push_back(k);
    return OverlapsIn(rects, visible, bounds, 0);
}

struct LevelCase {
    std::string name;
    std::vector<double> sizes; // largest first
};

std::vector<LevelCase> LevelCases() {
    std::vector<LevelCase> cases = {
        {"one entry", {42}},
        {"equal sizes", std::vector<double>(100, 7)},
        {"zero sizes among others", {500, 300, 0, 0, 0}},
        {"only zero sizes", {0, 0, 0}},
    };
    LevelCase huge{"one huge and many tiny", {1e9}};
    huge.sizes.insert(huge.sizes.end(), 5000, 1);
    cases.push_back(huge);
    std::mt19937_64 random(20261210);
    std::lognormal_distribution<double> spread(8, 3);
    LevelCase many{"100,000 random sizes", {}};
    for (int i = 0; i < 100000; ++i)
        many.sizes.push_back(std::floor(spread(random)));
    std::sort(many.sizes.rbegin(), many.sizes.rend());
    cases.push_back(many);
    return cases;
}

TEST(TreemapLayout, LevelPropertiesOnATableOfInputs) {
    const TreemapRect boundsTable[] = {{0, 0, 800, 600}, {10, 20, 610, 820}, {0, 0, 1920, 37}};
    for (const LevelCase& c : LevelCases()) {
        for (const TreemapRect& bounds : boundsTable) {
            SCOPED_TRACE(c.name + " in " + std::to_string(bounds.Width()) + "x" +
                         std::to_string(bounds.Height()));
            const std::size_t n = c.sizes.size();
            std::vector<TreemapRect> out(n);
            SquarifyLevel(c.sizes, bounds, out);
            double total = 0;
            for (double s : c.sizes)
                total += s;
            std::vector<std::size_t> all(n);
            for (std::size_t i = 0; i < n; ++i)
                all[i] = i;
            long long pixels = 0;
            int outside = 0, badArea = 0, badPixelArea = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const TreemapRect& r = out[i];
                outside += Inside(r, bounds) ? 0 : 1;
                const double expected = total > 0 ? bounds.Area() * c.sizes[i] / total : 0;
                // Exact but for float rounding, and within one pixel per side once rounded.
                if (std::abs(r.Area() - expected) > 1e-3 * expected + 1e-2)
                    ++badArea;
                const auto p = ToPixels(r);
                const double pixelArea = static_cast<double>(p.right - p.left) * (p.bottom - p.top);
                if (std::abs(pixelArea - expected) > r.Width() + r.Height() + 1)
                    ++badPixelArea;
                pixels +=
                    std::max(0LL, static_cast<long long>(p.right - p.left) * (p.bottom - p.top));
            }
            EXPECT_EQ(outside, 0);
            EXPECT_EQ(badArea, 0);
            EXPECT_EQ(badPixelArea, 0);
            EXPECT_EQ(CountOverlaps(out, all, bounds), 0);
            // The roundings tile the (whole-pixel) bounds: shared edges round alike.
            if (total > 0) {
                const auto b = ToPixels(bounds);
                EXPECT_EQ(pixels, static_cast<long long>(b.right - b.left) * (b.bottom - b.top));
            }

            std::vector<TreemapRect> alongX(n), alongY(n);
            SliceAndDiceLevel(c.sizes, bounds, true, alongX);
            SliceAndDiceLevel(c.sizes, bounds, false, alongY);
            EXPECT_LE(WorstAspectRatio(out),
                      std::min(WorstAspectRatio(alongX), WorstAspectRatio(alongY)) * (1 + 1e-9));
        }
    }
}

TEST(TreemapLayout, SquarifiedRowsAreNearSquareForEqualSizes) {
    std::vector<double> sizes(16, 1);
    std::vector<TreemapRect> out(16);
    SquarifyLevel(sizes, {0, 0, 400, 400}, out);
    EXPECT_LT(WorstAspectRatio(out), 1.5);
    EXPECT_EQ(out.back().x1, 400);
    EXPECT_EQ(out.back().y1, 400);
}

// A random tree in pre-order: weights of leaves random, a parent's weight the sum of its
// children's, and ends[] closing each subtree.
struct TreeInput {
    std::vector<double> weights;
    std::vector<std::uint32_t> ends;
};

TreeInput RandomTree(std::size_t target, int maxChildren, unsigned seed) {
    TreeInput t;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> size(0, 1000);
    std::function<void(int)> grow = [&](int depth) {
        const std::size_t me = t.weights.size();
        t.weights.push_back(0);
        t.ends.push_back(0);
        // The first levels always branch, so no seed ends the tree at its root.
        std::uniform_int_distribution<int> fan(depth < 3 ? 1 : 0, maxChildren);
        const int children = t.weights.size() >= target || depth > 12 ? 0 : fan(random);
        if (children == 0)
            t.weights[me] =
                std::floor(size(random)) * (random() % 7 == 0 ? 0 : 1); // zero sizes too
        for (int c = 0; c < children; ++c) {
            const std::size_t child = t.weights.size();
            grow(depth + 1);
            t.weights[me] += t.weights[child];
        }
        t.ends[me] = static_cast<std::uint32_t>(t.weights.size());
    };
    grow(0);
    return t;
}

TEST(TreemapLayout, TreePropertiesOnATableOfTrees) {
    struct Case {
        const char* name;
        TreeInput tree;
    } cases[] = {
        {"a single root", {{10}, {1}}},
        {"a chain", {{5, 5, 5, 5}, {4, 4, 4, 4}}},
        {"broad and shallow", RandomTree(20000, 400, 1)},
        {"deep and narrow", RandomTree(20000, 3, 2)},
        {"mixed", RandomTree(100000, 12, 3)},
    };
    const TreemapRect bounds{0, 0, 1024, 700};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto& w = c.tree.weights;
        const auto& ends = c.tree.ends;
        const std::size_t n = w.size();
        std::vector<TreemapRect> squarified(n), sliced(n);
        ASSERT_TRUE(LayoutTree(w, ends, bounds, squarified));
        ASSERT_TRUE(LayoutTree(w, ends, bounds, sliced, TreemapAlgorithm::SliceAndDice));
        EXPECT_EQ(squarified[0], bounds);
        int outside = 0, badArea = 0, overlaps = 0;
        std::vector<TreemapRect> leavesSquarified, leavesSliced;
        for (std::size_t i = 0; i < n; ++i) {
            const double expected = bounds.Area() * w[i] / w[0];
            if (std::abs(squarified[i].Area() - expected) > 1e-3 * expected + 1e-2)
                ++badArea;
            if (ends[i] == i + 1) {
                leavesSquarified.push_back(squarified[i]);
                leavesSliced.push_back(sliced[i]);
                continue;
            }
            std::vector<std::size_t> kids;
            for (std::uint32_t j = static_cast<std::uint32_t>(i + 1); j < ends[i]; j = ends[j]) {
                kids.push_back(j);
                outside += Inside(squarified[j], squarified[i]) ? 0 : 1;
            }
            overlaps += CountOverlaps(squarified, kids, squarified[i]);
        }
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(badArea, 0);
        EXPECT_EQ(overlaps, 0);
        EXPECT_LE(WorstAspectRatio(leavesSquarified), WorstAspectRatio(leavesSliced) * (1 + 1e-9));
    }
}

TEST(TreemapLayout, ParentHeavierThanItsChildrenKeepsTheRestUnused) {
    // Root 100 holds children of 25 and 25: together they take half the room.
    std::vector<TreemapRect> out(3);
    ASSERT_TRUE(LayoutTree(std::vector<double>{100, 25, 25}, std::vector<std::uint32_t>{3, 2, 3},
                           {0, 0, 100, 100}, out));
    EXPECT_NEAR(out[1].Area() + out[2].Area(), 5000, 1e-6);
}

TEST(TreemapLayout, RejectsEndsThatDoNotNest) {
    std::vector<TreemapRect> out(3, TreemapRect{1, 1, 1, 1});
    const std::vector<double> w{3, 1, 2};
    for (const auto& ends :
         {std::vector<std::uint32_t>{3, 4, 3}, std::vector<std::uint32_t>{3, 1, 3},
          std::vector<std::uint32_t>{1, 2, 3}, std::vector<std::uint32_t>{2, 3, 3},
          std::vector<std::uint32_t>{3, 2}}) {
        EXPECT_FALSE(LayoutTree(w, ends, {0, 0, 10, 10}, out));
        EXPECT_EQ(out[0], (TreemapRect{1, 1, 1, 1})); // untouched
    }
    EXPECT_FALSE(LayoutTree({}, {}, {0, 0, 10, 10}, {}));
}

} // namespace
