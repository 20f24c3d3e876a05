// Search paths of the directory search: folder and pattern.
#include "platform/DirectorySearch.h"

#include <gtest/gtest.h>

namespace {

TEST(DirectorySearch, SplitSearchPath) {
    EXPECT_EQ(platform::SplitSearchPath("/d/*.txt").folder, "/d");
    EXPECT_EQ(platform::SplitSearchPath("/d/*.txt").pattern, "*.txt");
    EXPECT_EQ(platform::SplitSearchPath("/x").folder, "/");
    EXPECT_EQ(platform::SplitSearchPath("x").folder, ".");
    EXPECT_EQ(platform::SplitSearchPath("/d/").pattern, "");
}

} // namespace
