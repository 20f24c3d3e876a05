#pragma once
// The engine object behind the DVO* calls: one search at a time, run by a controller thread
// that drives the Scanner's workers, and the records of the last search.
#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/DVOSUB.h"
#include "engine/EntryLookup.h"
#include "engine/MovedEntries.h"
#include "engine/RecordStore.h"
#include "engine/ScanTree.h"
#include "engine/Scanner.h"

namespace dvo {

class Engine {
public:
    Engine() = default;
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The object DVOCreateObj made, or null.
    [[nodiscard]] static Engine* Instance() noexcept;
    static int Create();
    static int Destroy();

    int StartSearching();
    int AddSearchDirectory(const char16_t* path);
    int ExecSearch(const ScanOptions& options);
    // Entries the next searches leave out, until set again.
    void SetExcludes(ExcludeList excludes) { m_excludes = std::move(excludes); }
    [[nodiscard]] bool IsActive() const noexcept {
        return m_active.load(std::memory_order_acquire);
    }
    [[nodiscard]] bool IsSearching() const noexcept {
        return m_searching.load(std::memory_order_acquire);
    }
    int Abort();
    int Progress(SearchProgress* progress);

    // The count records and totals show (DVO_SIZE_*): kept across searches and opened results.
    int SetSizeMode(int mode);
    [[nodiscard]] int GetSizeMode() const noexcept { return static_cast<int>(m_sizeMode); }

    // The listings of the current result (see Listings.h): the records of the largest files
    // (how many were written), and the totals by extension or by year given to sink (how many).
    int LargestFiles(FolderRecord** records, int count);
    int GroupTotals(bool byYear, DVOGroupSink sink, void* context);

    [[nodiscard]] int FolderCount();
    int FolderList(FolderRecord** records, int count);
    [[nodiscard]] FolderRecord* Top();
    [[nodiscard]] FolderRecord* First(FolderRecord* parent);
    [[nodiscard]] FolderRecord* Next(FolderRecord* parent);
    [[nodiscard]] int ErrorCount();
    // DVO_FOLDER_* of a folder record of the last search, or a negative DVO_E_* code.
    [[nodiscard]] int FolderState(const FolderRecord* record);

    [[nodiscard]] LookupResult Lookup(std::u16string_view directory, std::u16string_view name,
                                      EntryIdentity& identity);
    // An entry of the last search was deleted or moved (fate.folder: the real path of where it
    // went, empty when deleted): its parents' totals and records lose what the search counted
    // for it. Moved into a folder of the search (found by device and inode, so any spelling of
    // its path does), it is counted there, and listed and found there when it kept its name;
    // folders the action made on the way and fate.madeFile are counted too. Bytes of a
    // hard-linked file stay counted while another of its names remains in the search.
    void EntryGone(std::u16string_view directory, std::u16string_view name,
                   const EntryFate& fate = {});
    // An operation failed part way through removing the entry: what of it the search listed and
    // is no longer on disk (or is another entry now) is taken off as if deleted.
    void EntryPartlyGone(std::u16string_view directory, std::u16string_view name);

    // Takes over a result made elsewhere (an export read from a file) as if a search of its
    // path had just ended with it; opened marks it as not searched here, so that file actions
    // refuse its entries. DVO_E_BUSY while a search runs.
    int AdoptResult(std::unique_ptr<ScanResult> result, bool opened);
    [[nodiscard]] bool IsOpenedResult() const noexcept { return m_opened; }
    // The finished result with the moves made since (null while searching or without one).
    [[nodiscard]] const ScanResult* CurrentResult();
    [[nodiscard]] MovedEntries& Moved() noexcept { return m_moved; }

private:
    // After the controller has finished: joins it and takes over its result.
    void Settle();
    void Discard();
    void WaitForTotals();
    // The record store of the finished search, made on first use; null while searching, without
    // a result, or when there is no memory for it.
    [[nodiscard]] RecordStore* Records();
    template <typename Call> [[nodiscard]] FolderRecord* RecordOrNull(Call call);
    void FillCurrentPath(SearchProgress* progress, const Dir* d);
    // The folder of the last search at this path (bytes), or null.
    [[nodiscard]] Dir* FolderAt(std::string_view dir);
    // Where an entry of the last search is listed now: its node, its folder (null for the
    // searched folder itself) and, for an entry moved there after the search, that move.
    struct Slot {
        Node* node = nullptr;
        Dir* parent = nullptr;
        MovedEntry* moved = nullptr;
    };
    // The entry named `name` that d holds now, gone ones included (node null when none).
    [[nodiscard]] Slot ChildAt(Dir* d, std::string_view name) noexcept;
    [[nodiscard]] static bool IsGone(const Slot& slot) noexcept;
    // The entry by its record's texts (node null when unknown or gone).
    [[nodiscard]] Slot FindEntry(std::u16string_view directory, std::u16string_view name);
    // Lists the entry under into from now on; false (nothing changed) without the memory for it.
    bool MoveWithin(const Slot& slot, Dir* into) noexcept;
    struct Counted {
        std::int64_t size = 0;
        std::int64_t diskSize = 0;
        std::int64_t folders = 0;
        std::int64_t files = 0;
    };
    void Adjust(Dir* from, const Counted& amount, int sign);
    [[nodiscard]] static Counted CountedFor(const Node& node) noexcept;
    // The entries d lists now (gone ones left out) in byte order of their names.
    [[nodiscard]] std::vector<Slot> Listed(Dir* d);
    // Takes a listed entry off: its parents stop counting it and it is gone from then on.
    void Remove(const Slot& slot);
    // The counted name of a hard-linked file left the search: the first of its other names in
    // record order that remains counts its bytes from now on, as a new search would.
    void RecountLinks(Node& removed);
    // The folder of the search that the real path `path` names or is below (the nearest one
    // on disk, by device and inode), or null when that place is outside what the search read.
    // Folders on the way that the search never saw were made since: added to `made`. *exact
    // tells whether the folder found is the one at `path` itself.
    [[nodiscard]] Dir* FolderOnDisk(const std::string& path, std::set<std::string>& made,
                                    bool* exact = nullptr);

    std::string m_searchPath; // bytes, absolute
    ExcludeList m_excludes;
    std::string m_rootPath; // the searched folder as the scanner normalised it
    std::unique_ptr<Scanner> m_scanner;
    std::thread m_controller;
    std::atomic<bool> m_active{false};
    std::atomic<bool> m_searching{false};
    std::unique_ptr<ScanResult> m_pending; // written by the controller before m_searching drops
    std::unique_ptr<ScanResult> m_result;
    MovedEntries
        m_moved; // entries moved within the last search's tree; before m_records, which reads it
    std::unique_ptr<RecordStore> m_records;
    std::int64_t m_searchStartNs = 0; // CLOCK_REALTIME when the last search began
    bool m_lostResult = false;        // the search ran out of memory before its totals were made
    bool m_opened = false;            // the result was read from an export, not searched here
    SizeMode m_sizeMode = SizeMode::Apparent;

    const Dir* m_shownFolder = nullptr;
    char16_t m_shownPath[DVO_NAME_UNITS] = {};
    std::chrono::steady_clock::time_point m_lastSnapshot{};
};

} // namespace dvo
