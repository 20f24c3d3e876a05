#pragma once
// Writes every byte, across short writes and interrupted calls.
#include <string_view>

namespace platform {

// true once all of bytes is written to fd; false with errno set (ENOSPC when the file took
// nothing) as soon as a write fails, part of bytes possibly written.
[[nodiscard]] bool WriteAll(int fd, std::string_view bytes) noexcept;

} // namespace platform
