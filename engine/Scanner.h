#pragma once
// The parallel folder walk behind DVOSUB and dvoscan. Worker threads share one stack of folders
// to read; each reads a folder through its descriptor (getdents64 + statx on the folder's own
// descriptor, many in flight through io_uring where the kernel allows), keeps the entries as
// compact nodes in its own arenas, and queues the subfolders. The entries of a large folder are
// statted by every idle worker at once.
// Totals are computed in one pass after the walk, in record order, so they never depend on which
// thread read what.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/Exclude.h"
#include "engine/RecordBudget.h"
#include "engine/ScanTree.h"
#include "platform/UniqueFd.h"

namespace dvo {

// What the walk asks statx for each entry, on both the ring and the entry-by-entry path; the
// blocks give each entry's disk usage beside its apparent size.
inline constexpr unsigned kEntryStatMask = STATX_BASIC_STATS | STATX_BLOCKS;

class Scanner {
public:
    struct Totals {
        std::int64_t size =
            0; // bytes of the files read so far in ScanOptions::liveMode (hard links
               // not yet merged)
        std::int64_t folders = 0; // folders found below the searched folder
        std::int64_t files = 0;   // other entries found
        std::int64_t errors = 0;  // folders or entries that could not be read
    };

    explicit Scanner(ScanOptions options);
    // Entries the walk leaves out (not counted, not entered); before Open. The searched folder
    // itself is always read.
    void SetExcludes(ExcludeList excludes) { m_excludes = std::move(excludes); }
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // Opens the folder to search (a path of any length). 0, or a DVO_E_* code: DVO_E_NOT_FOUND,
    // DVO_E_NOT_A_FOLDER, DVO_E_ACCESS, DVO_E_IO, DVO_E_INVALID_ARGUMENT.
    [[nodiscard]] int Open(std::string_view path);
    // Opens a folder below a searched one to read it again: the first rootLength bytes of path
    // are the searched folder, opened as Open does; the folders after it are entered one by one
    // without following a link (unless links are followed: DVO_E_NOT_A_FOLDER for a link). Unless
    // file systems are crossed, a folder that is not on `device` or is a mount root is refused
    // with DVO_E_MOUNT_POINT. Otherwise as Open.
    [[nodiscard]] int OpenBelow(std::string_view path, std::size_t rootLength,
                                std::uint64_t device);
    // Walks the tree on the worker threads, the calling thread among them; returns when every
    // worker has stopped (the walk is complete or Abort was called). Call once, after Open.
    void Run();
    // Stops the walk from any thread; Run returns soon after.
    void Abort() noexcept;
    // After Run: computes the totals, closes what is still open and hands over the tree.
    [[nodiscard]] std::unique_ptr<ScanResult> Finish();

    // Live totals summed over the workers; any thread, any time after Open.
    [[nodiscard]] Totals Snapshot() const noexcept;
    // A folder being read now (null when none is); it stays valid as long as the tree does.
    [[nodiscard]] const Dir* CurrentFolder() const noexcept;

    [[nodiscard]] int ThreadCount() const noexcept { return m_threadCount; }
    // The searched folder as Open normalised it ("a//b/" -> "a/b").
    [[nodiscard]] const std::string& RootPath() const noexcept { return m_path; }
    [[nodiscard]] static int DefaultThreadCount() noexcept;

private:
    struct Worker;
    struct Entry;
    struct Split;
    class EntryStats;

    void WorkerLoop(Worker& w);
    void ReadFolder(Worker& w, Dir* d);
    // Lists the folder open at fd (on device folderDevice) into w.entries and w.names, sorted by
    // name; true when an abort cut the listing short. Throws when memory runs out.
    bool ListEntries(Worker& w, int fd, std::uint64_t folderDevice);
    static void SortByName(std::vector<Entry>& entries, const char* names);
    // Stats entries [begin, end) of a listing (w's own, or another worker's large folder) on w's
    // ring, else one by one; stops early on an abort, leaving the rest unstatted.
    void StatEntries(Worker& w, int fd, std::uint64_t folderDevice, std::vector<Entry>& entries,
                     const char* names, std::size_t begin, std::size_t end);
    // Takes chunks of a shared large folder until none is left.
    void HelpSplit(Worker& w, Split& split);
    // Makes d's child nodes from w.entries, decides each child folder's state and queues those
    // to read in w.subfolders; throws when memory runs out.
    void PlaceNodes(Worker& w, Dir* d, std::uint64_t folderDevice, bool aborted);
    // A worker that cannot go on: counts the failure and stops the walk.
    void Fail(Worker& w) noexcept;
    // Opens a folder to read from the deepest ancestor on w's way down (the searched folder
    // when none is), keeping the folders it passes; not valid, with errno, when it fails.
    [[nodiscard]] platform::UniqueFd OpenFolder(Worker& w, const Dir* d);
    [[nodiscard]] std::uint32_t DeviceIndex(std::uint64_t device);
    [[nodiscard]] bool FirstVisit(std::uint64_t device, std::uint64_t inode);

    ScanOptions m_options;
    std::string m_path;
    int m_threadCount = 1;
    platform::UniqueFd m_rootFd; // the searched folder, open from Open to Finish
    std::uint64_t m_rootDevice = 0;
    std::unique_ptr<ScanResult> m_result;
    std::vector<std::unique_ptr<Worker>> m_workers;

    std::atomic<bool> m_abort{false};
    // An abort left a folder read in part (its listing or its stats cut short): the walk then
    // ended short even when no folder was left queued.
    std::atomic<bool> m_cutShort{false};
    std::atomic<bool> m_failed{false}; // a worker ran out of memory
    // What the records of the folders entered will need; the walk stops before passing it.
    RecordBudget m_budget{RecordBudget::ForThisMachine()};
    // Each worker keeps the subfolders it finds on a stack of its own and reads them depth
    // first; it moves some to the shared stack only while another worker waits for work, so the
    // lock is seldom taken once every worker is busy.
    std::mutex m_queueMutex;
    std::condition_variable m_queueCv;
    std::vector<Dir*> m_stack;                  // shared folders waiting to be read
    std::atomic<int> m_idle{0};                 // workers waiting for the shared stack
    std::atomic<std::int64_t> m_outstanding{0}; // folders queued anywhere or being read
    std::vector<Split*> m_splits;               // large folders whose entries idle workers stat

    // Descriptors the workers keep open for opening subfolders, shared out evenly among them.
    int m_fdBudget = 64;

    std::mutex m_deviceMutex; // guards the device table and m_visited
    IdentitySet m_visited;    // followLinks

    ExcludeList m_excludes;
};

// The full path (bytes) of a folder of a scan whose searched folder is `rootPath`.
[[nodiscard]] std::string FolderPath(std::string_view rootPath, const Dir* d);

} // namespace dvo
