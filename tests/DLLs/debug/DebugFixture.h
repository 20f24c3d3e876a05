#pragma once
// The library's world for one test: a fresh temporary current folder (every default name is
// relative), the default names back, a fake clock the test sets, and the queued logs forgotten
// with the supervisor held, so that a test runs the cycles itself.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "DLLs/debug/DebugClock.h"
#include "DLLs/debug/QueuedLogs.h"
#include "DLLs/debug/debug.h"
#include "platform/Clock.h"
#include "tests/support/TempDir.h"

namespace debug_test {

inline std::atomic<long long> g_fakeSeconds{0};
inline std::atomic<long> g_fakeNanoseconds{0};

inline timespec FakeNow() {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(g_fakeSeconds.load());
    ts.tv_nsec = g_fakeNanoseconds.load();
    return ts;
}

// Sets the fake clock to a local time.
inline void SetLocalNow(int year, int month, int day, int hour, int minute, int second,
                        int millisecond) {
    struct tm tm = {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    g_fakeSeconds = static_cast<long long>(::mktime(&tm));
    g_fakeNanoseconds = millisecond * 1000000L + 123456; // sub-millisecond part is dropped
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Lines of a file, each without its CR LF (a text that does not end in CR LF fails the test).
inline std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text does not end in CR LF: " << text.substr(start);
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class DebugFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir.path());
        SetLocalNow(2026, 12, 8, 21, 48, 15, 42); // Tue Dec 08 21:48:15.042
        dbg::SetClock(&FakeNow);
        dbg::HoldSupervisor(true);
        dbg::ResetQueuedLogs();
    }
    void TearDown() override {
        dbg::ResetQueuedLogs();
        dbg::HoldSupervisor(false);
        dbg::SetClock(nullptr);
        ErrInit("Error.txt");
        LogInit("Log.txt");
        CDRInit("CDR.txt");
        DebugInit("Debug.txt");
        std::filesystem::current_path(m_previous);
    }

    dvo::test::TempDir m_dir;
    std::filesystem::path m_previous;
};

} // namespace debug_test
