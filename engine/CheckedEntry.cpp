#include "engine/CheckedEntry.h"

#include "engine/DVOSUB.h"
#include "engine/ErrorTable.h"
#include "engine/OpFailure.h"
#include "engine/UserTexts.h"

#include <cerrno>
#include <cstdint>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace dvo {
namespace {

using Fd = platform::UniqueFd;

// When the entry came to be: its birth time where the file system keeps one, else the last
// change of its status (which a new entry under a reused inode number also has).
bool BornAfter(int dirFd, const char* name, int flags, std::int64_t sinceNs, bool orChanged) {
    if (sinceNs == 0)
        return false;
    struct statx stx {};
    if (::statx(dirFd, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_BTIME | STATX_CTIME, &stx) != 0)
        return false; // the status was read just before; the other checks stand
    auto ns = [](const statx_timestamp& t) {
        return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
    };
    if ((stx.stx_mask & STATX_BTIME) != 0)
        return ns(stx.stx_btime) > sinceNs;
    return orChanged && (stx.stx_mask & STATX_CTIME) != 0 && ns(stx.stx_ctime) > sinceNs;
}

// Opens the folder holding the entry by walking down from the searched folder one name at a
// time, never through a link (unless the search followed links), and checks that each folder
// is the one the search listed: a folder swapped for a link or another folder since the search
// must not lead the operation elsewhere.
OpResult OpenContainingFolder(const std::string& action, const std::string& directory,
                              const std::string& path, const EntryIdentity& seen, Fd& out) {
    auto failed = [&](int e) {
        const int code = e == ELOOP || e == ENOTDIR ? DVO_E_CHANGED
                         : e == ENOENT              ? DVO_E_NOT_FOUND
                                                    : OperationCodeOf(e);
        return Failure(code, action, path,
                       code == DVO_E_CHANGED ? texts::kReplacedSearchAgain : ReasonText(e));
    };
    if (seen.root.empty()) {
        out = Fd(::open(directory.c_str(), kDirFlags));
        return out.valid() ? OpResult{} : failed(errno == ENOTDIR ? ENOENT : errno);
    }
    std::string_view rest;
    if (directory == seen.root) {
        rest = {};
    } else if (seen.root == "/" && directory.size() > 1 && directory[0] == '/') {
        rest = std::string_view(directory).substr(1);
    } else if (directory.size() > seen.root.size() + 1 && directory.starts_with(seen.root) &&
               directory[seen.root.size()] == '/') {
        rest = std::string_view(directory).substr(seen.root.size() + 1);
    } else {
        return Failure(DVO_E_NOT_FOUND, action, path, ReasonText(ENOENT));
    }
    const int stepFlags = kDirFlags | (seen.followLinks ? 0 : O_NOFOLLOW);
    // The searched folder is opened as the user named it (links above it are the user's own).
    Fd dir(::open(seen.root.c_str(), kDirFlags));
    if (!dir.valid())
        return failed(errno);
    std::size_t level = 0;
    std::string component;
    for (;;) {
        struct stat st {};
        if (::fstat(dir.get(), &st) != 0)
            return failed(errno);
        if (level >= seen.folders.size() || st.st_dev != seen.folders[level].device ||
            st.st_ino != seen.folders[level].inode ||
            BornAfter(dir.get(), "", AT_EMPTY_PATH, seen.searchStartNs, false))
            return Failure(DVO_E_CHANGED, action, path, texts::kReplacedSearchAgain);
        if (rest.empty())
            break;
        const std::size_t slash = rest.find('/');
        component.assign(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (!IsValidEntryName(component))
            return Failure(DVO_E_NOT_FOUND, action, path, ReasonText(ENOENT));
        Fd next(::openat(dir.get(), component.c_str(), stepFlags));
        if (!next.valid())
            return failed(errno);
        dir = std::move(next);
        ++level;
    }
    if (level + 1 != seen.folders.size())
        return Failure(DVO_E_CHANGED, action, path, texts::kReplacedSearchAgain);
    out = std::move(dir);
    return {};
}

} // namespace

bool IsValidEntryName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

OpResult OpenChecked(const std::string& action, const std::string& directory,
                     const std::string& name, const EntryIdentity& seen, CheckedEntry& entry) {
    const std::string path = JoinPath(directory, name);
    if (directory.empty() || !IsValidEntryName(name))
        return Failure(DVO_E_INVALID_ARGUMENT, action, path, texts::kBadName);
    if (OpResult r = OpenContainingFolder(action, directory, path, seen, entry.parent);
        r.code != DVO_OK)
        return r;
    if (::fstatat(entry.parent.get(), name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int e = errno;
        return Failure(e == ENOENT ? DVO_E_NOT_FOUND : OperationCodeOf(e), action, path,
                       ReasonText(e));
    }
    if (entry.st.st_dev != seen.device || entry.st.st_ino != seen.inode ||
        (entry.st.st_mode & S_IFMT) != seen.type ||
        BornAfter(entry.parent.get(), name.c_str(), 0, seen.searchStartNs, true))
        return Failure(DVO_E_CHANGED, action, path, texts::kReplacedSearchAgain);
    return {};
}

platform::ExpectedEntry Expectation(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, static_cast<mode_t>(st.st_mode & S_IFMT)};
}

OpResult OpenRemovable(const std::string& action, const std::string& directory,
                       const std::string& name, const EntryIdentity& seen, CheckedEntry& entry) {
    if (OpResult r = OpenChecked(action, directory, name, seen, entry); r.code != DVO_OK)
        return r;
    if (S_ISDIR(entry.st.st_mode)) {
        Fd fd(::openat(entry.parent.get(), name.c_str(), kDirFlags | O_NOFOLLOW));
        if (fd.valid() && platform::IsMountRoot(fd.get()))
            return Failure(DVO_E_MOUNT_POINT, action, JoinPath(directory, name),
                           texts::kMountPoint);
    }
    return {};
}

std::string PathOfFd(int fd) {
    std::string buffer(4096, '\0');
    const std::string link = "/proc/self/fd/" + Decimal(fd);
    for (;;) {
        const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace dvo
