#include "app/views/TreemapRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace dvo::app {
namespace {

// The cushion's height at the top level and its decrease per level, and the light: ambient
// share, direct share and a direction from the upper left.
constexpr float kHeight = 0.5f;
constexpr float kHeightFactor = 0.75f;
constexpr float kAmbient = 40.0f / 255.0f;
constexpr float kDirect = 215.0f / 255.0f;
constexpr float kLightX = 0.09759f;
constexpr float kLightY = 0.19518f;
constexpr float kLightZ = 0.9759f;

// z = s1x*x + s2x*x^2 + s1y*y + s2y*y^2
struct Surface {
    float s1x = 0, s2x = 0, s1y = 0, s2y = 0;
};

void AddRidge(float from, float to, float h, float& s1, float& s2) {
    const float span = to - from;
    if (span <= 0)
        return;
    s1 += 4 * h * (to + from) / span;
    s2 -= 4 * h / span;
}

bool TooSmall(const TreemapRect& r) { return !(r.Width() >= 1) || !(r.Height() >= 1); }

TreemapPixelRect Clip(TreemapPixelRect p, int width, int height) {
    p.left = std::max(p.left, 0);
    p.top = std::max(p.top, 0);
    p.right = std::min(p.right, width);
    p.bottom = std::min(p.bottom, height);
    return p;
}

void Shade(std::uint32_t* pixels, std::ptrdiff_t stride, const TreemapPixelRect& p,
           const Surface& s, std::uint32_t rgb) {
    if (p.Empty())
        return;
    const float red = static_cast<float>((rgb >> 16) & 0xff);
    const float green = static_cast<float>((rgb >> 8) & 0xff);
    const float blue = static_cast<float>(rgb & 0xff);
    for (int y = p.top; y < p.bottom; ++y) {
        const float fy = static_cast<float>(y) + 0.5f;
        const float ny = -(2 * s.s2y * fy + s.s1y);
        const float base = ny * kLightY + kLightZ;
        const float ny2 = ny * ny + 1;
        std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = p.left; x < p.right; ++x) {
            const float fx = static_cast<float>(x) + 0.5f;
            const float nx = -(2 * s.s2x * fx + s.s1x);
            const float cosa = (nx * kLightX + base) / std::sqrt(nx * nx + ny2);
            const float light = std::min(1.0f, kAmbient + std::max(0.0f, kDirect * cosa));
            // Signed conversions: they vectorise, and the values lie in 0..255 either way.
            const auto r = static_cast<std::int32_t>(red * light);
            const auto g = static_cast<std::int32_t>(green * light);
            const auto b = static_cast<std::int32_t>(blue * light);
            row[x] = 0xff000000u | static_cast<std::uint32_t>((r << 16) | (g << 8) | b);
        }
    }
}

} // namespace

void RenderTreemap(const TreemapGeometry& map, std::uint32_t* pixels, int width, int height,
                   std::ptrdiff_t stride) {
    if (pixels == nullptr || width <= 0 || height <= 0)
        return;
    for (int y = 0; y < height; ++y)
        std::fill_n(pixels + static_cast<std::ptrdiff_t>(y) * stride, width, kTreemapBackground);
    const std::size_t n = std::min({map.rects.size(), map.ends.size(), map.groups.size()});

    std::array<float, 64> heights{};
    heights[0] = kHeight;
    for (std::size_t d = 1; d < heights.size(); ++d)
        heights[d] = heights[d - 1] * kHeightFactor;

    struct Frame {
        std::uint32_t end;
        Surface surface;
    };
    std::vector<Frame> open;
    const std::uint32_t folder = FileGroupColour(FileGroup::Folder);
    for (std::size_t i = 0; i < n; ++i) {
        while (!open.empty() && open.back().end <= i)
            open.pop_back();
        const TreemapRect& r = map.rects[i];
        const std::size_t end = std::clamp<std::size_t>(map.ends[i], i + 1, n);
        if (TooSmall(r)) {
            if (!open.empty())
                Shade(pixels, stride, Clip(ToPixels(r), width, height), open.back().surface,
                      folder);
            i = end - 1;
            continue;
        }
        Surface s = open.empty() ? Surface{} : open.back().surface;
        const float h = open.size() < heights.size() ? heights[open.size()] : 0.0f;
        AddRidge(r.x0, r.x1, h, s.s1x, s.s2x);
        AddRidge(r.y0, r.y1, h, s.s1y, s.s2y);
        if (end == i + 1) {
            Shade(pixels, stride, Clip(ToPixels(r), width, height), s,
                  FileGroupColour(map.groups[i]));
            continue;
        }
        // A folder its children do not fill (zero sizes, unused room) shows itself beneath them.
        double covered = 0;
        for (std::size_t j = i + 1; j < end; j = std::max<std::size_t>(map.ends[j], j + 1))
            covered += map.rects[j].Area();
        if (covered < r.Area() * (1 - 1e-6))
            Shade(pixels, stride, Clip(ToPixels(r), width, height), s, folder);
        open.push_back({static_cast<std::uint32_t>(end), s});
    }
}

int TreemapHitTest(const TreemapGeometry& map, int x, int y) {
    const std::size_t n = std::min({map.rects.size(), map.ends.size(), map.groups.size()});
    if (n == 0 || TooSmall(map.rects[0]) || !ToPixels(map.rects[0]).Contains(x, y))
        return -1;
    std::size_t hit = 0;
    for (;;) {
        const std::size_t end = std::clamp<std::size_t>(map.ends[hit], hit + 1, n);
        std::size_t next = 0;
        for (std::size_t j = hit + 1; j < end; j = std::max<std::size_t>(map.ends[j], j + 1))
            if (!TooSmall(map.rects[j]) && ToPixels(map.rects[j]).Contains(x, y)) {
                next = j;
                break;
            }
        if (next == 0)
            return static_cast<int>(hit);
        hit = next;
    }
}

} // namespace dvo::app
