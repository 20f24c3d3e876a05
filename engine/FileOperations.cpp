#include "engine/FileOperations.h"

#include "engine/DVOSUB.h"
#include "platform/UniqueFd.h"
#include "platform/Clock.h"
#include "platform/FileCopy.h"
#include "platform/HelperProcess.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gio/gio.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dvo {
namespace {

using Fd = platform::UniqueFd;

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Decimal text of a number. Not std::to_string: its libstdc++ helper templates would be
// exported from the shared library with default visibility.
std::string Decimal(long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", value);
    return text;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    return dir.back() == '/' ? dir + name : dir + '/' + name;
}

// The user reads these texts, so the common reasons are said in Japanese; any other falls back
// to the C library's description.
std::string ReasonText(int error) {
    switch (error) {
    case EACCES:
    case EPERM: return "アクセスが拒否されました";
    case EROFS: return "読み取り専用のファイルシステムです";
    case ENOENT: return "見つかりません";
    case EEXIST:
    case ENOTEMPTY: return "同じ名前の項目がすでにあります";
    case ENOSPC: return "ディスクの空き領域が足りません";
    case EDQUOT: return "ディスク使用量の上限を超えています";
    case EBUSY: return "使用中です";
    case ENAMETOOLONG: return "名前が長すぎます";
    case ELOOP: return "シンボリックリンクです";
    case EIO: return "入出力エラーが起きました";
    case ENOTDIR: return "フォルダーではありません";
    case ESTALE: return "検索の後で別のものに置き換えられています";
    case ECANCELED: return "キャンセルされました";
    case EMFILE:
    case ENFILE: return "開いているファイルが多すぎます";
    default: break;
    }
    const char* text = ::strerrordesc_np(error);
    return text != nullptr ? text : "エラー " + Decimal(error);
}

int CodeFor(int error) {
    switch (error) {
    case 0: return DVO_OK;
    case EEXIST:
    case ENOTEMPTY: return DVO_E_EXISTS;
    case EACCES:
    case EPERM:
    case EROFS: return DVO_E_ACCESS;
    case ENOENT: return DVO_E_NOT_FOUND;
    case ESTALE: return DVO_E_CHANGED;
    case EXDEV: return DVO_E_MOUNT_POINT;
    case ENOTDIR: return DVO_E_NOT_A_FOLDER;
    case EINVAL: return DVO_E_INVALID_ARGUMENT;
    case ECANCELED: return DVO_E_CANCELLED;
    default: return DVO_E_IO;
    }
}

OpResult Failure(int code, const std::string& action, const std::string& path,
                 const std::string& reason) {
    return {code, action + ": " + path + ": " + reason};
}

// A failure of the platform's tree operations, told with the path of the entry that failed.
OpResult FromFileOp(const std::string& action, const std::string& directory,
                    const platform::FileOpError& error, int result) {
    std::string reason;
    int code = CodeFor(result);
    if (error.step == "mount point") {
        reason = "別のファイルシステム（マウントポイント）には立ち入りません";
    } else if (error.step == "copy into itself" || error.step == "move into itself") {
        reason = "フォルダーをそれ自身の中にはコピー・移動できません";
    } else if (error.step == "xattr") {
        reason = "拡張属性 " + error.attribute + " を保てません: " + ReasonText(result);
    } else if (error.step == "changed during the move") {
        reason = "移動中に変更されたため、元の場所に残しました";
        code = DVO_E_IO;
    } else {
        reason = ReasonText(result);
    }
    return Failure(code, action, JoinPath(directory, error.path), reason);
}

platform::ExpectedEntry Expectation(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, static_cast<mode_t>(st.st_mode & S_IFMT)};
}

// The containing folder, open, and the entry's status, checked against what the search saw.
struct CheckedEntry {
    Fd parent;
    struct stat st {};
};

