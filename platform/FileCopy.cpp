#include "platform/FileCopy.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <map>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace platform {
namespace {

using Fd = UniqueFd;

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Records the first failure only: later ones are usually consequences of it.
int Fail(FileOpError* error, int code, const char* step, const std::string& path,
         FileOpFailure kind = FileOpFailure::Call) {
    if (error != nullptr && error->error == 0) {
        error->error = code;
        error->kind = kind;
        error->step = step;
        error->path = path;
    }
    return code;
}

std::string Join(const std::string& base, const std::string& name) {
    return base.empty() ? name : base + '/' + name;
}

bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool Matches(const struct stat& st, const ExpectedEntry& expected) {
    return !expected.check || (st.st_dev == expected.device && st.st_ino == expected.inode &&
                               (st.st_mode & S_IFMT) == expected.type);
}

ExpectedEntry ExpectationOf(const struct stat& st) {
    return ExpectedEntry{true, st.st_dev, st.st_ino, static_cast<mode_t>(st.st_mode & S_IFMT)};
}

// Names of the folder open at `dir`, without "." and "..". Read completely before anything in
// the folder changes, so removing entries cannot disturb the listing.
struct DirEntry {
    std::string name;
    unsigned char type; // d_type: DT_UNKNOWN when the file system does not tell
};

int ListEntries(int dir, std::vector<DirEntry>& entries) {
    const int copy = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return errno;
    DIR* stream = ::fdopendir(copy);
    if (stream == nullptr) {
        const int e = errno;
        ::close(copy);
        return e;
    }
    ::rewinddir(stream);
    int result = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream);
        if (entry == nullptr) {
            result = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            entries.push_back({name, entry->d_type});
    }
    ::closedir(stream);
    return result;
}

int ListNames(int dir, std::vector<std::string>& names) {
    std::vector<DirEntry> entries;
    const int result = ListEntries(dir, entries);
    for (auto& e : entries)
        names.push_back(std::move(e.name));
    return result;
}

// Entries a cross-device move copied, with the modification time and size they had when they
// were copied: removing the source afterwards removes only those, so an entry added or changed
// during the copy is kept.
class CopiedSet {
public:
    void Add(const struct stat& st) {
        m_entries[{st.st_dev, st.st_ino}] = {st.st_mtim, S_ISDIR(st.st_mode) ? 0 : st.st_size};
    }
    [[nodiscard]] bool Contains(const struct stat& st) const {
        const auto it = m_entries.find({st.st_dev, st.st_ino});
        if (it == m_entries.end())
            return false;
        if (S_ISDIR(st.st_mode))
            return true; // a folder's own time changes with its entries; those are checked one by one
        return it->second.mtime.tv_sec == st.st_mtim.tv_sec &&
               it->second.mtime.tv_nsec == st.st_mtim.tv_nsec && it->second.size == st.st_size;
    }

private:
    struct Seen {
        timespec mtime;
        off_t size;
    };
    std::map<std::pair<dev_t, ino_t>, Seen> m_entries;
};

bool IsMountRootOrDevice(int fd, const struct stat& st, dev_t rootDevice) {
    return st.st_dev != rootDevice || IsMountRoot(fd);
}

// Walks below a folder keep only the descriptors of the last few levels open; a level further
// up is opened again through ".." of the one below it when the walk gets back to it (checked to
// be the same folder), so any depth works within a small descriptor budget.
constexpr std::size_t kOpenLevels = 8;

// Opens the parent of the folder open at `child` again and checks it is still `expected`.
Fd ReopenParent(int child, const struct stat& expected) {
    Fd parent(::openat(child, "..", kDirFlags));
    struct stat st = {};
    if (!parent.valid() || ::fstat(parent.get(), &st) != 0)
        return Fd();
    if (!SameInode(st, expected)) {
        errno = ESTALE;
        return Fd();
    }
    return parent;
}

class Remover {
public:
    Remover(FileOpError* error, dev_t device, const CopiedSet* only, bool makeWritable)
        : m_error(error), m_device(device), m_only(only), m_makeWritable(makeWritable) {}

    // True when the entry is gone.
    bool Remove(int dir, const std::string& name, const struct stat& st, const std::string& path) {
        if (m_only != nullptr && !m_only->Contains(st)) {
            Fail(m_error, ENOTEMPTY, "changed during the move", path,
                 FileOpFailure::ChangedDuringMove);
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (::unlinkat(dir, name.c_str(), 0) != 0) {
                Fail(m_error, errno, "unlink", path);
                return false;
            }
            return true;
        }
        std::vector<Frame> stack;
        {
            Frame top;
            if (!Open(dir, name, st, path, top))
                return false;
            stack.push_back(std::move(top));
        }
        bool gone = false;
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.next < f.entries.size()) {
                const DirEntry& entry = f.entries[f.next++];
                Frame child;
                if (Step(f, entry, child)) {
                    stack.push_back(std::move(child));
                    if (stack.size() > kOpenLevels)
                        stack[stack.size() - 1 - kOpenLevels].fd.close();
                }
                continue;
            }
            // Everything below f has been tried: f itself goes from its parent's folder.
            Frame done = std::move(stack.back());
            stack.pop_back();
            int parentFd = dir;
            if (!stack.empty()) {
                Frame& parent = stack.back();
                if (!parent.fd.valid())
                    parent.fd = ReopenParent(done.fd.get(), parent.st);
                if (!parent.fd.valid()) {
                    Fail(m_error, errno, "open", parent.path);
                    parent.all = false;
                    continue;
                }
                parentFd = parent.fd.get();
            }
            bool removed = false;
            if (!done.all) {
                // removing the folder could only fail with ENOTEMPTY now
            } else if (::unlinkat(parentFd, done.name.c_str(), AT_REMOVEDIR) != 0) {
                Fail(m_error, errno, "rmdir", done.path);
            } else {
                removed = true;
            }
            if (!stack.empty())
                stack.back().all = stack.back().all && removed;
            else
                gone = removed;
        }
        return gone;
    }

