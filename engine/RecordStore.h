#pragma once
// The interface's FolderRecords, made from a finished scan's compact tree on the program's
// thread: the folder list when it is first asked for, a folder's other children when they are
// first enumerated. Bump-allocated, exactly the public layout (no hidden part), valid as long as
// the store.
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/Arena.h"
#include "engine/DVOSUB.h"
#include "engine/MovedEntries.h"
#include "engine/ScanTree.h"

namespace dvo {

struct DirRecords {
    FolderRecord* record = nullptr;      // the folder's own record
    FolderRecord* fileRecords = nullptr; // its children other than folders, in child order
    bool fileRecordsMade = false;
    const char16_t* path = nullptr; // the folder's full path, its children's directory
    std::uint32_t cursor = 0;       // next child of a First/Next enumeration
    std::uint32_t fileCursor = 0;   // next of fileRecords
};

class RecordStore {
public:
    // moved: the entries moved within the search since, which the enumerations follow; it
    // outlives the store.
    RecordStore(const ScanResult& result, MovedEntries& moved);
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    [[nodiscard]] int FolderCount() const noexcept;
    // Writes min(count, FolderCount()) pointers in pre-order; returns how many.
    int FolderList(FolderRecord** out, int count);

    [[nodiscard]] FolderRecord* Top();
    // Null for a record that is not a folder record of this store, and at the end.
    [[nodiscard]] FolderRecord* First(FolderRecord* parent);
    [[nodiscard]] FolderRecord* Next(FolderRecord* parent);

    // Copies the folder's totals into its record, and the searched folder's into the top
    // record, where they have been made.
    void Refresh(Dir* d) noexcept;
    // Every record made so far shows its entry's figure in the result's size mode again.
    void RefreshSizes() noexcept;

    // The record of an entry d lists now (moved: an entry moved into d), made when not yet.
    [[nodiscard]] FolderRecord* RecordFor(Dir* d, const Node& node, MovedEntry* moved);

    // Bytes of the path texts and of each folder's bookkeeping made so far (what deep trees make
    // grow), without the unused end of the arena's last chunk.
    [[nodiscard]] std::size_t TextBytes() const noexcept { return m_textBytes; }

    // The folder's full path as the records show it.
    [[nodiscard]] const char16_t* PathOf(Dir* d);

    // The folder of a folder record of this store (also of the top record), or null.
    [[nodiscard]] const Dir* FolderOfRecord(const FolderRecord* record) const noexcept;

    // A move within the search in two steps, so that running out of memory changes nothing:
    // Prepare makes the new path texts for the entry moving into `into` (below: the folders
    // from the moved one down, empty for a file); Commit, once the tree shows the entry at its
    // new place, points the records made so far at them.
    struct Relocation {
        const char16_t* directory = nullptr;                 // the moved entry's new directory
        std::vector<std::pair<Dir*, const char16_t*>> paths; // new path of each folder below
    };
    [[nodiscard]] Relocation PrepareMove(const std::vector<Dir*>& below, Dir* into);
    void CommitMove(const Relocation& relocation, const std::vector<Dir*>& below, Dir* into,
                    const MovedEntry& entry) noexcept;
    // The record made so far for a child other than a folder: the scan's node in its folder
    // (moved null) or an entry moved in; null when none was made.
    [[nodiscard]] FolderRecord* FileRecordOf(Dir* parent, const Node& node,
                                             const MovedEntry* moved) noexcept;

private:
    [[nodiscard]] DirRecords& Extra(Dir* d);
    // Makes every folder's record, in one array in pre-order, on first use.
    void MakeFolderRecords();
    // The folder of a folder record of this store, or null for anything else.
    [[nodiscard]] Dir* FolderOf(const FolderRecord* record) const noexcept;
    void Fill(FolderRecord& f, const Node& node, const char16_t* directory, std::uint32_t depth);
    [[nodiscard]] const char16_t* CopyText(std::u16string_view text);
    [[nodiscard]] FolderRecord* RecordOf(MovedEntry& moved, Dir* into);
    void MakeFileRecords(Dir* d, DirRecords& x);
    void PointFileRecordsAt(Dir* d, const char16_t* path) noexcept;

    const ScanResult& m_result;
    MovedEntries& m_moved;
    Arena m_records{1u << 20};
    Arena m_texts{256u << 10};
    std::size_t m_textBytes = 0;       // taken from m_texts
    FolderRecord* m_folders = nullptr; // every folder's record, in pre-order
    std::vector<Dir*> m_folderDirs;    // the folder of each of them

    FolderRecord* m_top = nullptr;
    std::uint32_t m_topCursor = 0;
    const char16_t* m_rootDirectory = nullptr;
};

} // namespace dvo
