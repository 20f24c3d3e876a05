#include "engine/DisplayText.h"

#include <cstdio>

#include "engine/DVOSUB.h"

namespace dvo {

std::string FormatFileSize(std::int64_t size) {
    std::string sign;
    std::uint64_t bytes = static_cast<std::uint64_t>(size);
    if (size < 0) {
        sign = "-";
        bytes = 0 - bytes; // also right for the most negative value
    }
    if (bytes < 1024) {
        char small[8];
        std::snprintf(small, sizeof small, "%u", static_cast<unsigned>(bytes));
        return sign + small + " B";
    }
    static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    char text[32];
    for (;;) {
        // Three significant digits; the rounded text decides, so 9.999 KB shows as "10.0 KB".
        if (value < 9.995) {
            std::snprintf(text, sizeof text, "%.2f", value);
        } else if (value < 99.95) {
            std::snprintf(text, sizeof text, "%.1f", value);
        } else if (value < 1023.5 || unit + 1 == std::size(kUnits)) {
            std::snprintf(text, sizeof text, "%.0f", value);
        } else {
            value /= 1024.0;
            ++unit;
            continue;
        }
        break;
    }
    return sign + text + " " + kUnits[unit];
}

int CopyToUtf16Buffer(const std::string& text, char16_t* buffer, int bufferBytes) noexcept {
    if (buffer == nullptr || bufferBytes < 2) {
        return -1;
    }
    const std::size_t room = static_cast<std::size_t>(bufferBytes) / 2 - 1;
    const std::size_t n = text.size() < room ? text.size() : room;
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    }
    buffer[n] = u'\0';
    return static_cast<int>(n);
}

} // namespace dvo

extern "C" {

DVO_API int DVOFileSize2String(char16_t* buffer, int bufferBytes, long long size) {
    try {
        const int n = dvo::CopyToUtf16Buffer(dvo::FormatFileSize(size), buffer, bufferBytes);
        return n < 0 ? DVO_E_INVALID_ARGUMENT : n;
    } catch (...) {
        if (buffer != nullptr && bufferBytes >= 2)
            buffer[0] = u'\0';
        return DVO_E_IO;
    }
}

DVO_API int DVOSystemTime2String(char16_t* buffer, int bufferBytes, const DVOSystemTime* time) {
    if (time == nullptr) {
        if (buffer != nullptr && bufferBytes >= 2) {
            buffer[0] = u'\0';
        }
        return DVO_E_INVALID_ARGUMENT;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u", unsigned{time->wYear},
                  unsigned{time->wMonth}, unsigned{time->wDay}, unsigned{time->wHour},
                  unsigned{time->wMinute});
    try {
        const int n = dvo::CopyToUtf16Buffer(text, buffer, bufferBytes);
        return n < 0 ? DVO_E_INVALID_ARGUMENT : n;
    } catch (...) {
        return DVO_E_IO;
    }
}

} // extern "C"
