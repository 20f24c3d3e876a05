#pragma once
// The display texts of sizes and times, shared by the exports and dvoscan.
#include <cstdint>
#include <string>

namespace dvo {

// "0 B", "999 B", "1023 B", "1.00 KB", "12.5 MB", "123 GB": 1024-based, three significant
// digits from KB on (a value that rounds to 1024 moves to the next unit).
[[nodiscard]] std::string FormatFileSize(std::int64_t size);

// Writes `text` (ASCII) as UTF-16 into a buffer of bufferBytes bytes, cut to fit, always
// terminated. Returns the units written without the NUL, or -1 when nothing can be written.
int CopyToUtf16Buffer(const std::string& text, char16_t* buffer, int bufferBytes) noexcept;

} // namespace dvo
