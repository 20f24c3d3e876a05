// The ascending name order of the window: the user's collation, and a real one where the
// environment's locale is C or POSIX.
#include "app/qt/NameCollation.h"

#include <gtest/gtest.h>

#include <QCollator>

#include <algorithm>
#include <cstring>
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

// The order read from UTF-8 is QCollator's on the same names, in languages whose rules differ
// (accents, case, kana and kanji, digits, punctuation), strcmp deciding where both tie.
TEST(NameCollation, OrdersAsQtsCollatorDoes) {
    const std::vector<std::string> names = {
        "a",      "A",      "á", "Ä",     "ae",    "æ",  "b",   "B10",  "B2",        "résumé",
        "resume", "Resume", "ß", "ss",    "å",     "z",  "_x",  "-x",   ".hidden",   "x y",
        "x-y",    "x_y",    "9", "10",    "ｱ",     "ア", "あ",  "か",   "漢字",      "日本",
        "한글",   "Ω",      "ω", "x\xff", "x\xfe", "",   "ﬁle", "file", "e\xcc\x81",
    };
    for (const QLocale& locale :
         {QLocale(QLocale::Japanese, QLocale::Japan),
          QLocale(QLocale::English, QLocale::UnitedStates),
          QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Swedish, QLocale::Sweden)}) {
        SCOPED_TRACE(locale.name().toStdString());
        const NameCollation collation(locale);
        const QCollator qt(dvo::qt::NameCollationLocale(locale));
        for (const std::string& a : names)
            for (const std::string& b : names) {
                int expected =
                    qt.compare(QString::fromUtf8(a.c_str()), QString::fromUtf8(b.c_str()));
                if (expected == 0)
                    expected = std::strcmp(a.c_str(), b.c_str());
                const int got = collation(a.c_str(), b.c_str());
                EXPECT_EQ((got > 0) - (got < 0), (expected > 0) - (expected < 0)) << a << " " << b;
            }
    }
}