private:
    struct Frame {
        Fd fd;             // closed while the walk is far below it
        struct stat st {}; // the folder as opened
        std::string name;  // its name in its parent folder
        std::string path;  // relative to the operation's root, for messages
        std::vector<DirEntry> entries;
        std::size_t next = 0;
        bool all = true; // everything below it removed so far
    };

    // Opens and lists a folder to empty; false (reported) when it must be left alone.
    bool Open(int dir, const std::string& name, const struct stat& st, const std::string& path,
              Frame& frame) {
        frame.fd = Fd(::openat(dir, name.c_str(), kDirFlags));
        if (!frame.fd.valid() || ::fstat(frame.fd.get(), &frame.st) != 0) {
            Fail(m_error, errno, "open", path);
            return false;
        }
        if (!SameInode(frame.st, st)) {
            Fail(m_error, ESTALE, "open", path);
            return false;
        }
        // Emptying a mount point would delete another file system's contents.
        if (IsMountRootOrDevice(frame.fd.get(), frame.st, m_device)) {
            Fail(m_error, EXDEV, "mount point", path, FileOpFailure::MountPoint);
            return false;
        }
        // Clearing up after a failed copy: a folder the copy already gave a read-only mode must
        // be writable again to be emptied.
        if (m_makeWritable && (frame.st.st_mode & 0700) != 0700)
            (void)::fchmod(frame.fd.get(), (frame.st.st_mode & 07777) | 0700);
        if (const int e = ListEntries(frame.fd.get(), frame.entries); e != 0) {
            Fail(m_error, e, "read", path);
            return false;
        }
        frame.name = name;
        frame.path = path;
        return true;
    }

    // One entry of the folder f: removed at once, or true with `child` the folder to go into.
    bool Step(Frame& f, const DirEntry& entry, Frame& child) {
        const std::string path = Join(f.path, entry.name);
        // What the listing says is no folder is unlinked at once (unlink never removes a
        // folder, so a folder put there meanwhile fails with EISDIR and is looked at below).
        if (m_only == nullptr && entry.type != DT_DIR && entry.type != DT_UNKNOWN) {
            if (::unlinkat(f.fd.get(), entry.name.c_str(), 0) == 0 || errno == ENOENT)
                return false;
            if (errno != EISDIR && errno != EPERM) {
                Fail(m_error, errno, "unlink", path);
                f.all = false;
                return false;
            }
        }
        struct stat cst = {};
        if (::fstatat(f.fd.get(), entry.name.c_str(), &cst, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                Fail(m_error, errno, "stat", path);
                f.all = false;
            }
            return false;
        }
        if (m_only != nullptr && !m_only->Contains(cst)) {
            Fail(m_error, ENOTEMPTY, "changed during the move", path,
                 FileOpFailure::ChangedDuringMove);
            f.all = false;
            return false;
        }
        if (!S_ISDIR(cst.st_mode)) {
            if (::unlinkat(f.fd.get(), entry.name.c_str(), 0) != 0) {
                Fail(m_error, errno, "unlink", path);
                f.all = false;
            }
            return false;
        }
        if (!Open(f.fd.get(), entry.name, cst, path, child)) {
            f.all = false;
            return false;
        }
        return true;
    }

    FileOpError* m_error;
    dev_t m_device;
    const CopiedSet* m_only;
    bool m_makeWritable;
};

