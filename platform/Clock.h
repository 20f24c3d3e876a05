#pragma once
// Local time with milliseconds, taken from one reading of the clock, and the ctime text form
// with a zero-padded day ("Tue Dec 08 21:35:36 2026").
#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

struct LocalTime {
    int year = 1970;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int weekday = 4; // 0 = Sunday
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0; // 0..999
};

// The current local time; date, time and milliseconds all come from one clock_gettime reading.
[[nodiscard]] LocalTime LocalNow();

// A realtime clock reading as local time.
[[nodiscard]] LocalTime ToLocalTime(const timespec& ts);

// "Www Mmm dd hh:mm:ss yyyy" (24 characters, no line end): English names, day with a leading
// zero, 24-hour clock. The first 19 characters are the log lines' time stamp.
[[nodiscard]] std::string FormatCtime(const LocalTime& t);

// Windows SYSTEMTIME layout: eight 16-bit fields, local time.
struct SystemTime {
    std::uint16_t wYear;
    std::uint16_t wMonth;
    std::uint16_t wDayOfWeek;
    std::uint16_t wDay;
    std::uint16_t wHour;
    std::uint16_t wMinute;
    std::uint16_t wSecond;
    std::uint16_t wMilliseconds;
};
static_assert(sizeof(SystemTime) == 16);

[[nodiscard]] SystemTime ToSystemTime(const LocalTime& t);

} // namespace platform
