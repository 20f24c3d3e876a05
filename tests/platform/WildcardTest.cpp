// The wildcard matcher shared by every directory search: only '*' and '?' are special, '?' is one
// UTF-8 character, names compare as bytes, and a literal part never acts as a pattern.
#include "platform/Wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Wildcard, PatternTable) {
    struct Case {
        std::string pattern;
        std::string name;
        bool matches;
    };
    const Case cases[] = {
        {"*.txt", "a.txt", true},
        {"*.txt", "a.TXT", false}, // case-sensitive
        {"*.txt", ".txt", true},   // '*' also takes nothing
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"?.txt", "報.txt", true}, // '?' is one character of a UTF-8 name
        {"??.txt", "報.txt", false},
        {"*??", "報", false}, // a star takes whole characters, not part of one
        {"*?", "a報", true},
        {"?", "\xff", true},      // or one byte that starts no character
        {"??", "\xe5\xa0", true}, // a cut sequence is bytes of its own
        {"caf?.txt", "caf\xe9.txt", true},
        {"a[1].txt", "a[1].txt", true}, // brackets are plain bytes
        {"a[1].txt", "a1.txt", false},
        {"x\\y", "x\\y", true}, // so is a backslash
        {"x\\y", "xy", false},
        {"report.*", "report.csv", true},
        {"report.*", "report", true}, // a trailing ".*" also takes names without extension
        {"report.*", "report.tar.gz", true},
        {"report.*", "reports", false},
        {"*.*", "noext", true},
        {"*.*", ".", true},
        {"*.*", "..", true},
        {"*", ".", true},
        {".*", "", false},
        {"", "", false},
        {"", "a", false},
        {"*a*b*c", "aXbXbXc", true},
        {"*a*b*c", "aXbXbXd", false},
        {"**********************************x", std::string(1000, 'a'), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::MatchesWildcard(c.pattern, c.name), c.matches)
            << c.pattern << " / " << c.name;
}

// A family search: the base of a real file name, then the one wildcard the caller adds.
TEST(Wildcard, LiteralPartIsPlainBytes) {
    struct Case {
        std::string literal;
        std::string pattern;
        std::string name;
        bool matches;
    };
    const Case cases[] = {
        {"report", ".*", "report", true},
        {"report", ".*", "report.csv", true},
        {"report", ".*", "report.tar.gz", true},
        {"report", ".*", "reports", false},
        {"report", ".*", "Report.csv", false},
        {"a?", ".*", "a?.txt", true},
        {"a?", ".*", "ab.txt", false},
        {"a?", ".*", "ac.csv", false},
        {"*", ".*", "*.txt", true},
        {"*", ".*", "x.txt", false},
        {"*", ".*", "*", true},
        {"a.", "*", "a", false}, // a dot of the real name is no wildcard's dot
        {"a.", "*", "a.", true},
        {"報", "?", "報告", true},
        {"", ".*", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::MatchesWildcard(c.literal, c.pattern, c.name), c.matches)
            << c.literal << " + " << c.pattern << " / " << c.name;
}

} // namespace
