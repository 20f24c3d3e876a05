#include "platform/DiskSpace.h"

#include <cerrno>
#include <climits>
#include <sys/statvfs.h>

namespace platform {
namespace {

long long Bytes(unsigned long long blocks, unsigned long long blockSize) {
    unsigned long long bytes = 0;
    if (__builtin_mul_overflow(blocks, blockSize, &bytes) || bytes > LLONG_MAX)
        return LLONG_MAX;
    return static_cast<long long>(bytes);
}

} // namespace

int QueryDiskSpace(const std::string& path, DiskSpace& space) noexcept {
    struct statvfs info {};
    if (path.empty())
        return ENOENT;
    if (::statvfs(path.c_str(), &info) != 0)
        return errno != 0 ? errno : EIO;
    // f_frsize is the unit of the block counts; some file systems leave it 0.
    const unsigned long long unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    space.totalBytes = Bytes(info.f_blocks, unit);
    space.freeBytes = Bytes(info.f_bavail, unit);
    return 0;
}

} // namespace platform
