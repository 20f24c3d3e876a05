#pragma once
// Copying, moving and removing whole trees relative to open directory descriptors, so that a
// name is resolved once and a symbolic link anywhere in the tree is handled as a link, never
// followed. Nothing here overwrites: a target that exists makes the operation fail with EEXIST.
//
// Results are errno values (0 on success). The first failure is also described in FileOpError:
// the step that failed and the entry's path relative to the operation's own source or target.
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

namespace platform {

// What kind of failure stopped an operation. Callers choose what to tell the user by this, never
// by `step`, which is only detail for a log.
enum class FileOpFailure : unsigned char {
    None,
    Call,              // a system call failed (`step` names it); `error` says why
    Cancelled,         // the progress callback asked to stop (ECANCELED)
    MountPoint,        // a folder below is another file system or mount point (EXDEV)
    IntoItself,        // a folder would be copied or moved into itself (EINVAL)
    Attribute,         // an extended attribute (`attribute`) cannot be kept
    ChangedDuringMove, // the source changed while it was copied across file systems
};

struct FileOpError {
    int error = 0; // errno of the first failure; 0 when none
    FileOpFailure kind = FileOpFailure::None;
    std::string step;      // the call that failed: "open", "mkdir", "rename", ...
    std::string path;      // the entry it failed on (raw bytes), relative to the operation's root
    std::string attribute; // with kind Attribute: the extended attribute that could not be kept
};

// What a caller saw of an entry earlier; the operation refuses (ESTALE) an entry that differs.
struct ExpectedEntry {
    bool check = false;
    dev_t device = 0;
    ino_t inode = 0;
    mode_t type = 0; // st_mode & S_IFMT
};

// Progress of a long copy, told from the copying thread: bytes of regular files copied so far,
// bytes in all (-1 while the entries are still being counted) and the entry at hand (its path
// relative to the operation's root). Called now and then, at most every kProgressInterval and
// once when the last byte is copied, never per block. Returning false cancels: the operation
// fails with ECANCELED and undoes its copy as after any other failure.
using CopyProgress = std::function<bool(long long done, long long total, const std::string& path)>;
inline constexpr int kProgressIntervalMs = 100;

struct CopyOptions {
    // Give the copy the source's owner and group when allowed (a move keeps them; a plain copy,
    // like cp without -p, belongs to whoever copies).
    bool keepOwner = false;
    // Refuse (EXDEV) a folder below the source that is another file system or mount point: a
    // move could not remove it afterwards.
    bool sameFileSystem = false;
    // Extended attributes (POSIX ACLs among them) are always copied. With this, one the target
    // cannot hold (ENOTSUP, EPERM) fails the operation (kind Attribute), as a move must keep all;
    // without, it is left out, so a copy to a file system without attributes still works.
    bool allAttributes = false;
    // Told how the copy goes and asked whether to go on; none when null.
    const CopyProgress* progress = nullptr;
};

// Copies the entry `name` of the folder `srcDir` to `dstName` in the folder `dstDir`. Regular
// files keep their contents (holes stay holes), mode, modification time and extended attributes;
// names of one file inside a copied folder stay hard links of one copy; folders are copied with all they hold;
// symbolic links are copied as links; fifos and sockets are recreated; devices are recreated
// when the process may (else EPERM). Fails with EEXIST when the target exists and EINVAL when a
// folder would be copied into itself. On failure, everything the call created is removed again.
[[nodiscard]] int CopyEntryAt(int srcDir, const std::string& name, int dstDir,
                              const std::string& dstName, const CopyOptions& options = {},
                              const ExpectedEntry& expected = {}, FileOpError* error = nullptr);

// Renames the entry when source and target are on one file system (never replacing a target);
// across file systems copies it with owner, mode, times and all extended attributes (else it
// fails with kind Attribute before removing anything), and removes the source only after
// the copy is complete. A failure before that point leaves the source as it was and removes the
// partial copy. When removing the source after a complete copy fails, the copy stays and the
// error is returned: nothing is lost, but the source is not entirely gone. `progress` is told
// about the copy (a rename is instant and tells nothing); a cancel leaves the source whole.
[[nodiscard]] int MoveEntryAt(int srcDir, const std::string& name, int dstDir,
                              const std::string& dstName, const ExpectedEntry& expected = {},
                              FileOpError* error = nullptr, const CopyProgress* progress = nullptr);

// Removes the entry `name` of `dir` and, for a folder, everything below it. Every folder is
// opened with O_NOFOLLOW and checked against what fstatat saw; links are removed, never followed;
// a folder below that is another file system or a mount point is left alone (EXDEV). Goes on past
// entries it cannot remove and returns the first error.
[[nodiscard]] int RemoveTreeAt(int dir, const std::string& name, const ExpectedEntry& expected = {},
                               FileOpError* error = nullptr);

// True when the folder open at `fd` is the root of a mount (also a bind mount of a folder of the
// same file system); false when it cannot be told.
[[nodiscard]] bool IsMountRoot(int fd);

// Path forms of the calls above (CopyFileA with "fail if exists", MoveFileExA with "copy
// allowed"): the last component of `source` is the entry, `target` the full new path.
[[nodiscard]] int CopyPath(const std::string& source, const std::string& target,
                           FileOpError* error = nullptr);
[[nodiscard]] int MovePath(const std::string& source, const std::string& target,
                           FileOpError* error = nullptr);

} // namespace platform
