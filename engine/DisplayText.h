#pragma once
// The display texts of sizes and times, shared by the exports and dvoscan.
#include <cstdint>
#include <string>
#include <string_view>

namespace dvo {

// "0 B", "999 B", "1023 B", "1.00 KB", "12.5 MB", "123 GB": 1024-based, three significant
// digits from KB on (a value that rounds to 1024 moves to the next unit).
[[nodiscard]] std::string FormatFileSize(std::int64_t size);

// Writes `text` (ASCII) as UTF-16 into a buffer of bufferBytes bytes, cut to fit, always
// terminated. Returns the units written without the NUL, or -1 when nothing can be written.
int CopyToUtf16Buffer(const std::string& text, char16_t* buffer, int bufferBytes) noexcept;

// How many units of `text` fit in `room` without splitting a surrogate pair at the cut.
[[nodiscard]] inline std::size_t FittingUnits(std::u16string_view text, std::size_t room) noexcept {
    if (text.size() <= room) {
        return text.size();
    }
    const bool splitsPair = room > 0 && text[room - 1] >= 0xD800 && text[room - 1] <= 0xDBFF &&
                            text[room] >= 0xDC00 && text[room] <= 0xDFFF;
    return splitsPair ? room - 1 : room;
}

} // namespace dvo