int RemoveTree(int dir, const std::string& name, const ExpectedEntry& expected,
               const CopiedSet* only, FileOpError* error, bool makeWritable = false) {
    struct stat st = {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(error, errno, "stat", name);
    if (!Matches(st, expected))
        return Fail(error, ESTALE, "stat", name);
    FileOpError first;
    Remover(&first, st.st_dev, only, makeWritable).Remove(dir, name, st, name);
    if (first.error != 0 && error != nullptr && error->error == 0)
        *error = first;
    return first.error;
}

// Counts what a copy has done and tells its CopyProgress now and then; inactive without one.
class ProgressMeter {
public:
    explicit ProgressMeter(const CopyProgress* report) : m_report(report) {}

    [[nodiscard]] bool Active() const { return m_report != nullptr && *m_report; }
    void SetTotal(long long total) {
        m_total = total;
        m_reported = false; // the first report with the total is never held back
    }
    // Adds copied bytes; false when the caller asked to stop (told once, then always false).
    [[nodiscard]] bool Add(long long bytes, const std::string& path) {
        if (!Active())
            return true;
        if (m_cancelled)
            return false;
        m_done += bytes;
        const auto now = std::chrono::steady_clock::now();
        const bool last = m_total >= 0 && m_done == m_total && bytes > 0;
        if (m_reported && !last && now - m_last < std::chrono::milliseconds(kProgressIntervalMs))
            return true;
        m_reported = true;
        m_last = now;
        m_cancelled = !(*m_report)(m_total < 0 ? 0 : m_done, m_total, path);
        return !m_cancelled;
    }

private:
    const CopyProgress* m_report;
    long long m_done = 0;
    long long m_total = -1;
    bool m_reported = false;
    bool m_cancelled = false;
    std::chrono::steady_clock::time_point m_last{};
};

// Bytes of the regular files of the entry (below a folder, without following links), for the
// total of a copy's progress; the meter hears of the counting so that a cancel is seen early.
// ECANCELED when cancelled; entries that cannot be read count nothing (the copy reports them).
int CountBytes(int dir, const std::string& name, const struct stat& st, ProgressMeter& meter,
               long long& total) {
    total = 0;
    if (!S_ISDIR(st.st_mode)) {
        total = S_ISREG(st.st_mode) ? st.st_size : 0;
        return 0;
    }
    struct Level {
        Fd fd;
        struct stat st {};
        std::vector<DirEntry> entries;
        std::size_t next = 0;
    };
    auto open = [](int at, const std::string& n, const struct stat& expected, Level& level) {
        level.fd = Fd(::openat(at, n.c_str(), kDirFlags));
        return level.fd.valid() && ::fstat(level.fd.get(), &level.st) == 0 &&
               SameInode(level.st, expected) && ListEntries(level.fd.get(), level.entries) == 0;
    };
    std::vector<Level> stack;
    {
        Level top;
        if (!open(dir, name, st, top))
            return 0;
        stack.push_back(std::move(top));
    }
    while (!stack.empty()) {
        Level& f = stack.back();
        if (f.next == f.entries.size()) {
            Level done = std::move(stack.back());
            stack.pop_back();
            if (!stack.empty() && !stack.back().fd.valid()) {
                stack.back().fd = ReopenParent(done.fd.get(), stack.back().st);
                if (!stack.back().fd.valid())
                    stack.back().next = stack.back().entries.size(); // cannot go on there
            }
            continue;
        }
        const DirEntry& entry = f.entries[f.next++];
        if (!meter.Add(0, entry.name))
            return ECANCELED;
        struct stat cst = {};
        if (::fstatat(f.fd.get(), entry.name.c_str(), &cst, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(cst.st_mode)) {
            total += cst.st_size;
        } else if (S_ISDIR(cst.st_mode)) {
            Level child;
            if (open(f.fd.get(), entry.name, cst, child)) {
                stack.push_back(std::move(child));
                if (stack.size() > kOpenLevels)
                    stack[stack.size() - 1 - kOpenLevels].fd.close();
            }
        }
    }
    return 0;
}

// Copies bytes [from, to) of `in` to the same offsets of `out`: copy_file_range lets the file
// system share or copy blocks itself; where it cannot (another file system type, an old kernel),
// plain reads and writes. `ranged` turns false for good once the file system refused it.
int CopyRun(int in, int out, off_t from, off_t to, bool& ranged, ProgressMeter& meter,
            const std::string& path) {
    const off_t step = meter.Active() ? off_t{8} << 20 : off_t{1} << 30;
    std::vector<char> buffer;
    while (from < to) {
        const std::size_t want = static_cast<std::size_t>(std::min(step, to - from));
        ssize_t n = 0;
        if (ranged) {
            loff_t inOff = from;
            loff_t outOff = from;
            n = ::copy_file_range(in, &inOff, out, &outOff, want, 0);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                    errno != EBADF && errno != EPERM)
                    return errno;
                ranged = false;
                continue;
            }
        } else {
            buffer.resize(std::min<std::size_t>(want, 128 * 1024));
            n = ::pread(in, buffer.data(), std::min(want, buffer.size()), from);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            for (ssize_t written = 0; written < n;) {
                const ssize_t w = ::pwrite(out, buffer.data() + written,
                                           static_cast<std::size_t>(n - written), from + written);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0)
                    return errno;
                written += w;
            }
        }
        if (n == 0)
            return 0; // the file got shorter meanwhile: the copy ends where it does
        from += n;
        if (!meter.Add(n, path))
            return ECANCELED;
    }
    return 0;
}

// Copies all of `in` to the empty `out`. A file system that can share the blocks (FICLONE) does
// so at once; otherwise only the data runs are copied and the holes stay holes, so a sparse file
// takes no more room than it did. Holes count as copied bytes for the progress.
int CopyContents(int in, int out, ProgressMeter& meter, const std::string& path) {
    struct stat st = {};
    if (::fstat(in, &st) != 0)
        return errno;
    if (::ioctl(out, FICLONE, in) == 0)
        return meter.Add(st.st_size, path) ? 0 : ECANCELED;
    bool ranged = true;
    off_t pos = 0;
    for (;;) {
        off_t data = ::lseek(in, pos, SEEK_DATA);
        off_t hole = 0;
        if (data < 0 && errno == ENXIO) {
            // No data after pos: the rest is a hole up to the end.
            data = hole = ::lseek(in, 0, SEEK_END);
            if (data < 0)
                return errno;
        } else if (data < 0) {
            if (errno != EINVAL && errno != EOPNOTSUPP)
                return errno;
            // The file system cannot tell the holes: everything counts as data.
            data = pos;
            hole = ::lseek(in, 0, SEEK_END);
            if (hole < 0)
                return errno;
        } else {
            hole = ::lseek(in, data, SEEK_HOLE);
            if (hole < 0)
                return errno;
        }
        if (data > pos && !meter.Add(data - pos, path))
            return ECANCELED;
        if (hole <= data) {
            // End of the file: the size comes last, so a trailing hole is kept too.
            if (::ftruncate(out, data) != 0)
                return errno;
            return 0;
        }
        if (const int e = CopyRun(in, out, data, hole, ranged, meter, path); e != 0)
            return e;
        pos = hole;
    }
}

