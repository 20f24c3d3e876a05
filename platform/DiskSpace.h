#pragma once
// The size and free space of the file system that holds a folder, as df shows them.
#include <string>

namespace platform {

struct DiskSpace {
    long long totalBytes = 0;
    // What an ordinary user may still write (f_bavail): the blocks kept for root are not free
    // to the person looking at the status bar.
    long long freeBytes = 0;
};

// statvfs of path: 0 and the figures, or the errno (ENOENT, EACCES, ...) with space untouched.
// Figures beyond the range of long long saturate rather than wrap.
[[nodiscard]] int QueryDiskSpace(const std::string& path, DiskSpace& space) noexcept;

} // namespace platform
