#include "platform/RenameNoReplace.h"

#include "platform/UniqueFd.h"
#include "platform/WriteAll.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Keeps errno across the cleanup calls of a failure path.
class ErrnoKeeper {
public:
    ErrnoKeeper() : m_saved(errno) {}
    ~ErrnoKeeper() { errno = m_saved; }
    ErrnoKeeper(const ErrnoKeeper&) = delete;
    ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

private:
    int m_saved;
};

using Fd = UniqueFd;

bool CopyContents(int in, int out, off_t size) {
    // copy_file_range lets the kernel (or the file system) do the work; plain reads otherwise.
    off_t left = size;
    while (left > 0) {
        const ssize_t n =
            ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(left), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
                break;
            return false;
        }
        if (n == 0)
            break; // the file shrank meanwhile, or the call copies nothing here
        left -= n;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        if (!WriteAll(out, {buf, static_cast<std::size_t>(n)}))
            return false;
    }
}

int MoveFileAcrossFileSystems(const char* from, const char* to) {
    struct stat st = {};
    if (::lstat(from, &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = EXDEV;
        return -1;
    }
    Fd in(::open(from, O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return -1;
    // O_EXCL: the target appears only if nothing held the name.
    Fd out(::open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
    if (out.get() < 0)
        return -1;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!CopyContents(in.get(), out.get(), st.st_size) ||
        ::fchmod(out.get(), st.st_mode & 07777) != 0 || ::futimens(out.get(), times) != 0 ||
        ::fsync(out.get()) != 0 || out.close() != 0 || ::unlink(from) != 0) {
        ErrnoKeeper keep;
        ::unlink(to);
        return -1;
    }
    return 0;
}

} // namespace

int RenameNoReplace(const char* from, const char* to) noexcept {
    if (from == nullptr || to == nullptr) {
        errno = EFAULT;
        return -1;
    }
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without the no-replace flag: check first. Only there a name made between
        // the check and the rename can still be replaced.
        struct stat st = {};
        if (::lstat(to, &st) == 0) {
            errno = EEXIST;
            return -1;
        }
        if (::rename(from, to) == 0)
            return 0;
    }
    if (errno == EXDEV)
        return MoveFileAcrossFileSystems(from, to);
    return -1;
}

} // namespace platform
