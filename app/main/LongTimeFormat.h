#pragma once
// The user's long time format for the diagnostics window: hours, then two-digit minutes and
// seconds separated by colons. Only the hour follows the user's settings: its leading zero, the
// 12- or 24-hour clock and the AM/PM marker with its place. The widgets derive it from the
// locale's pattern, so the logic needs no toolkit and tests can pick any form.
#include <string>
#include <string_view>

namespace dvo::app {

struct LongTimeFormat {
    static constexpr int kMillisecondsPerDay = 24 * 60 * 60 * 1000;

    bool leadingZero = true; // "09:05:03" rather than "9:05:03"
    bool twelveHour = false; // 1..12 with a marker instead of 0..23
    std::string amMarker = "AM";
    std::string pmMarker = "PM";
    bool markerFirst = false; // "午前9:05:03" rather than "9:05:03 PM"
    bool markerSpaced = true; // a space between the marker and the time

    // Reads the hour form out of a time pattern in Qt's notation (QLocale::timeFormat): the hour
    // field (h, hh, H, HH) and the AM/PM field (AP, ap, A, a) and their order. Everything else
    // (separators, time zone, quoted text) is ignored: minutes and seconds always take two digits
    // after a colon.
    [[nodiscard]] static LongTimeFormat FromPattern(std::string_view pattern, std::string amMarker,
                                                    std::string pmMarker);

    // A time of day given in milliseconds after midnight; the milliseconds are dropped, values
    // outside one day are taken modulo a day.
    [[nodiscard]] std::string FormatTimeOfDay(long long milliseconds) const;

    // A duration in the same form but always on the 24-hour clock without a marker, so five
    // seconds read "0:00:05" and never "12:00:05 AM". Times of day carry no date, so a negative
    // difference is a run across midnight and counts from the previous day.
    [[nodiscard]] std::string FormatDuration(long long milliseconds) const;
};

} // namespace dvo::app