// When the entry came to be: its birth time where the file system keeps one, else the last
// change of its status (which a new entry under a reused inode number also has).
bool BornAfter(int dirFd, const char* name, int flags, std::int64_t sinceNs, bool orChanged) {
    if (sinceNs == 0)
        return false;
    struct statx stx{};
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

const char* const kReplacedText = "検索の後で別のものに置き換えられています。もう一度検索してください";

// Opens the folder holding the entry by walking down from the searched folder one name at a
// time, never through a link (unless the search followed links), and checks that each folder
// is the one the search listed: a folder swapped for a link or another folder since the search
// must not lead the operation elsewhere.
OpResult OpenContainingFolder(const std::string& action, const std::string& directory,
                              const std::string& path, const EntryIdentity& seen, Fd& out) {
    auto failed = [&](int e) {
        const int code = e == ELOOP || e == ENOTDIR ? DVO_E_CHANGED
                         : e == ENOENT              ? DVO_E_NOT_FOUND
                                                    : CodeFor(e);
        return Failure(code, action, path, code == DVO_E_CHANGED ? kReplacedText : ReasonText(e));
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
        struct stat st{};
        if (::fstat(dir.get(), &st) != 0)
            return failed(errno);
        if (level >= seen.folders.size() || st.st_dev != seen.folders[level].device ||
            st.st_ino != seen.folders[level].inode ||
            BornAfter(dir.get(), "", AT_EMPTY_PATH, seen.searchStartNs, false))
            return Failure(DVO_E_CHANGED, action, path, kReplacedText);
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
        return Failure(DVO_E_CHANGED, action, path, kReplacedText);
    out = std::move(dir);
    return {};
}

OpResult OpenChecked(const std::string& action, const std::string& directory,
                     const std::string& name, const EntryIdentity& seen, CheckedEntry& entry) {
    const std::string path = JoinPath(directory, name);
    if (directory.empty() || !IsValidEntryName(name))
        return Failure(DVO_E_INVALID_ARGUMENT, action, path, "名前が正しくありません");
    if (OpResult r = OpenContainingFolder(action, directory, path, seen, entry.parent);
        r.code != DVO_OK)
        return r;
    if (::fstatat(entry.parent.get(), name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int e = errno;
        return Failure(e == ENOENT ? DVO_E_NOT_FOUND : CodeFor(e), action, path, ReasonText(e));
    }
    if (entry.st.st_dev != seen.device || entry.st.st_ino != seen.inode ||
        (entry.st.st_mode & S_IFMT) != seen.type ||
        BornAfter(entry.parent.get(), name.c_str(), 0, seen.searchStartNs, true))
        return Failure(DVO_E_CHANGED, action, path, kReplacedText);
    return {};
}

// A folder that is the root of a mount (also "/") is never trashed or emptied: doing so would
// reach into another file system.
bool IsMountPointEntry(const CheckedEntry& entry, const std::string& name) {
    if (!S_ISDIR(entry.st.st_mode))
        return false;
    Fd fd(::openat(entry.parent.get(), name.c_str(), kDirFlags | O_NOFOLLOW));
    return fd.valid() && platform::IsMountRoot(fd.get());
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

// ---- trash ----------------------------------------------------------------------------------

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
TrashAttempt PutInTrash(int trash, int parent, const std::string& name, const std::string& infoPath) {
    for (const char* sub : {"files", "info"})
        if (::mkdirat(trash, sub, 0700) != 0 && errno != EEXIST)
            return {TrashOutcome::Unusable, errno};
    Fd files(::openat(trash, "files", kDirFlags | O_NOFOLLOW));
    Fd info(::openat(trash, "info", kDirFlags | O_NOFOLLOW));
    if (!files.valid() || !info.valid())
        return {TrashOutcome::Unusable, errno};
    const std::string content = "[Trash Info]\nPath=" + PercentEncode(infoPath) +
                                "\nDeletionDate=" + DeletionDate() + "\n";
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
            return TrashAttempt{TrashOutcome::Done, 0, std::move(placed)};
        };
        if (::renameat2(parent, name.c_str(), files.get(), trashName.c_str(), RENAME_NOREPLACE) == 0)
            return done();
        e = errno;
        if (e == EINVAL || e == ENOSYS) {
            // No RENAME_NOREPLACE on this file system: the info file already reserves the name.
            struct stat existing{};
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
        struct stat st{};
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_dev != device)
            return {};
        if (path == "/" || platform::IsMountRoot(fd.get()))
            return path;
        const auto slash = path.rfind('/');
        std::string parent = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
        struct stat pst{};
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
    struct stat st{};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid())
        return Fd();
    return fd;
}

} // namespace

bool IsValidEntryName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

OpResult TrashEntry(const std::string& directory, const std::string& name,
                    const EntryIdentity& seen) {
    const std::string action = "ゴミ箱に移動できません";
    CheckedEntry entry;
    if (OpResult r = OpenChecked(action, directory, name, seen, entry); r.code != DVO_OK)
        return r;
    const std::string path = JoinPath(directory, name);
    if (IsMountPointEntry(entry, name))
        return Failure(DVO_E_MOUNT_POINT, action, path, "マウントポイントです");
    const std::string realParent = PathOfFd(entry.parent.get());
    if (realParent.empty() || realParent[0] != '/')
        return Failure(DVO_E_IO, action, path, "フォルダーの場所がわかりません");
    const std::string realPath = JoinPath(realParent, name);
    const dev_t device = entry.st.st_dev;

    int unusable = 0; // why the last trash tried could not be used
    auto attempt = [&](int trash, const std::string& infoPath) -> std::optional<OpResult> {
        const TrashAttempt a = PutInTrash(trash, entry.parent.get(), name, infoPath);
        if (a.outcome == TrashOutcome::Done)
            return a.placed;
        if (a.outcome == TrashOutcome::Failed)
            return Failure(a.error == EXDEV ? DVO_E_IO : CodeFor(a.error), action, path,
                           ReasonText(a.error));
        unusable = a.error;
        return std::nullopt;
    };
    const std::string noTrash = "このファイルシステムには使えるゴミ箱がありません（何も削除していません）";

    // The home trash serves the file system of the user's data folder. Only a rename across
    // mounts of it (a bind mount) sends the entry on to the trash at the top of its mount; any
    // other trouble with the home trash must not scatter trash folders over that file system.
    const std::string dataHome = platform::AppDataDir();
    struct stat home{};
    // Without a data folder (no usable XDG_DATA_HOME or HOME) there is no home trash, and the
    // file system it would be on is unknown: trash folders made at the top of whatever file
    // system holds the entry could land at the top of the home file system, so nothing is trashed.
    if (dataHome.empty() || ::stat(dataHome.c_str(), &home) != 0 || !S_ISDIR(home.st_mode))
        return Failure(DVO_E_NO_TRASH, action, path,
                       "ゴミ箱の場所がわかりません（XDG_DATA_HOME も HOME も使えません）。何も削除していません");
    if (home.st_dev == device) {
        const std::string trashDir = dataHome + "/Trash";
        Fd trash;
        if (::mkdir(trashDir.c_str(), 0700) == 0 || errno == EEXIST)
            trash = Fd(::open(trashDir.c_str(), kDirFlags));
        if (!trash.valid())
            return Failure(DVO_E_NO_TRASH, action, path,
                           "ゴミ箱 " + trashDir + " を使えません: " + ReasonText(errno));
        if (auto r = attempt(trash.get(), realPath))
            return *r;
        if (unusable != EXDEV)
            return Failure(DVO_E_NO_TRASH, action, path,
                           "ゴミ箱 " + trashDir + " を使えません: " + ReasonText(unusable));
    }

    // Other file systems: a trash at their top, with paths relative to it.
    const std::string topdir = FindTopDir(realParent, device);
    Fd top(topdir.empty() ? -1 : ::open(topdir.c_str(), kDirFlags | O_NOFOLLOW));
    if (top.valid()) {
        const std::string relative = realPath.substr(topdir == "/" ? 1 : topdir.size() + 1);
        const std::string uid = Decimal(::geteuid());
        // $topdir/.Trash is shared by all users only when it is a real sticky folder.
        Fd shared(::openat(top.get(), ".Trash", kDirFlags | O_NOFOLLOW));
        struct stat sst{};
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
    return Failure(DVO_E_NO_TRASH, action, path, noTrash);
}

OpResult DeleteEntryPermanently(const std::string& directory, const std::string& name,
                                const EntryIdentity& seen) {
    const std::string action = "削除できません";
    CheckedEntry entry;
    if (OpResult r = OpenChecked(action, directory, name, seen, entry); r.code != DVO_OK)
        return r;
    if (IsMountPointEntry(entry, name))
        return Failure(DVO_E_MOUNT_POINT, action, JoinPath(directory, name), "マウントポイントです");
    platform::FileOpError error;
    const int result =
        platform::RemoveTreeAt(entry.parent.get(), name, Expectation(entry.st), &error);
    if (result == 0)
        return {};
    // It goes on past what it cannot remove, so some of the entry may be gone.
    OpResult failed = FromFileOp(action, directory, error, result);
    failed.partlyDone = true;
    return failed;
}

namespace {

using TreeOperation = int (*)(int, const std::string&, int, const platform::ExpectedEntry&,
                              platform::FileOpError*, const platform::CopyProgress*);

OpResult CopyOrMove(const std::string& action, const std::string& directory,
                    const std::string& name, const EntryIdentity& seen,
                    const std::string& destination, TreeOperation operation,
                    const platform::CopyProgress* progress) {
    CheckedEntry entry;
    if (OpResult r = OpenChecked(action, directory, name, seen, entry); r.code != DVO_OK)
        return r;
    if (destination.empty())
        return Failure(DVO_E_INVALID_ARGUMENT, action, JoinPath(directory, name),
                       "行き先のフォルダーが指定されていません");
    Fd target(::open(destination.c_str(), kDirFlags));
    if (!target.valid()) {
        const int e = errno;
        return Failure(e == ENOENT || e == ENOTDIR ? DVO_E_NOT_A_FOLDER : CodeFor(e), action,
                       destination, e == ENOENT ? "行き先のフォルダーがありません" : ReasonText(e));
    }
    platform::FileOpError error;
    const int result =
        operation(entry.parent.get(), name, target.get(), Expectation(entry.st), &error, progress);
    if (result == 0) {
        // The destination by its real path: a text with links, "//" or "./" in it names the
        // same folder as the search's own texts do.
        OpResult placed;
        placed.landedFolder = PathOfFd(target.get());
        placed.landedName = name;
        return placed;
    }
    // A name taken at the destination is about the target, so say where.
    if ((result == EEXIST || result == ENOTEMPTY) && error.path == name)
        return Failure(DVO_E_EXISTS, action, JoinPath(destination, name), ReasonText(EEXIST));
    OpResult failed = FromFileOp(action, directory, error, result);
    // A move across file systems leaves what changed during the copy and removes the rest.
    failed.partlyDone = error.step == "changed during the move";
    return failed;
}

} // namespace

OpResult CopyEntry(const std::string& directory, const std::string& name,
                   const EntryIdentity& seen, const std::string& destination,
                   const platform::CopyProgress* progress) {
    return CopyOrMove("コピーできません", directory, name, seen, destination,
                      [](int src, const std::string& n, int dst, const platform::ExpectedEntry& e,
                         platform::FileOpError* error, const platform::CopyProgress* p) {
                          return platform::CopyEntryAt(src, n, dst, n, {.progress = p}, e, error);
                      },
                      progress);
}

OpResult MoveEntry(const std::string& directory, const std::string& name,
                   const EntryIdentity& seen, const std::string& destination,
                   const platform::CopyProgress* progress) {
    return CopyOrMove("移動できません", directory, name, seen, destination,
                      [](int src, const std::string& n, int dst, const platform::ExpectedEntry& e,
                         platform::FileOpError* error, const platform::CopyProgress* p) {
                          return platform::MoveEntryAt(src, n, dst, n, e, error, p);
                      },
                      progress);
}

// ---- shell actions --------------------------------------------------------------------------

namespace {

constexpr const char* kFileManager = "org.freedesktop.FileManager1";

std::string SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address)
        return address;
    // The usual per-user bus; never launch one (that could start daemons or block).
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0')
        return {};
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st{};
    if (::stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return {};
    gchar* escaped = g_dbus_address_escape_value(socket.c_str());
    std::string address = std::string("unix:path=") + escaped;
    g_free(escaped);
    return address;
}

// How long asking the file manager may take in all, connecting included: a bus that accepts
// the connection and then never answers must not hold up the window.
constexpr std::chrono::milliseconds kBusDeadline{3000};

// Cancels a GCancellable when the deadline passes, unless disarmed (destroyed) before.
class BusDeadline {
public:
    BusDeadline(GCancellable* cancellable, std::chrono::milliseconds after)
        : m_thread([this, cancellable, after] {
              std::unique_lock lock(m_mutex);
              if (!m_wake.wait_for(lock, after, [this] { return m_done; }))
                  g_cancellable_cancel(cancellable);
          }) {}
    BusDeadline(const BusDeadline&) = delete;
    BusDeadline& operator=(const BusDeadline&) = delete;
    ~BusDeadline() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread; // last: started once the members it uses exist
};

bool FileManagerAvailable(GDBusConnection* bus, GCancellable* cancellable) {
    GError* error = nullptr;
    GVariant* owner = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kFileManager), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, cancellable, &error);
    if (owner == nullptr) {
        g_error_free(error);
        return false;
    }
    gboolean owned = FALSE;
    g_variant_get(owner, "(b)", &owned);
    g_variant_unref(owner);
    if (owned)
        return true;
    GVariant* names = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 2000,
        cancellable, &error);
    if (names == nullptr) {
        g_error_free(error);
        return false;
    }
    bool found = false;
    GVariantIter* iter = nullptr;
    const gchar* name = nullptr;
    g_variant_get(names, "(as)", &iter);
    while (g_variant_iter_next(iter, "&s", &name))
        found = found || std::strcmp(name, kFileManager) == 0;
    g_variant_iter_free(iter);
    g_variant_unref(names);
    return found;
}

