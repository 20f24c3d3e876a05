#pragma once
// The engine's operations on one entry of the last search: to the trash, removal for good,
// copy, move and the desktop's shell actions. Names and folders are the raw bytes on disk.
//
// Each operation opens the containing folder by walking down from the searched folder without
// following links, checking each folder against the search's, checks with statx that the entry
// is still what the search saw (device, inode, type, born before the search) and only then acts
// through the folder it holds open; an entry replaced meanwhile is refused with DVO_E_CHANGED
// and nothing is touched.
#include "engine/EntryLookup.h"
#include "platform/FileCopy.h"
#include "platform/HelperProcess.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace dvo {

// A DVO_* result code and, on failure, the reason as text for the user (UTF-8).
struct OpResult {
    int code = 0;
    std::string message;
    // Where a trash or move put the entry, for the totals of a search that holds that place:
    // the real path of the folder now holding it and its name there (a trash may rename it).
    std::string landedFolder{};
    std::string landedName{};
    // A file the action made beside it (a trash's .trashinfo), by real path, size and disk usage.
    std::string madeFile{};
    std::int64_t madeSize = 0;
    std::int64_t madeDiskSize = 0;
    // Failed after removing part of the entry: what is gone must be looked up on disk.
    bool partlyDone = false;
};

// False for names no single entry can have: empty, "." and "..", or with a "/" in them.
[[nodiscard]] bool IsValidEntryName(std::string_view name);

// Moves the entry to the user's trash (freedesktop.org Trash): the home trash for entries on the
// file system of $XDG_DATA_HOME, else the trash at the top of the entry's file system
// ($topdir/.Trash/$uid when that is a sticky folder and no link, else $topdir/.Trash-$uid).
// The .trashinfo file is written first, then the entry renamed beside it. DVO_E_NO_TRASH when
// no trash on the entry's file system can be used; the entry is then left as it is.
[[nodiscard]] OpResult TrashEntry(const std::string& directory, const std::string& name,
                                  const EntryIdentity& seen);

// Removes the entry and all it holds, never following a link, never leaving the entry's device
// and never emptying a mount point; goes on past what it cannot remove and reports the first
// failure.
[[nodiscard]] OpResult DeleteEntryPermanently(const std::string& directory, const std::string& name,
                                              const EntryIdentity& seen);

// Copies / moves the entry into the folder `destination` under the same name, never replacing
// anything there (DVO_E_EXISTS). A move across file systems copies and removes the source only
// once the copy is complete; a failed move leaves the source whole and no partial copy.
// With `progress`, it is told how the copy goes and may cancel it (DVO_E_CANCELLED): a
// cancelled copy leaves nothing at the destination, a cancelled move leaves the source whole.
[[nodiscard]] OpResult CopyEntry(const std::string& directory, const std::string& name,
                                 const EntryIdentity& seen, const std::string& destination,
                                 const platform::CopyProgress* progress = nullptr);
[[nodiscard]] OpResult MoveEntry(const std::string& directory, const std::string& name,
                                 const EntryIdentity& seen, const std::string& destination,
                                 const platform::CopyProgress* progress = nullptr);

// Shell actions, started without a shell: op 2 opens with the default application (xdg-open),
// 3 prints (lp), 0 shows the entry in the file manager and 4 its properties
// (org.freedesktop.FileManager1 over D-Bus; without it the folder is opened). Never waited for:
// without `done` the helper's exit is not looked at; with it, a thread of its own collects the
// helper's standard error and calls `done` once the helper has exited (at once, on this thread,
// when the file manager took the request without a helper). `done` is called only for a result
// of DVO_OK.
[[nodiscard]] OpResult ShellExecuteEntry(const std::string& directory, const std::string& name,
                                         int op, platform::HelperDone done = {});

} // namespace dvo