// An entry whose extended attributes are read or written: an open descriptor, or one opened with
// O_PATH (links, fifos, devices), reached through /proc because f*xattr refuses O_PATH.
struct AttrHandle {
    int fd;
    bool byPath;
    [[nodiscard]] std::string Proc() const { return "/proc/self/fd/" + std::to_string(fd); }
    ssize_t List(char* out, std::size_t size) const {
        return byPath ? ::listxattr(Proc().c_str(), out, size) : ::flistxattr(fd, out, size);
    }
    ssize_t Get(const char* name, void* out, std::size_t size) const {
        return byPath ? ::getxattr(Proc().c_str(), name, out, size)
                      : ::fgetxattr(fd, name, out, size);
    }
    int Set(const char* name, const void* value, std::size_t size) const {
        return byPath ? ::setxattr(Proc().c_str(), name, value, size, 0)
                      : ::fsetxattr(fd, name, value, size, 0);
    }
};

// Reads a list or a value, growing the buffer while it changes under us (ERANGE).
template <typename Read> int ReadGrowing(std::vector<char>& buffer, Read read) {
    for (;;) {
        const ssize_t need = read(nullptr, 0);
        if (need < 0)
            return errno;
        buffer.resize(static_cast<std::size_t>(need));
        const ssize_t n = read(buffer.data(), buffer.size());
        if (n >= 0) {
            buffer.resize(static_cast<std::size_t>(n));
            return 0;
        }
        if (errno != ERANGE)
            return errno;
    }
}

bool Unsupported(int e) { return e == ENOTSUP || e == EOPNOTSUPP; }

// Gives `to` every extended attribute of `from` (so also POSIX ACLs). With `all`, an attribute
// the target cannot hold (no support, no permission) fails the call naming it in `failed`;
// without, such attributes are left out, as a copy leaves out the owner it cannot give.
int CopyAttributes(const AttrHandle& from, const AttrHandle& to, bool all, std::string& failed) {
    std::vector<char> names;
    if (const int e = ReadGrowing(names, [&](char* b, std::size_t n) { return from.List(b, n); });
        e != 0)
        return Unsupported(e) ? 0 : e; // no attributes where the file system has none
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size();) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        const int e =
            ReadGrowing(value, [&](char* b, std::size_t n) { return from.Get(name, b, n); });
        if (e == ENODATA)
            continue; // removed since the listing
        if (e == 0 && to.Set(name, value.data(), value.size()) == 0)
            continue;
        const int code = e != 0 ? e : errno;
        if (e == 0 && !all && (Unsupported(code) || code == EPERM))
            continue;
        failed = name;
        return code;
    }
    return 0;
}

// Hard links inside a copied tree stay links: the first copy of a file with several names is
// kept open (O_PATH) until all its names in the tree were met, within a share of the process's
// descriptor limit; past it, further names are copied as files of their own.
class LinkTable {
public:
    LinkTable() {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            m_budget = limit.rlim_cur > 64 ? static_cast<std::size_t>(limit.rlim_cur - 64) / 2 : 0;
    }