// Asks the desktop's file manager to show the entry (ShowItems) or its properties
// (ShowItemProperties). The request is sent without waiting for the answer, and the whole
// exchange, connecting included, is given up after kBusDeadline; false when no file manager
// took the request.
bool AskFileManager(const char* method, const std::string& path) {
    const std::string address = SessionBusAddress();
    if (address.empty())
        return false;
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
    if (uri == nullptr) {
        g_error_free(error);
        return false;
    }
    GCancellable* cancellable = g_cancellable_new();
    bool sent = false;
    try {
        BusDeadline deadline(cancellable, kBusDeadline);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, cancellable, &error);
        if (bus == nullptr) {
            g_clear_error(&error);
        } else {
            if (FileManagerAvailable(bus, cancellable)) {
                const gchar* uris[] = {uri, nullptr};
                GDBusMessage* message = g_dbus_message_new_method_call(
                    kFileManager, "/org/freedesktop/FileManager1", kFileManager, method);
                g_dbus_message_set_body(message, g_variant_new("(^ass)", uris, ""));
                g_dbus_message_set_flags(message, G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED);
                sent = g_dbus_connection_send_message(bus, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE,
                                                      nullptr, &error) &&
                       g_dbus_connection_flush_sync(bus, cancellable, &error);
                g_clear_error(&error);
                g_object_unref(message);
            }
            // Closing waits for nothing once the deadline has cancelled the exchange.
            g_dbus_connection_close_sync(bus, cancellable, nullptr);
            g_object_unref(bus);
        }
    } catch (const std::system_error&) {
        // No thread for the deadline: better not to ask than to risk waiting for ever.
        sent = false;
    }
    g_object_unref(cancellable);
    g_free(uri);
    return sent;
}

