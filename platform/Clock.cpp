#include "platform/Clock.h"

#include <cstdio>
#include <mutex>
#include <pthread.h>

namespace platform {
namespace {

// localtime_r holds a time-zone lock of the C library that fork() does not release: a child
// forked while another thread converted a time would wait for it for ever. Our conversions
// take this lock first, and fork waits for it, so no thread of ours is inside at that moment.
std::mutex g_localTimeLock;
void LockLocalTime() { g_localTimeLock.lock(); }
void UnlockLocalTime() { g_localTimeLock.unlock(); }

// Registered before any other handler of the library, so that fork takes this lock last: a
// thread may read the time while it holds one of the libraries' own locks.
__attribute__((constructor(101))) void RegisterLocalTimeForkHandlers() {
    ::pthread_atfork(&LockLocalTime, &UnlockLocalTime, &UnlockLocalTime);
}

} // namespace

LocalTime ToLocalTime(const timespec& ts) {
    struct tm tm = {};
    const time_t seconds = ts.tv_sec;
    {
        std::lock_guard<std::mutex> lock(g_localTimeLock);
        ::localtime_r(&seconds, &tm);
    }
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.weekday = tm.tm_wday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return t;
}

LocalTime LocalNow() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ToLocalTime(ts);
}

std::string FormatCtime(const LocalTime& t) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* day = t.weekday >= 0 && t.weekday < 7 ? kDays[t.weekday] : "???";
    const char* month = t.month >= 1 && t.month <= 12 ? kMonths[t.month - 1] : "???";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %04d", day, month, t.day, t.hour,
                  t.minute, t.second, t.year);
    return buf;
}

SystemTime ToSystemTime(const LocalTime& t) {
    auto u16 = [](int v) { return static_cast<std::uint16_t>(v); };
    return SystemTime{u16(t.year), u16(t.month),  u16(t.weekday), u16(t.day),
                      u16(t.hour), u16(t.minute), u16(t.second),  u16(t.millisecond)};
}

} // namespace platform
