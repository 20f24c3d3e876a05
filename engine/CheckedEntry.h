#pragma once
// Engine-internal: the checked way to an entry of the last search. The containing folder is
// reached by walking down from the searched folder one name at a time and checking each folder
// against what the search saw; then the entry itself is checked (device, inode, type, born
// before the search). Every file operation starts here and acts only through the folder held.
#include "engine/EntryLookup.h"
#include "engine/FileOperations.h"
#include "platform/FileCopy.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace dvo {

inline constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The containing folder, open, and the entry's status, checked against what the search saw.
struct CheckedEntry {
    platform::UniqueFd parent;
    struct stat st {};
};

// Opens and checks the entry `name` of `directory` for `action` (the start of any failure's
// text); DVO_E_CHANGED when it or a folder on the way is no longer what the search saw.
[[nodiscard]] OpResult OpenChecked(const std::string& action, const std::string& directory,
                                   const std::string& name, const EntryIdentity& seen,
                                   CheckedEntry& entry);

// What the platform's tree operations must find at the entry: what was checked here.
[[nodiscard]] platform::ExpectedEntry Expectation(const struct stat& st);

// OpenChecked for an entry about to be trashed or removed: a folder that is the root of a mount
// (also "/") is refused (DVO_E_MOUNT_POINT), as taking it would reach into another file system.
[[nodiscard]] OpResult OpenRemovable(const std::string& action, const std::string& directory,
                                     const std::string& name, const EntryIdentity& seen,
                                     CheckedEntry& entry);

// The real path of an open file or folder; empty when it cannot be told.
[[nodiscard]] std::string PathOfFd(int fd);

} // namespace dvo
