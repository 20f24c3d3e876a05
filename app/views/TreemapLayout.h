#pragma once
// Treemap layout without any widget types: sizes in, rectangles out. One level at a time
// (squarified after Bruls, Huizing and van Wijk, or slice-and-dice for comparison) and a whole
// tree given in pre-order. Rectangles are kept as edges, so neighbours share the very same
// coordinate and their pixel roundings tile the parent without gaps or overlaps.
#include <cstdint>
#include <span>
#include <vector>

namespace dvo::app {

struct TreemapRect {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    [[nodiscard]] double Width() const { return static_cast<double>(x1) - x0; }
    [[nodiscard]] double Height() const { return static_cast<double>(y1) - y0; }
    [[nodiscard]] double Area() const { return Width() * Height(); }
    friend bool operator==(const TreemapRect&, const TreemapRect&) = default;
};

// Whole pixels: columns [left, right) and rows [top, bottom).
struct TreemapPixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;

    [[nodiscard]] bool Empty() const { return right <= left || bottom <= top; }
    [[nodiscard]] bool Contains(int x, int y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    friend bool operator==(const TreemapPixelRect&, const TreemapPixelRect&) = default;
};

// The pixels a rectangle covers: each edge rounded on its own, so rectangles that share an edge
// share its pixel boundary.
[[nodiscard]] TreemapPixelRect ToPixels(const TreemapRect& r);

// Lays sizes (non-negative, largest first) out in bounds, one rectangle each in out (same
// length). Areas are proportional to the sizes and fill bounds when the total is positive;
// entries of size 0 get empty rectangles. Rows are grown while their worst aspect ratio
// improves.
void SquarifyLevel(std::span<const double> sizes, const TreemapRect& bounds,
                   std::span<TreemapRect> out);

// The classic layout: strips side by side across x (alongX) or y, in input order.
void SliceAndDiceLevel(std::span<const double> sizes, const TreemapRect& bounds, bool alongX,
                       std::span<TreemapRect> out);

// The largest longer-side to shorter-side ratio among the non-empty rectangles (1 for none).
[[nodiscard]] double WorstAspectRatio(std::span<const TreemapRect> rects);

enum class TreemapAlgorithm { Squarified, SliceAndDice };

// A tree in pre-order: entry i's subtree is entries [i, ends[i]), entry 0 the root, and a
// parent's children follow it one subtree after the other. weights[i] is the entry's size. The
// root fills bounds; each parent's children share its rectangle in proportion to their weights
// (a parent heavier than its children keeps the difference as unused room, so areas stay
// proportional over the whole map). Children are squarified largest first; slice-and-dice
// alternates the direction by depth and keeps their order. Returns false, leaving out alone,
// when the spans disagree or an end points outside its parent.
bool LayoutTree(std::span<const double> weights, std::span<const std::uint32_t> ends,
                const TreemapRect& bounds, std::span<TreemapRect> out,
                TreemapAlgorithm algorithm = TreemapAlgorithm::Squarified);

} // namespace dvo::app
