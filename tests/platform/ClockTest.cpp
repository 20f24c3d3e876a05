#include "ScopedEnv.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace {

TEST(Clock, CtimeFormHasZeroPaddedDayAndEnglishNames) {
    const struct {
        platform::LocalTime t;
        const char* text;
    } cases[] = {
        {{2026, 12, 8, 2, 21, 35, 36, 42}, "Tue Dec 08 21:35:36 2026"},
        {{2027, 1, 1, 5, 0, 0, 0, 0}, "Fri Jan 01 00:00:00 2027"},
        {{1999, 7, 31, 6, 9, 5, 7, 999}, "Sat Jul 31 09:05:07 1999"},
        {{2024, 2, 29, 4, 23, 59, 59, 0}, "Thu Feb 29 23:59:59 2024"},
        {{2026, 3, 15, 0, 12, 0, 0, 0}, "Sun Mar 15 12:00:00 2026"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::FormatCtime(c.t), c.text);
        EXPECT_EQ(platform::FormatCtime(c.t).substr(0, 19), std::string(c.text).substr(0, 19));
    }
}

TEST(Clock, LocalTimeKeepsMillisecondsOfTheSameReading) {
    ScopedEnv tz("TZ", "JST-9"); // POSIX form: needs no time-zone database
    ::tzset();
    // 2026-12-08 12:35:36.042 UTC is 21:35:36.042 in Tokyo, a Tuesday.
    const timespec ts{1796733336, 42999999};
    const platform::LocalTime t = platform::ToLocalTime(ts);
    EXPECT_EQ(platform::FormatCtime(t), "Tue Dec 08 21:35:36 2026");
    EXPECT_EQ(t.millisecond, 42);
    const platform::SystemTime st = platform::ToSystemTime(t);
    EXPECT_EQ(st.wYear, 2026);
    EXPECT_EQ(st.wMonth, 12);
    EXPECT_EQ(st.wDayOfWeek, 2);
    EXPECT_EQ(st.wDay, 8);
    EXPECT_EQ(st.wHour, 21);
    EXPECT_EQ(st.wMilliseconds, 42);
}

} // namespace
