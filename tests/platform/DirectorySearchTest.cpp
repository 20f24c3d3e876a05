// Wildcards of the directory search: only '*' and '?' are special, names compare as bytes.
#include "platform/DirectorySearch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DirectorySearch, WildcardTable) {
    struct Case {
        std::string pattern;
        std::string name;
        bool matches;
    };
    const Case cases[] = {
        {"*.txt", "a.txt", true},
        {"*.txt", "a.TXT", false},        // case-sensitive
        {"*.txt", ".txt", true},          // '*' also takes nothing
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"?.txt", "報.txt", true},         // '?' is one character of a UTF-8 name
        {"??.txt", "報.txt", false},
        {"?", "\xff", true},              // or one byte that starts no character
        {"a[1].txt", "a[1].txt", true},   // brackets are plain bytes
        {"a[1].txt", "a1.txt", false},
        {"x\\y", "x\\y", true},           // so is a backslash
        {"x\\y", "xy", false},
        {"report.*", "report.csv", true},
        {"report.*", "report", true},     // a trailing ".*" also takes names without extension
        {"report.*", "reports", false},
        {"*.*", "noext", true},
        {"*.*", ".", true},
        {"*.*", "..", true},
        {"*", ".", true},
        {".*", "", false},
        {"", "", false},
        {"*a*b*c", "aXbXbXc", true},
        {"*a*b*c", "aXbXbXd", false},
        {"**********************************x", std::string(1000, 'a'), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::MatchesWildcard(c.pattern, c.name), c.matches)
            << c.pattern << " / " << c.name;
}

TEST(DirectorySearch, SplitSearchPath) {
    EXPECT_EQ(platform::SplitSearchPath("/d/*.txt").folder, "/d");
    EXPECT_EQ(platform::SplitSearchPath("/d/*.txt").pattern, "*.txt");
    EXPECT_EQ(platform::SplitSearchPath("/x").folder, "/");
    EXPECT_EQ(platform::SplitSearchPath("x").folder, ".");
    EXPECT_EQ(platform::SplitSearchPath("/d/").pattern, "");
}

} // namespace
