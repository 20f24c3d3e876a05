#pragma once
// Engine-internal: how the file operations find what the last search saw of an entry.
#include <cstdint>
#include <string_view>

namespace dvo {

// What the search recorded of an entry: checked again right before any file operation, so an
// entry replaced since the search (say a folder swapped for a symbolic link) is refused.
struct EntryIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint32_t type = 0; // st_mode & S_IFMT
};

enum class LookupResult {
    Found,
    NotFound, // no entry of the last search has this directory and name
    Busy,     // a search is running
    NoObject, // DVOCreateObj was not called
};

// Finds the entry of the last search whose containing folder is `directory` (the exact text a
// record's directory points to) and whose name is `name`. Called on the program's thread.
[[nodiscard]] LookupResult LookupEntry(std::u16string_view directory, std::u16string_view name,
                                       EntryIdentity& identity);

// After a successful delete or move of that entry: the folders above it stop counting it (and,
// for a move into a folder of the same search, the entry is listed and found there, and that
// folder and those above it count it).
void NoteEntryGone(std::u16string_view directory, std::u16string_view name,
                   std::u16string_view movedInto = {}) noexcept;

} // namespace dvo
