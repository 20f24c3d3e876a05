#pragma once
// Draws a laid-out treemap into plain 32-bit pixels with cushion shading (van Wijk and van de
// Wetering, 1999): every level adds a ridge to the surface, so nesting shows without borders.
#include "app/views/TreemapKinds.h"
#include "app/views/TreemapLayout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dvo::app {

// A laid-out map: entry i covers rects[i], its subtree is [i, ends[i]) (pre-order, entry 0 the
// root) and groups[i] gives its colour.
struct TreemapGeometry {
    std::vector<TreemapRect> rects;
    std::vector<std::uint32_t> ends;
    std::vector<FileGroup> groups;

    [[nodiscard]] std::size_t Size() const { return rects.size(); }
    [[nodiscard]] bool Empty() const { return rects.empty(); }
    void Clear() {
        rects.clear();
        ends.clear();
        groups.clear();
    }
    [[nodiscard]] std::size_t MemoryBytes() const {
        return rects.capacity() * sizeof(TreemapRect) + ends.capacity() * sizeof(std::uint32_t) +
               groups.capacity() * sizeof(FileGroup);
    }
};

// Paints the map into pixels (0xAARRGGBB, rows of stride pixels, width x height of them);
// pixels outside the root stay the background colour. An entry under one pixel wide or high is
// not drawn: its parent's cushion shows where it lies, and its subtree is skipped.
void RenderTreemap(const TreemapGeometry& map, std::uint32_t* pixels, int width, int height,
                   std::ptrdiff_t stride);

// The deepest drawn entry at pixel (x, y): the one whose pixels show there. -1 outside the map.
[[nodiscard]] int TreemapHitTest(const TreemapGeometry& map, int x, int y);

inline constexpr std::uint32_t kTreemapBackground = 0xffffffff;

} // namespace dvo::app
