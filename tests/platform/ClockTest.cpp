#include "platform/Clock.h"
#include "tests/support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// A child forked while another thread reads the local time can read it too: the C library's
// time-zone lock is never left held by a thread the child does not have.
TEST(Clock, ForkedChildReadsLocalTimeWhileAnotherThreadDoes) {
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop)
            (void)platform::LocalNow();
    });
    int hung = 0;
    for (int round = 0; round < 40 && hung == 0; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            (void)platform::LocalNow();
            ::_exit(0);
        }
        bool ended = false;
        for (int i = 0; i < 200 && !ended; ++i) {
            ended = ::waitpid(pid, nullptr, WNOHANG) == pid;
            if (!ended)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!ended) {
            ++hung;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    stop = true;
    reader.join();
    EXPECT_EQ(hung, 0);
}

} // namespace
