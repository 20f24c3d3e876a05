#include "app/main/LongTimeFormat.h"

#include <cstdio>

namespace dvo::app {
namespace {

long long WrapToDay(long long milliseconds) {
    const long long day = LongTimeFormat::kMillisecondsPerDay;
    return ((milliseconds % day) + day) % day;
}

std::string Clock(int hour, int minute, int second, bool leadingZero) {
    char text[16];
    std::snprintf(text, sizeof text, leadingZero ? "%02d:%02d:%02d" : "%d:%02d:%02d", hour, minute,
                  second);
    return text;
}

} // namespace

LongTimeFormat LongTimeFormat::FromPattern(std::string_view pattern, std::string amMarker,
                                           std::string pmMarker) {
    LongTimeFormat format;
    format.amMarker = std::move(amMarker);
    format.pmMarker = std::move(pmMarker);
    bool hourSeen = false;
    bool lowerHour = false;
    bool markerSeen = false;
    std::size_t markerBegin = 0;
    std::size_t markerEnd = 0;
    std::size_t timeBegin = std::string_view::npos; // first and last character of h/m/s fields
    std::size_t timeEnd = 0;
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '\'') { // quoted text; '' inside it is a quote character
            for (++i; i < pattern.size(); ++i) {
                if (pattern[i] != '\'')
                    continue;
                if (i + 1 < pattern.size() && pattern[i + 1] == '\'')
                    ++i;
                else
                    break;
            }
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        if ((c == 'h' || c == 'H') && !hourSeen) {
            hourSeen = true;
            lowerHour = c == 'h';
            format.leadingZero = run >= 2;
        }
        if (c == 'h' || c == 'H' || c == 'm' || c == 's') {
            if (timeBegin == std::string_view::npos)
                timeBegin = i;
            timeEnd = i + run;
        }
        if ((c == 'A' || c == 'a') && !markerSeen) {
            markerSeen = true;
            markerBegin = i;
            // "AP" / "ap" / "aP" / "Ap" or a lone "A" / "a".
            markerEnd = i + 1 < pattern.size() && (pattern[i + 1] == 'P' || pattern[i + 1] == 'p')
                            ? i + 2
                            : i + 1;
            run = markerEnd - i;
        }
        i += run;
    }
    // Qt's lower-case h counts 1..12 only when the pattern has a marker.
    format.twelveHour = hourSeen && lowerHour && markerSeen;
    if (format.twelveHour && timeBegin != std::string_view::npos) {
        format.markerFirst = markerBegin < timeBegin;
        const std::string_view gap = format.markerFirst
                                         ? pattern.substr(markerEnd, timeBegin - markerEnd)
                                         : pattern.substr(timeEnd, markerBegin - timeEnd);
        format.markerSpaced = !gap.empty();
    }
    return format;
}

std::string LongTimeFormat::FormatTimeOfDay(long long milliseconds) const {
    const long long seconds = WrapToDay(milliseconds) / 1000;
    const int hour = static_cast<int>(seconds / 3600);
    const int minute = static_cast<int>(seconds / 60 % 60);
    const int second = static_cast<int>(seconds % 60);
    if (!twelveHour)
        return Clock(hour, minute, second, leadingZero);
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    const std::string& marker = hour < 12 ? amMarker : pmMarker;
    const std::string time = Clock(hour12, minute, second, leadingZero);
    const char* gap = markerSpaced ? " " : "";
    return markerFirst ? marker + gap + time : time + gap + marker;
}

std::string LongTimeFormat::FormatDuration(long long milliseconds) const {
    LongTimeFormat clock24 = *this;
    clock24.twelveHour = false;
    return clock24.FormatTimeOfDay(milliseconds);
}

} // namespace dvo::app
