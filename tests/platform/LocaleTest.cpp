#include "platform/Locale.h"
#include "tests/support/ScopedEnv.h"

#include <gtest/gtest.h>

namespace {

TEST(Locale, LanguageIdTable) {
    const struct {
        const char* locale;
        unsigned id;
    } cases[] = {
        {"ja_JP.UTF-8", 0x0411}, {"ja_JP", 0x0411},
        {"ja", 0x0411},          {"en_US.UTF-8", 0x0409},
        {"en_GB", 0x0809},       {"de_AT@euro", 0x0C07},
        {"zh_TW.Big5", 0x0404},  {"pt_AO", 0x0416}, // unknown territory: the language's main one
        {"C", 0x0409},           {"POSIX", 0x0409},
        {"C.UTF-8", 0x0409},     {"", 0x0409},
        {"xx_YY", 0x0409},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::LanguageIdForLocale(c.locale), c.id) << c.locale;
}

TEST(Locale, EnvironmentPrecedence) {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", nullptr);
    ScopedEnv lang("LANG", nullptr);
    EXPECT_EQ(platform::LanguageIdFromEnvironment(), 0x0409u);
    ::setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(platform::LanguageIdFromEnvironment(), 0x0411u);
    ::setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    EXPECT_EQ(platform::LanguageIdFromEnvironment(), 0x0407u);
    ::setenv("LC_ALL", "fr_FR.UTF-8", 1);
    EXPECT_EQ(platform::LanguageIdFromEnvironment(), 0x040Cu);
    ::setenv("LC_ALL", "", 1); // empty counts as unset
    EXPECT_EQ(platform::LanguageIdFromEnvironment(), 0x0407u);
}

TEST(Locale, CollateCompareOrdersAndKeepsEquality) {
    EXPECT_LT(platform::CollateCompare("apple", "banana"), 0);
    EXPECT_GT(platform::CollateCompare("banana", "apple"), 0);
    EXPECT_EQ(platform::CollateCompare("\xE6\x97\xA5", "\xE6\x97\xA5"), 0);
    EXPECT_LT(platform::CollateCompare("", "a"), 0);
}

} // namespace