    // The open first copy of the source file `st`, or -1.
    [[nodiscard]] int Find(const struct stat& st) const {
        const auto it = m_links.find({st.st_dev, st.st_ino});
        return it == m_links.end() ? -1 : it->second.fd.get();
    }
    void Remember(const struct stat& st, int dstDir, const std::string& dstName) {
        if (m_links.size() >= m_budget)
            return;
        Fd copy(::openat(dstDir, dstName.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (copy.valid())
            m_links[{st.st_dev, st.st_ino}] = {std::move(copy), st.st_nlink - 1};
    }
    // One more name of `st` was linked; the copy is let go once no name is left to meet.
    void Linked(const struct stat& st) {
        const auto it = m_links.find({st.st_dev, st.st_ino});
        if (it != m_links.end() && --it->second.left == 0)
            m_links.erase(it);
    }

private:
    struct Entry {
        Fd fd;
        nlink_t left;
    };
    std::map<std::pair<dev_t, ino_t>, Entry> m_links;
    std::size_t m_budget = 4096;
};

// Links the name to the open file `fd`: directly where the process may, else through /proc.
// The new name is checked to be that file (a link through /proc must not end up on what a
// symbolic link points to); false, with nothing left behind, when it could not be linked.
bool LinkTo(int fd, int dstDir, const std::string& dstName) {
    if (::linkat(fd, "", dstDir, dstName.c_str(), AT_EMPTY_PATH) != 0) {
        const std::string proc = "/proc/self/fd/" + std::to_string(fd);
        if (::linkat(AT_FDCWD, proc.c_str(), dstDir, dstName.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return false;
    }
    struct stat linked = {};
    struct stat first = {};
    if (::fstatat(dstDir, dstName.c_str(), &linked, AT_SYMLINK_NOFOLLOW) == 0 &&
        ::fstat(fd, &first) == 0 && SameInode(linked, first))
        return true;
    (void)::unlinkat(dstDir, dstName.c_str(), 0);
    return false;
}

class Copier {
public:
    Copier(const CopyOptions& options, dev_t device, FileOpError* error, CopiedSet* copied,
           ProgressMeter& meter)
        : m_options(options), m_device(device), m_error(error), m_copied(copied), m_meter(meter) {}

    int Copy(int srcDir, const std::string& name, const struct stat& st, int dstDir,
             const std::string& dstName, const std::string& path, bool top) {
        if (!m_meter.Add(0, path))
            return Fail(m_error, ECANCELED, "cancel", path, FileOpFailure::Cancelled);
        const bool linked = !S_ISDIR(st.st_mode) && st.st_nlink > 1 && !top;
        if (linked && m_links.Find(st) >= 0) {
            // Where the name cannot be linked (the file system's limit of links, say), it is
            // copied as a file of its own.
            if (LinkTo(m_links.Find(st), dstDir, dstName)) {
                m_links.Linked(st);
                if (m_copied != nullptr)
                    m_copied->Add(st);
                return m_meter.Add(S_ISREG(st.st_mode) ? st.st_size : 0, path)
                           ? 0
                           : Fail(m_error, ECANCELED, "cancel", path, FileOpFailure::Cancelled);
            }
        }
        int result = 0;
        if (S_ISREG(st.st_mode))
            result = CopyFile(srcDir, name, st, dstDir, dstName, path, top);
        else if (S_ISDIR(st.st_mode))
            result = CopyFolder(srcDir, name, st, dstDir, dstName, path, top);
        else if (S_ISLNK(st.st_mode))
            result = CopyLink(srcDir, name, st, dstDir, dstName, path, top);
        else
            result = CopySpecial(srcDir, name, st, dstDir, dstName, path, top);
        if (result == 0 && linked)
            m_links.Remember(st, dstDir, dstName);
        return result;
    }

    // Identity of the top entry the copy created; check is false while nothing was created.
    ExpectedEntry m_created;

private:
    void Created(bool top, int dir, const std::string& name) {
        struct stat st = {};
        if (top && ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            m_created = ExpectationOf(st);
    }

    // Owner first: changing it clears the set-user-ID and set-group-ID bits.
    bool KeepOwner(int fd, const char* name, const struct stat& st, int flags) {
        if (m_options.keepOwner && ::fchownat(fd, name, st.st_uid, st.st_gid, flags) == 0)
            return true;
        return st.st_uid == ::geteuid() && st.st_gid == ::getegid();
    }

    int KeepAttributes(const AttrHandle& from, const AttrHandle& to, const std::string& path) {
        std::string name;
        const int e = CopyAttributes(from, to, m_options.allAttributes, name);
        if (e != 0 && m_error != nullptr && m_error->error == 0)
            m_error->attribute = name;
        return e == 0 ? 0 : Fail(m_error, e, "xattr", path, FileOpFailure::Attribute);
    }

    // The same through O_PATH descriptors, for entries that cannot be opened for reading.
    int KeepAttributesAt(int srcDir, const std::string& name, int dstDir,
                         const std::string& dstName, const std::string& path) {
        Fd from(::openat(srcDir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        Fd to(::openat(dstDir, dstName.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!from.valid() || !to.valid())
            return Fail(m_error, errno, "open", path);
        return KeepAttributes({from.get(), true}, {to.get(), true}, path);
    }

    // Set-ID bits only survive when the copy has the source's owner, as with cp -p.
    static mode_t ModeFor(const struct stat& st, bool sameOwner) {
        return static_cast<mode_t>(st.st_mode & (sameOwner ? 07777 : 01777));
    }

    int CopyFile(int srcDir, const std::string& name, const struct stat& st, int dstDir,
                 const std::string& dstName, const std::string& path, bool top) {
        // O_NONBLOCK: if the file was swapped for a fifo, opening it must not hang.
        Fd in(::openat(srcDir, name.c_str(),
                       O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        struct stat before = {};
        if (!in.valid() || ::fstat(in.get(), &before) != 0)
            return Fail(m_error, errno, "open", path);
        if (!SameInode(before, st) || !S_ISREG(before.st_mode))
            return Fail(m_error, ESTALE, "open", path);
        Fd out(::openat(dstDir, dstName.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.valid())
            return Fail(m_error, errno, "create", path);
        Created(top, dstDir, dstName);
        if (const int e = CopyContents(in.get(), out.get(), m_meter, path); e != 0)
            return Fail(m_error, e, "copy", path);
        const bool sameOwner = KeepOwner(out.get(), "", before, AT_EMPTY_PATH);
        // Before the mode: a read-only mode would forbid writing the attributes.
        if (const int e = KeepAttributes({in.get(), false}, {out.get(), false}, path); e != 0)
            return e;
        if (::fchmod(out.get(), ModeFor(before, sameOwner)) != 0)
            return Fail(m_error, errno, "chmod", path);
        const timespec times[2] = {before.st_atim, before.st_mtim};
        if (::futimens(out.get(), times) != 0)
            return Fail(m_error, errno, "utimens", path);
        if (out.close() != 0)
            return Fail(m_error, errno, "close", path);
        struct stat after = {};
        if (m_copied != nullptr && ::fstat(in.get(), &after) == 0 &&
            after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
            after.st_mtim.tv_nsec == before.st_mtim.tv_nsec && after.st_size == before.st_size)
            m_copied->Add(before);
        return 0;
    }

    // A folder and all it holds, level by level without recursion; only the last few levels
    // keep their descriptors open (see kOpenLevels). A folder gets its mode and times only once
    // everything in it is copied, so its own mode never stands in the way of its contents.
    int CopyFolder(int srcDir, const std::string& name, const struct stat& st, int dstDir,
                   const std::string& dstName, const std::string& path, bool top) {
        std::vector<Level> stack;
        {
            Level first;
            if (const int e = BeginFolder(srcDir, name, st, dstDir, dstName, path, top, first);
                e != 0)
                return e;
            stack.push_back(std::move(first));
        }
        while (!stack.empty()) {
            Level& f = stack.back();
            if (f.next < f.names.size()) {
                const std::string& child = f.names[f.next++];
                const std::string childPath = Join(f.path, child);
                struct stat cst = {};
                if (::fstatat(f.src.get(), child.c_str(), &cst, AT_SYMLINK_NOFOLLOW) != 0) {
                    if (errno == ENOENT)
                        continue; // removed since the listing: nothing to copy
                    return Fail(m_error, errno, "stat", childPath);
                }
                if (!S_ISDIR(cst.st_mode)) {
                    if (const int e =
                            Copy(f.src.get(), child, cst, f.dst.get(), child, childPath, false);
                        e != 0)
                        return e;
                    continue;
                }
                Level next;
                if (const int e = BeginFolder(f.src.get(), child, cst, f.dst.get(), child,
                                              childPath, false, next);
                    e != 0)
                    return e;
                stack.push_back(std::move(next));
                if (stack.size() > kOpenLevels) {
                    Level& far = stack[stack.size() - 1 - kOpenLevels];
                    far.src.close();
                    far.dst.close();
                }
                continue;
            }
            // The level above is opened again first: the finished folder may get a mode that
            // no longer lets us look up ".." in it.
            if (stack.size() > 1) {
                Level& parent = stack[stack.size() - 2];
                if (!parent.src.valid())
                    parent.src = ReopenParent(f.src.get(), parent.srcSt);
                if (!parent.src.valid())
                    return Fail(m_error, errno, "open", parent.path);
                if (!parent.dst.valid())
                    parent.dst = ReopenParent(f.dst.get(), parent.dstSt);
                if (!parent.dst.valid())
                    return Fail(m_error, errno, "open", parent.path);
            }
            if (const int e = FinishFolder(f); e != 0)
                return e;
            stack.pop_back();
        }
        return 0;
    }

    struct Level {
        Fd src;
        Fd dst;
        struct stat srcSt {}; // the source folder as opened
        struct stat dstSt {}; // the copy as made
        std::string path;
        std::vector<std::string> names;
        std::size_t next = 0;
    };

    int BeginFolder(int srcDir, const std::string& name, const struct stat& st, int dstDir,
                    const std::string& dstName, const std::string& path, bool top, Level& level) {
        level.src = Fd(::openat(srcDir, name.c_str(), kDirFlags));
        if (!level.src.valid() || ::fstat(level.src.get(), &level.srcSt) != 0)
            return Fail(m_error, errno, "open", path);
        const struct stat& opened = level.srcSt;
        if (!SameInode(opened, st))
            return Fail(m_error, ESTALE, "open", path);
        if (m_options.sameFileSystem && !top &&
            IsMountRootOrDevice(level.src.get(), opened, m_device))
            return Fail(m_error, EXDEV, "mount point", path, FileOpFailure::MountPoint);
        // The copy's own top folder showing up in the source means it lies inside the source.
        if (m_created.check && opened.st_dev == m_created.device &&
            opened.st_ino == m_created.inode)
            return Fail(m_error, EINVAL, "copy into itself", path, FileOpFailure::IntoItself);
        if (::mkdirat(dstDir, dstName.c_str(), 0700) != 0)
            return Fail(m_error, errno, "mkdir", path);
        Created(top, dstDir, dstName);
        level.dst = Fd(::openat(dstDir, dstName.c_str(), kDirFlags));
        if (!level.dst.valid() || ::fstat(level.dst.get(), &level.dstSt) != 0)
            return Fail(m_error, errno, "open", path);
        if (const int e = ListNames(level.src.get(), level.names); e != 0)
            return Fail(m_error, e, "read", path);
        level.path = path;
        return 0;
    }

    int FinishFolder(Level& level) {
        const struct stat& opened = level.srcSt;
        const bool sameOwner = KeepOwner(level.dst.get(), "", opened, AT_EMPTY_PATH);
        if (const int e =
                KeepAttributes({level.src.get(), false}, {level.dst.get(), false}, level.path);
            e != 0)
            return e;
        if (::fchmod(level.dst.get(), ModeFor(opened, sameOwner)) != 0)
            return Fail(m_error, errno, "chmod", level.path);
        // Last, because creating the entries above changed the folder's times.
        const timespec times[2] = {opened.st_atim, opened.st_mtim};
        if (::futimens(level.dst.get(), times) != 0)
            return Fail(m_error, errno, "utimens", level.path);
        if (m_copied != nullptr)
            m_copied->Add(opened);
        return 0;
    }

    int CopyLink(int srcDir, const std::string& name, const struct stat& st, int dstDir,
                 const std::string& dstName, const std::string& path, bool top) {
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size + 1 : 256), '\0');
        for (;;) {
            const ssize_t n = ::readlinkat(srcDir, name.c_str(), target.data(), target.size());
            if (n < 0)
                return Fail(m_error, errno, "readlink", path);
            if (static_cast<std::size_t>(n) < target.size()) {
                target.resize(static_cast<std::size_t>(n));
                break;
            }
            target.resize(target.size() * 2);
        }
        if (::symlinkat(target.c_str(), dstDir, dstName.c_str()) != 0)
            return Fail(m_error, errno, "symlink", path);
        Created(top, dstDir, dstName);
        if (m_options.keepOwner)
            (void)::fchownat(dstDir, dstName.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
        if (const int e = KeepAttributesAt(srcDir, name, dstDir, dstName, path); e != 0)
            return e;
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (::utimensat(dstDir, dstName.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            return Fail(m_error, errno, "utimens", path);
        if (m_copied != nullptr)
            m_copied->Add(st);
        return 0;
    }

    // Fifos and sockets are recreated (a socket file is only a name; nobody listens on the copy);
    // devices only where the process may create them.
    int CopySpecial(int srcDir, const std::string& name, const struct stat& st, int dstDir,
                    const std::string& dstName, const std::string& path, bool top) {
        if (::mknodat(dstDir, dstName.c_str(), (st.st_mode & S_IFMT) | 0600, st.st_rdev) != 0)
            return Fail(m_error, errno, "mknod", path);
        Created(top, dstDir, dstName);
        const bool sameOwner = KeepOwner(dstDir, dstName.c_str(), st, AT_SYMLINK_NOFOLLOW);
        if (const int e = KeepAttributesAt(srcDir, name, dstDir, dstName, path); e != 0)
            return e;
        if (::fchmodat(dstDir, dstName.c_str(), ModeFor(st, sameOwner), 0) != 0)
            return Fail(m_error, errno, "chmod", path);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (::utimensat(dstDir, dstName.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            return Fail(m_error, errno, "utimens", path);
        if (m_copied != nullptr)
            m_copied->Add(st);
        return 0;
    }

    const CopyOptions& m_options;
    dev_t m_device;
    FileOpError* m_error;
    CopiedSet* m_copied;
    ProgressMeter& m_meter;
    LinkTable m_links;
};

// True when the folder open at `dir` is `folder` itself or lies somewhere below it.
bool IsInside(int dir, const struct stat& folder) {
    Fd current(::fcntl(dir, F_DUPFD_CLOEXEC, 0));
    struct stat st = {};
    while (current.valid() && ::fstat(current.get(), &st) == 0) {
        if (SameInode(st, folder))
            return true;
        Fd parent(::openat(current.get(), "..", kDirFlags));
        struct stat pst = {};
        if (!parent.valid() || ::fstat(parent.get(), &pst) != 0 || SameInode(pst, st))
            return false; // reached "/"
        current = std::move(parent);
    }
    return false;
}

// The entry to copy or move is still the one expected, and a folder does not hold the
// destination; 0, or the failure's result with `error` filled in.
int CheckSource(int srcDir, const std::string& name, int dstDir, const ExpectedEntry& expected,
                const char* intoItselfStep, struct stat& st, FileOpError* error) {
    if (::fstatat(srcDir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(error, errno, "stat", name);
    if (!Matches(st, expected))
        return Fail(error, ESTALE, "stat", name);
    if (S_ISDIR(st.st_mode) && IsInside(dstDir, st))
        return Fail(error, EINVAL, intoItselfStep, name, FileOpFailure::IntoItself);
    return 0;
}

int Copy(int srcDir, const std::string& name, int dstDir, const std::string& dstName,
         const CopyOptions& options, const ExpectedEntry& expected, FileOpError* error,
         CopiedSet* copied) {
    struct stat st = {};
    if (const int rc = CheckSource(srcDir, name, dstDir, expected, "copy into itself", st, error))
        return rc;
    ProgressMeter meter(options.progress);
    if (meter.Active()) {
        long long total = 0;
        if (CountBytes(srcDir, name, st, meter, total) != 0)
            // Nothing made yet.
            return Fail(error, ECANCELED, "cancel", name, FileOpFailure::Cancelled);
        meter.SetTotal(total);
    }
    FileOpError first;
    Copier copier(options, st.st_dev, &first, copied, meter);
    const int result = copier.Copy(srcDir, name, st, dstDir, dstName, name, true);
    if (result != 0) {
        if (copier.m_created.check)
            (void)RemoveTree(dstDir, dstName, copier.m_created, nullptr, nullptr, true);
        if (error != nullptr && error->error == 0)
            *error = first;
    }
    return result;
}

// Renaming without replacing a target on file systems that do not know RENAME_NOREPLACE: a
// hard link fails on an existing name; a folder replaces only the empty folder made for it here.
int RenameWithoutReplacing(int srcDir, const std::string& name, const struct stat& st, int dstDir,
                           const std::string& dstName) {
    if (S_ISDIR(st.st_mode)) {
        if (::mkdirat(dstDir, dstName.c_str(), 0700) != 0)
            return errno;
        if (::renameat(srcDir, name.c_str(), dstDir, dstName.c_str()) != 0) {
            const int e = errno;
            (void)::unlinkat(dstDir, dstName.c_str(), AT_REMOVEDIR);
            return e;
        }
        return 0;
    }
    if (::linkat(srcDir, name.c_str(), dstDir, dstName.c_str(), 0) == 0)
        return ::unlinkat(srcDir, name.c_str(), 0) == 0 ? 0 : errno;
    if (errno == EEXIST || errno == EXDEV)
        return errno;
    // No hard links here (FAT, some network file systems): check, then rename.
    struct stat existing = {};
    if (::fstatat(dstDir, dstName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(srcDir, name.c_str(), dstDir, dstName.c_str()) == 0 ? 0 : errno;
}

std::pair<std::string, std::string> SplitPath(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace

bool IsMountRoot(int fd) {
    struct statx sx = {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &sx) == 0 &&
        (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0)
        return (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    // Older kernels: a different device than the parent folder, or "/" itself.
    struct stat st = {};
    struct stat parent = {};
    if (::fstat(fd, &st) != 0 || ::fstatat(fd, "..", &parent, 0) != 0)
        return false;
    return st.st_dev != parent.st_dev || SameInode(st, parent);
}

int CopyEntryAt(int srcDir, const std::string& name, int dstDir, const std::string& dstName,
                const CopyOptions& options, const ExpectedEntry& expected, FileOpError* error) {
    return Copy(srcDir, name, dstDir, dstName, options, expected, error, nullptr);
}

int MoveEntryAt(int srcDir, const std::string& name, int dstDir, const std::string& dstName,
                const ExpectedEntry& expected, FileOpError* error, const CopyProgress* progress) {
    // Checked first so that the rename fallbacks below never touch the source folder.
    struct stat st = {};
    if (const int rc = CheckSource(srcDir, name, dstDir, expected, "move into itself", st, error))
        return rc;
    int e = 0;
    if (::renameat2(srcDir, name.c_str(), dstDir, dstName.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    e = errno;
    if (e == EINVAL || e == ENOSYS || e == EOPNOTSUPP) {
        e = RenameWithoutReplacing(srcDir, name, st, dstDir, dstName);
        if (e == 0)
            return 0;
    }
    if (e != EXDEV)
        return Fail(error, e, "rename", name);
    // Another file system: copy everything, then remove exactly what was copied. A mount point
    // could never be removed afterwards, so it is refused before anything is copied.
    if (S_ISDIR(st.st_mode)) {
        Fd top(::openat(srcDir, name.c_str(), kDirFlags));
        if (top.valid() && IsMountRoot(top.get()))
            return Fail(error, EXDEV, "mount point", name, FileOpFailure::MountPoint);
    }
    CopiedSet copied;
    const CopyOptions options{
        .keepOwner = true, .sameFileSystem = true, .allAttributes = true, .progress = progress};
    if (const int c =
            Copy(srcDir, name, dstDir, dstName, options, ExpectationOf(st), error, &copied);
        c != 0)
        return c;
    return RemoveTree(srcDir, name, ExpectationOf(st), &copied, error);
}

int RemoveTreeAt(int dir, const std::string& name, const ExpectedEntry& expected,
                 FileOpError* error) {
    return RemoveTree(dir, name, expected, nullptr, error);
}

namespace {

// The folders holding `source` and `target`, open, for the path forms below.
struct PathEnds {
    Fd srcDir;
    Fd dstDir;
    std::string name;
    std::string dstName;
};

int OpenPathEnds(const std::string& source, const std::string& target, PathEnds& ends,
                 FileOpError* error) {
    auto [srcDirPath, name] = SplitPath(source);
    auto [dstDirPath, dstName] = SplitPath(target);
    ends.srcDir = Fd(::open(srcDirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!ends.srcDir.valid())
        return Fail(error, errno, "open", srcDirPath);
    ends.dstDir = Fd(::open(dstDirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!ends.dstDir.valid())
        return Fail(error, errno, "open", dstDirPath);
    ends.name = std::move(name);
    ends.dstName = std::move(dstName);
    return 0;
}

} // namespace

int CopyPath(const std::string& source, const std::string& target, FileOpError* error) {
    PathEnds ends;
    if (const int e = OpenPathEnds(source, target, ends, error); e != 0)
        return e;
    return CopyEntryAt(ends.srcDir.get(), ends.name, ends.dstDir.get(), ends.dstName, {}, {},
                       error);
}

int MovePath(const std::string& source, const std::string& target, FileOpError* error) {
    PathEnds ends;
    if (const int e = OpenPathEnds(source, target, ends, error); e != 0)
        return e;
    return MoveEntryAt(ends.srcDir.get(), ends.name, ends.dstDir.get(), ends.dstName, {}, error);
}

} // namespace platform
