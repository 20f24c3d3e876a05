#include "app/views/TreemapLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dvo::app {
namespace {

// NaN and negative sizes take no room.
double Positive(double size) { return size > 0 ? size : 0.0; }

TreemapRect Edges(double x0, double y0, double x1, double y1) {
    return {static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1),
            static_cast<float>(y1)};
}

} // namespace

TreemapPixelRect ToPixels(const TreemapRect& r) {
    const auto round = [](float v) { return static_cast<int>(std::lround(v)); };
    return {round(r.x0), round(r.y0), round(r.x1), round(r.y1)};
}

void SquarifyLevel(std::span<const double> sizes, const TreemapRect& bounds,
                   std::span<TreemapRect> out) {
    const std::size_t n = std::min(sizes.size(), out.size());
    double x0 = bounds.x0, y0 = bounds.y0;
    const double x1 = bounds.x1, y1 = bounds.y1;
    double total = 0;
    std::size_t lastPositive = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (Positive(sizes[i]) > 0) {
            total += sizes[i];
            lastPositive = i;
        }
    const double width = x1 - x0, height = y1 - y0;
    if (!(total > 0) || !(width > 0) || !(height > 0)) {
        std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n), Edges(x0, y0, x0, y0));
        return;
    }
    const double scale = width * height / total;
    std::size_t i = 0;
    while (i < n) {
        const double first = Positive(sizes[i]) * scale;
        if (first <= 0) { // takes no room: an empty rectangle where the free space starts
            out[i++] = Edges(x0, y0, x0, y0);
            continue;
        }
        const double w = x1 - x0, h = y1 - y0;
        // The row runs along the shorter side of the free space.
        const bool column = w >= h;
        const double side = column ? h : w;
        const double side2 = side * side;
        double rowSum = 0;
        double best = std::numeric_limits<double>::infinity();
        std::size_t j = i;
        for (; j < n; ++j) {
            const double s = Positive(sizes[j]) * scale;
            if (s <= 0)
                break;
            const double sum = rowSum + s;
            const double sum2 = sum * sum;
            // Sizes come largest first: the row's extremes are its first and its newest entry.
            const double worst = std::max(side2 * first / sum2, sum2 / (side2 * s));
            if (j > i && worst > best)
                break;
            best = worst;
            rowSum = sum;
        }
        const bool lastRow = j > lastPositive;
        const double far = column ? x1 : y1;
        const double near = column ? x0 : y0;
        const double edge = lastRow || side <= 0 ? far : std::min(far, near + rowSum / side);
        // Positions along the row from the running sum; the last entry ends exactly at the side.
        const double start = column ? y0 : x0;
        const double length = column ? h : w;
        double running = 0;
        double from = start;
        for (std::size_t k = i; k < j; ++k) {
            running += Positive(sizes[k]) * scale;
            const double to = k + 1 == j ? start + length : start + length * (running / rowSum);
            out[k] = column ? Edges(near, from, edge, to) : Edges(from, near, to, edge);
            from = to;
        }
        if (column)
            x0 = edge;
        else
            y0 = edge;
        i = j;
    }
}

void SliceAndDiceLevel(std::span<const double> sizes, const TreemapRect& bounds, bool alongX,
                       std::span<TreemapRect> out) {
    const std::size_t n = std::min(sizes.size(), out.size());
    double total = 0;
    for (std::size_t i = 0; i < n; ++i)
        total += Positive(sizes[i]);
    const double start = alongX ? bounds.x0 : bounds.y0;
    const double end = alongX ? bounds.x1 : bounds.y1;
    double running = 0;
    double from = start;
    for (std::size_t i = 0; i < n; ++i) {
        running += Positive(sizes[i]);
        double to = total > 0 ? start + (end - start) * (running / total) : start;
        if (total > 0 && running >= total)
            to = end;
        out[i] =
            alongX ? Edges(from, bounds.y0, to, bounds.y1) : Edges(bounds.x0, from, bounds.x1, to);
        from = to;
    }
}

double WorstAspectRatio(std::span<const TreemapRect> rects) {
    double worst = 1;
    for (const auto& r : rects) {
        const double w = r.Width(), h = r.Height();
        if (w > 0 && h > 0)
            worst = std::max(worst, std::max(w / h, h / w));
    }
    return worst;
}

bool LayoutTree(std::span<const double> weights, std::span<const std::uint32_t> ends,
                const TreemapRect& bounds, std::span<TreemapRect> out, TreemapAlgorithm algorithm) {
    const std::size_t n = weights.size();
    if (n == 0 || ends.size() != n || out.size() != n ||
        n > std::numeric_limits<std::uint32_t>::max())
        return false;
    // Every subtree must nest inside its parent's.
    {
        std::vector<std::uint32_t> open;
        for (std::size_t i = 0; i < n; ++i) {
            while (!open.empty() && open.back() <= i)
                open.pop_back();
            const std::size_t limit = open.empty() ? n : open.back();
            if (ends[i] <= i || ends[i] > limit || (i > 0 && open.empty()))
                return false;
            open.push_back(ends[i]);
        }
    }

    constexpr std::uint32_t kUnused = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> kids;
    std::vector<double> sizes;
    std::vector<TreemapRect> rects;
    std::vector<std::uint32_t> open; // ends of the ancestors of the entry at hand
    out[0] = bounds;
    for (std::size_t i = 0; i < n; ++i) {
        while (!open.empty() && open.back() <= i)
            open.pop_back();
        if (ends[i] == i + 1)
            continue;
        kids.clear();
        double childSum = 0;
        for (std::uint32_t j = static_cast<std::uint32_t>(i + 1); j < ends[i]; j = ends[j]) {
            kids.push_back(j);
            childSum += Positive(weights[j]);
        }
        const double own = Positive(weights[i]);
        if (own > childSum && own - childSum > own * 1e-12)
            kids.push_back(kUnused); // the parent's room its children do not take
        const auto weightOf = [&](std::uint32_t k) {
            return k == kUnused ? own - childSum : Positive(weights[k]);
        };
        if (algorithm == TreemapAlgorithm::Squarified)
            std::sort(kids.begin(), kids.end(), [&](std::uint32_t a, std::uint32_t b) {
                const double wa = weightOf(a), wb = weightOf(b);
                return wa != wb ? wa > wb : a < b;
            });
        sizes.resize(kids.size());
        rects.resize(kids.size());
        for (std::size_t k = 0; k < kids.size(); ++k)
            sizes[k] = weightOf(kids[k]);
        if (algorithm == TreemapAlgorithm::Squarified)
            SquarifyLevel(sizes, out[i], rects);
        else
            SliceAndDiceLevel(sizes, out[i], open.size() % 2 == 0, rects);
        for (std::size_t k = 0; k < kids.size(); ++k)
            if (kids[k] != kUnused)
                out[kids[k]] = rects[k];
        open.push_back(ends[i]);
    }
    return true;
}

} // namespace dvo::app
