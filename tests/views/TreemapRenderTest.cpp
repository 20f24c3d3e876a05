// The treemap's kinds of file, its cushion drawing and its hit test.
#include "app/views/TreemapKinds.h"
#include "app/views/TreemapRenderer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using dvo::app::FileGroup;
using dvo::app::FileGroupOf;
using dvo::app::RenderTreemap;
using dvo::app::TreemapGeometry;
using dvo::app::TreemapHitTest;
using dvo::app::TreemapRect;

TEST(TreemapKinds, GroupsByExtensionWithoutCase) {
    const struct {
        std::u16string name;
        int kind;
        FileGroup group;
    } cases[] = {
        {u"photo.JPG", 1, FileGroup::Image},
        {u"clip.mkv", 1, FileGroup::Video},
        {u"song.flac", 1, FileGroup::Audio},
        {u"backup.tar.gz", 1, FileGroup::Archive},
        {u"report.pdf", 1, FileGroup::Document},
        {u"main.cpp", 1, FileGroup::Code},
        {u"unit.PAS", 1, FileGroup::Code},
        {u"libc.so.6", 1, FileGroup::Binary},
        {u"libQt6Core.so.6.4.2", 1, FileGroup::Binary},
        {u"tool.exe", 1, FileGroup::Binary},
        {u"README", 1, FileGroup::Other},
        {u".bashrc", 1, FileGroup::Other},
        {u"name.", 1, FileGroup::Other},
        {u"odd.p\u00e9g", 1, FileGroup::Other},
        {u"photos.jpg", 0, FileGroup::Folder},
        {u"x.averyveryverylongext", 1, FileGroup::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileGroupOf(c.name, c.kind), c.group)
            << std::string(c.name.begin(), c.name.end());
}

struct Rgb {
    int r, g, b;
};
Rgb At(const std::vector<std::uint32_t>& pixels, int width, int x, int y) {
    const std::uint32_t p = pixels[static_cast<std::size_t>(y * width + x)];
    return {static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff),
            static_cast<int>(p & 0xff)};
}

// A folder of 100 x 50 holding an image file (left half) and a video file (right half), and a
// sliver under a pixel wide at the far right.
TreemapGeometry Sample() {
    TreemapGeometry map;
    map.rects = {{0, 0, 100, 50}, {0, 0, 50, 50}, {50, 0, 99.4f, 50}, {99.4f, 0, 100, 50}};
    map.ends = {4, 2, 3, 4};
    map.groups = {FileGroup::Folder, FileGroup::Image, FileGroup::Video, FileGroup::Audio};
    return map;
}

TEST(TreemapRender, ColoursEachEntryByItsKindWithACushion) {
    const TreemapGeometry map = Sample();
    const int width = 120, height = 60;
    std::vector<std::uint32_t> pixels(width * height, 0);
    RenderTreemap(map, pixels.data(), width, height, width);
    const Rgb image = At(pixels, width, 25, 25), video = At(pixels, width, 75, 25);
    EXPECT_GT(image.g, image.r); // green
    EXPECT_GT(video.r, video.g); // red
    // Lit at the centre, darker towards the edge: the cushion.
    const Rgb edge = At(pixels, width, 1, 48);
    EXPECT_GT(image.g, edge.g);
    // The sliver is not drawn in its own colour: the folder shows there.
    const Rgb sliver = At(pixels, width, 99, 25);
    EXPECT_FALSE(sliver.r > sliver.g + 40 && sliver.g > sliver.b); // not the audio amber
    EXPECT_GT(sliver.r + sliver.g + sliver.b, 0);
    // Outside the root: background.
    EXPECT_EQ(pixels[static_cast<std::size_t>(55 * width + 110)], dvo::app::kTreemapBackground);
}

TEST(TreemapRender, HitTestFindsTheDeepestDrawnEntry) {
    const TreemapGeometry map = Sample();
    EXPECT_EQ(TreemapHitTest(map, 10, 10), 1);
    EXPECT_EQ(TreemapHitTest(map, 60, 49), 2);
    EXPECT_EQ(TreemapHitTest(map, 99, 10), 0); // the sliver is not drawn: its folder is hit
    EXPECT_EQ(TreemapHitTest(map, 100, 10), -1);
    EXPECT_EQ(TreemapHitTest(map, -1, 0), -1);
    EXPECT_EQ(TreemapHitTest(TreemapGeometry{}, 0, 0), -1);
}

TEST(TreemapRender, SurvivesDegenerateInput) {
    TreemapGeometry map = Sample();
    map.ends = {99, 0, 3, 4}; // ends out of range are clamped, not followed
    std::vector<std::uint32_t> pixels(16 * 16);
    RenderTreemap(map, pixels.data(), 16, 16, 16);
    EXPECT_GE(TreemapHitTest(map, 5, 5), 0);
    RenderTreemap(map, nullptr, 16, 16, 16);
    RenderTreemap(map, pixels.data(), 0, 16, 16);
}

} // namespace
