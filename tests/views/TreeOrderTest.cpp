#include "app/views/TreeOrder.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using dvo::app::FolderTreeNode;

FolderTreeNode NodeOf(FolderRecord& r, const char* caption) {
    FolderTreeNode n;
    n.record = &r;
    n.caption = caption;
    n.captionLength = static_cast<std::uint32_t>(std::strlen(caption));
    return n;
}

TEST(TreeOrder, SizeComparisonsUseAll64Bits) {
    const struct {
        long long a, b;
        int ascending;
    } cases[] = {
        {1, 2, -1},
        {5, 5, 0},
        {0x100000000LL, 0xFFFFFFFFLL, 1},   // above 4 GiB: high half first
        {0x100000001LL, 0x200000000LL, -1}, // a low half larger does not win
        {-1, 0, -1},
        {0x7FFFFFFFFFFFFFFFLL, 0, 1},
    };
    for (const auto& c : cases) {
        FolderRecord ra{}, rb{};
        ra.size = c.a;
        rb.size = c.b;
        const auto na = NodeOf(ra, "a");
        const auto nb = NodeOf(rb, "b");
        EXPECT_EQ(dvo::app::CompareSizeAscending(na, nb), c.ascending) << c.a << " vs " << c.b;
        EXPECT_EQ(dvo::app::CompareSizeDescending(na, nb), -c.ascending) << c.a << " vs " << c.b;
    }
}

TEST(TreeOrder, CaptionDescendingIsByteOrderReversed) {
    const struct {
        const char* a;
        const char* b;
        int result;
    } cases[] = {
        {"a", "b", 1},
        {"b", "a", -1},
        {"same", "same", 0},
        {"Zebra", "apple", 1},      // upper case bytes are smaller: they go after
        {"\xE3\x81\x82", "z", -1},  // bytes above 0x7F compare unsigned
        {"dir (12)", "dir (3)", 1}, // count suffixes take part, as text
        {"ab", "abc", 1},
    };
    FolderRecord r{};
    for (const auto& c : cases)
        EXPECT_EQ(dvo::app::CompareCaptionDescending(NodeOf(r, c.a), NodeOf(r, c.b)), c.result)
            << c.a << " vs " << c.b;
}

TEST(TreeOrder, RatioText) {
    const struct {
        long long size, parent;
        const char* text;
    } cases[] = {
        {1, 3, "33"},        {2, 3, "66"},
        {4, 1000, "<1"},     {0, 1000, "<1"},
        {0, 0, "0"},         {5, 0, "0"},
        {1000, 1000, "100"}, {0x123456789ALL, 0x123456789ALL, "100"},
        {999, 1000, "99"},   {5000000000000LL, 10000000000000LL, "50"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dvo::app::RatioText(c.size, c.parent), c.text) << c.size << " of " << c.parent;
}

} // namespace
