// The ascending name order of the window: the user's collation, and a real one where the
// environment's locale is C or POSIX.
#include "app/qt/NameCollation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using dvo::qt::NameCollation;

std::vector<std::string> Sorted(std::vector<std::string> names, const NameCollation& collation) {
    std::stable_sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        return collation(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

TEST(NameCollation, CodePointLocalesGetARealCollation) {
    const struct {
        QLocale user;
        QLocale::Language expected;
    } cases[] = {
        {QLocale::c(), QLocale::Japanese},
        {QLocale(QLocale::English, QLocale::UnitedStates), QLocale::English},
        {QLocale(QLocale::German, QLocale::Germany), QLocale::German},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user.name().toStdString());
        const NameCollation collation(c.user);
        EXPECT_EQ(collation.Locale().language(), c.expected);
        // Letters by letter first, case second: never every capital before every small letter.
        EXPECT_EQ(Sorted({"B", "b", "a", "C", "A"}, collation),
                  (std::vector<std::string>{"a", "A", "b", "B", "C"}));
    }
}

TEST(NameCollation, NamesItHoldsEqualStillGetAnOrder) {
    const NameCollation collation(QLocale::c());
    EXPECT_EQ(collation("same", "same"), 0);
    // Two names whose bytes are not UTF-8 both read as U+FFFD; the bytes decide.
    EXPECT_LT(collation("x\xfe", "x\xff"), 0);
    EXPECT_GT(collation("x\xff", "x\xfe"), 0);
    // Japanese names keep the kana order.
    EXPECT_LT(collation("\xE3\x81\x82", "\xE3\x81\x8B"), 0); // あ before か
}

} // namespace
