#include "engine/CheckedEntry.h"
#include "engine/DVOSUB.h"
#include "engine/ErrorTable.h"
#include "engine/FileOperations.h"
#include "engine/OpFailure.h"
#include "engine/UserTexts.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace dvo {
namespace {

using Fd = platform::UniqueFd;

// Path= of a .trashinfo file: the name's bytes with everything but unreserved characters and
// "/" percent-encoded, so any byte string (also one that is not UTF-8) survives.
std::string PercentEncode(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::string DeletionDate() {
    const platform::LocalTime t = platform::LocalNow();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

// The name in files/: the entry's own name, then "name.2", "name.3", ... until one is free;
// cut (never inside a UTF-8 sequence) so that NAME.trashinfo stays within 255 bytes.
std::string TrashName(const std::string& name, int attempt) {
    const std::string suffix = attempt > 1 ? "." + Decimal(attempt) : std::string();
    const std::size_t room = 255 - std::strlen(".trashinfo") - suffix.size();
    std::string base = name;
    if (base.size() > room) {
        // Back up only to the lead byte of a sequence that the cut would split: a name that is
        // not UTF-8 (say all continuation bytes) is cut at `room`, never to nothing.
        std::size_t cut = room;
        for (std::size_t back = 1; back <= 3 && back <= room; ++back) {
            const auto c = static_cast<unsigned char>(base[room - back]);
            if ((c & 0xC0) == 0x80)
                continue;
            const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (length > back)
                cut = room - back;
            break;
        }
        base.resize(cut);
    }
    return base + suffix;
}

enum class TrashOutcome {
    Done,
    Unusable, // this trash cannot take the entry: try the next one
    Failed,   // the entry itself cannot be moved (permissions, ...): report it
};

struct TrashAttempt {
    TrashOutcome outcome;
    int error;
    OpResult placed{}; // for Done: where the entry and its info file went
};

// Puts the entry into the trash folder open at `trash`: the info file first (O_EXCL reserves the
// name), then the rename into files/; the info file goes again if the rename fails.
TrashAttempt PutInTrash(int trash, int parent, const std::string& name,
                        const std::string& infoPath) {
    for (const char* sub : {"files", "info"})
        if (::mkdirat(trash, sub, 0700) != 0 && errno != EEXIST)
            return {TrashOutcome::Unusable, errno};
    Fd files(::openat(trash, "files", kDirFlags | O_NOFOLLOW));
    Fd info(::openat(trash, "info", kDirFlags | O_NOFOLLOW));
    if (!files.valid() || !info.valid())
        return {TrashOutcome::Unusable, errno};
    const std::string content =
        "[Trash Info]\nPath=" + PercentEncode(infoPath) + "\nDeletionDate=" + DeletionDate() + "\n";
    for (int attempt = 1; attempt < 10000; ++attempt) {
        const std::string trashName = TrashName(name, attempt);
        const std::string infoName = trashName + ".trashinfo";
        const int out = ::openat(info.get(), infoName.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0) {
            if (errno == EEXIST)
                continue;
            return {TrashOutcome::Unusable, errno};
        }
        const bool written =
            ::write(out, content.data(), content.size()) == static_cast<ssize_t>(content.size());
        const int writeError = errno;
        if (::close(out) != 0 || !written) {
            const int e = written ? errno : writeError;
            ::unlinkat(info.get(), infoName.c_str(), 0);
            return {TrashOutcome::Unusable, e};
        }
        int e = 0;
        // The search may hold the trash (a home folder holds ~/.local/share/Trash): say where
        // the entry and its info file went, so its totals can follow.
        auto done = [&] {
            OpResult placed;
            placed.landedFolder = PathOfFd(files.get());
            placed.landedName = trashName;
            const std::string infoFolder = PathOfFd(info.get());
            if (!infoFolder.empty())
                placed.madeFile = JoinPath(infoFolder, infoName);
            placed.madeSize = static_cast<std::int64_t>(content.size());
            struct stat made {};
            if (::fstatat(info.get(), infoName.c_str(), &made, AT_SYMLINK_NOFOLLOW) == 0)
                placed.madeDiskSize = static_cast<std::int64_t>(made.st_blocks) * 512;
            return TrashAttempt{TrashOutcome::Done, 0, std::move(placed)};
        };
        if (::renameat2(parent, name.c_str(), files.get(), trashName.c_str(), RENAME_NOREPLACE) ==
            0)
            return done();
        e = errno;
        if (e == EINVAL || e == ENOSYS) {
            // No RENAME_NOREPLACE on this file system: the info file already reserves the name.
            struct stat existing {};
            if (::fstatat(files.get(), trashName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
                e = EEXIST;
            else if (::renameat(parent, name.c_str(), files.get(), trashName.c_str()) == 0)
                return done();
            else
                e = errno;
        }
        ::unlinkat(info.get(), infoName.c_str(), 0);
        if (e == EEXIST || e == ENOTEMPTY)
            continue;
        return {e == EXDEV ? TrashOutcome::Unusable : TrashOutcome::Failed, e};
    }
    return {TrashOutcome::Unusable, EEXIST};
}

// The top folder of the file system (mount) that holds `path`, which has no links in it.
std::string FindTopDir(std::string path, dev_t device) {
    for (;;) {
        Fd fd(::open(path.c_str(), kDirFlags | O_NOFOLLOW));
        struct stat st {};
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_dev != device)
            return {};
        if (path == "/" || platform::IsMountRoot(fd.get()))
            return path;
        const auto slash = path.rfind('/');
        std::string parent = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
        struct stat pst {};
        if (::stat(parent.c_str(), &pst) != 0 || pst.st_dev != device)
            return path;
        path = std::move(parent);
    }
}

// A trash folder of ours below `dir`: made when missing, never a link, owned by us.
Fd OwnTrashFolder(int dir, const std::string& name) {
    if (::mkdirat(dir, name.c_str(), 0700) != 0 && errno != EEXIST)
        return Fd();
    Fd fd(::openat(dir, name.c_str(), kDirFlags | O_NOFOLLOW));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid())
        return Fd();
    return fd;
}

} // namespace

OpResult TrashEntry(const std::string& directory, const std::string& name,
                    const EntryIdentity& seen) {
    const std::string action = texts::kCannotTrash;
    const std::string path = JoinPath(directory, name);
    CheckedEntry entry;
    if (OpResult r = OpenRemovable(action, directory, name, seen, entry); r.code != DVO_OK)
        return r;
    const std::string realParent = PathOfFd(entry.parent.get());
    if (realParent.empty() || realParent[0] != '/')
        return Failure(DVO_E_IO, action, path, texts::kFolderUnknown);
    const std::string realPath = JoinPath(realParent, name);
    const dev_t device = entry.st.st_dev;

    int unusable = 0; // why the last trash tried could not be used
    auto attempt = [&](int trash, const std::string& infoPath) -> std::optional<OpResult> {
        const TrashAttempt a = PutInTrash(trash, entry.parent.get(), name, infoPath);
        if (a.outcome == TrashOutcome::Done)
            return a.placed;
        if (a.outcome == TrashOutcome::Failed)
            return Failure(a.error == EXDEV ? DVO_E_IO : OperationCodeOf(a.error), action, path,
                           ReasonText(a.error));
        unusable = a.error;
        return std::nullopt;
    };

    // The home trash serves the file system of the user's data folder. Only a rename across
    // mounts of it (a bind mount) sends the entry on to the trash at the top of its mount; any
    // other trouble with the home trash must not scatter trash folders over that file system.
    const std::string dataHome = platform::AppDataDir();
    struct stat home {};
    // Without a data folder (no usable XDG_DATA_HOME or HOME) there is no home trash, and the
    // file system it would be on is unknown: trash folders made at the top of whatever file
    // system holds the entry could land at the top of the home file system, so nothing is trashed.
    if (dataHome.empty() || ::stat(dataHome.c_str(), &home) != 0 || !S_ISDIR(home.st_mode))
        return Failure(DVO_E_NO_TRASH, action, path, texts::kNoTrashLocation);
    if (home.st_dev == device) {
        const std::string trashDir = dataHome + "/Trash";
        Fd trash;
        if (::mkdir(trashDir.c_str(), 0700) == 0 || errno == EEXIST)
            trash = Fd(::open(trashDir.c_str(), kDirFlags));
        if (!trash.valid())
            return Failure(DVO_E_NO_TRASH, action, path,
                           texts::kTrashPrefix + trashDir + texts::kTrashUnusable +
                               ReasonText(errno));
        if (auto r = attempt(trash.get(), realPath))
            return *r;
        if (unusable != EXDEV)
            return Failure(DVO_E_NO_TRASH, action, path,
                           texts::kTrashPrefix + trashDir + texts::kTrashUnusable +
                               ReasonText(unusable));
    }

    // Other file systems: a trash at their top, with paths relative to it.
    const std::string topdir = FindTopDir(realParent, device);
    Fd top(topdir.empty() ? -1 : ::open(topdir.c_str(), kDirFlags | O_NOFOLLOW));
    if (top.valid()) {
        const std::string relative = realPath.substr(topdir == "/" ? 1 : topdir.size() + 1);
        const std::string uid = Decimal(::geteuid());
        // $topdir/.Trash is shared by all users only when it is a real sticky folder.
        Fd shared(::openat(top.get(), ".Trash", kDirFlags | O_NOFOLLOW));
        struct stat sst {};
        if (shared.valid() && ::fstat(shared.get(), &sst) == 0 && (sst.st_mode & S_ISVTX) != 0) {
            Fd mine = OwnTrashFolder(shared.get(), uid);
            if (mine.valid())
                if (auto r = attempt(mine.get(), relative))
                    return *r;
        }
        Fd mine = OwnTrashFolder(top.get(), ".Trash-" + uid);
        if (mine.valid())
            if (auto r = attempt(mine.get(), relative))
                return *r;
    }
    return Failure(DVO_E_NO_TRASH, action, path, texts::kNoTrashHere);
}

} // namespace dvo
