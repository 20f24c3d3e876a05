#pragma once
// Engine-internal: how the file operations find what the last search saw of an entry.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dvo {

struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// What the search recorded of an entry: checked again right before any file operation, so an
// entry replaced since the search (say a folder swapped for a symbolic link) is refused.
struct EntryIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint32_t type = 0; // st_mode & S_IFMT
    // When the search started (CLOCK_REALTIME, ns; 0: unknown). Inode numbers are reused at
    // once, so an entry born after it (or, where no birth time is kept, changed after it) is a
    // new one under the old number.
    std::int64_t searchStartNs = 0;
    // The searched folder as the search opened it, and the identities of that folder and of
    // each folder below it down to the one holding the entry: the operation reaches the entry
    // from there one folder at a time, so a folder swapped for a link is not followed. Empty
    // for the searched folder itself, whose containing folder is opened by its path.
    std::string root{};
    std::vector<FolderIdentity> folders{};
    bool followLinks = false; // the search followed links to folders, so the walk does too
};

enum class LookupResult {
    Found,
    NotFound,     // no entry of the last search has this directory and name
    Busy,         // a search is running
    OpenedResult, // the result was opened from an export: its entries are not acted on
    NoObject,     // DVOCreateObj was not called
};

// Finds the entry of the last search whose containing folder is `directory` (the exact text a
// record's directory points to) and whose name is `name`. Called on the program's thread.
[[nodiscard]] LookupResult LookupEntry(std::u16string_view directory, std::u16string_view name,
                                       EntryIdentity& identity);

// Where an entry went after a successful delete, trash or move: the real path of the folder
// that holds it now and its name there (both empty when deleted), and a file the action made
// (a trash's .trashinfo: real path, size and disk usage; empty when none).
struct EntryFate {
    std::string folder{};
    std::string name{};
    std::string madeFile{};
    std::int64_t madeSize = 0;
    std::int64_t madeDiskSize = 0;
};

// After a successful delete or move of that entry: the folders above it stop counting it (and,
// for a move into a folder of the same search, found by its identity on disk, the entry is
// listed and found there, and that folder and those above it count it).
void NoteEntryGone(std::u16string_view directory, std::u16string_view name,
                   const EntryFate& fate = {}) noexcept;

// After an operation that failed part way through removing that entry: whatever of it the
// search listed and is no longer on disk stops being counted.
void NoteEntryPartlyGone(std::u16string_view directory, std::u16string_view name) noexcept;

} // namespace dvo