OpResult Launch(const std::string& action, const std::string& shown,
                const std::vector<std::string>& args, const platform::HelperDone& done) {
    const int e = platform::StartHelper(args, done);
    if (e == 0)
        return {};
    if (e == ENOENT)
        return Failure(DVO_E_UNSUPPORTED, action, shown,
                       "コマンド " + args.front() + " がインストールされていません");
    return Failure(CodeFor(e), action, shown, ReasonText(e));
}

} // namespace

OpResult ShellExecuteEntry(const std::string& directory, const std::string& name, int op,
                           platform::HelperDone done) {
    static const char* const kActions[] = {"表示できません", "", "開けません", "印刷できません",
                                           "プロパティを表示できません"};
    const std::string path = JoinPath(directory, name);
    if (op < 0 || op > 4 || op == 1)
        return Failure(DVO_E_INVALID_ARGUMENT, "操作できません", path,
                       "操作の番号 " + Decimal(op) + " は使えません");
    const std::string action = kActions[op];
    if (directory.empty() || !IsValidEntryName(name))
        return Failure(DVO_E_INVALID_ARGUMENT, action, path, "名前が正しくありません");
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) {
        const int e = errno;
        return Failure(e == ENOENT || e == ENOTDIR ? DVO_E_NOT_FOUND : CodeFor(e), action, path,
                       ReasonText(e));
    }
    switch (op) {
    case 2: return Launch(action, path, {"xdg-open", path}, done);
    case 3:
        if (!S_ISREG(st.st_mode))
            return Failure(DVO_E_UNSUPPORTED, action, path, "印刷できるのはファイルだけです");
        return Launch(action, path, {"lp", "--", path}, done);
    default:
        if (AskFileManager(op == 0 ? "ShowItems" : "ShowItemProperties", path)) {
            if (done)
                done({});
            return {};
        }
        // No file manager on the bus: at least open the folder that holds the entry.
        return Launch(action, path, {"xdg-open", directory}, done);
    }
}

} // namespace dvo
