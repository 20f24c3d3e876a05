#pragma once
// Engine-internal test seam: lets a test make the engine's memory or thread starts run out at a
// chosen point, to show that such a failure ends the work cleanly instead of the process. Off
// unless a test turns it on; the checks sit on slow paths only (a new arena chunk, a new thread).
#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

namespace dvo::faults {

// Allow `count` more arena chunks / thread starts, then fail every later one; -1 turns it off.
void FailArenaChunksAfter(long count) noexcept;
void FailThreadStartsAfter(long count) noexcept;
// Lets `count` more folders be listed by the scan's workers, then every later listing runs out
// of memory (whatever the arenas still hold).
void FailFolderReadsAfter(long count) noexcept;

// Lets `count` more folders be listed, then aborts the scan as the next listing starts, as a
// cancel that comes while a folder is read; -1 turns it off.
void AbortFolderReadAfter(long count) noexcept;

// The bytes a search may take for its records (see RecordBudget), in place of a quarter of
// physical memory; -1 gives the machine's own again.
void SetRecordBudget(long long bytes) noexcept;
// The budget set above, else that of the environment variable DVO_TEST_RECORD_BUDGET (read
// once, for tests and benchmarks of the real library), else -1.
[[nodiscard]] long long RecordBudgetOverride() noexcept;

// Makes every io_uring setup of the scan fail (as on a kernel that refuses rings), so the walk
// stats entry by entry; also on with the environment variable DVO_TEST_NO_URING=1 (read once).
void FailRingSetup(bool fail) noexcept;
[[nodiscard]] bool RingSetupFails() noexcept;

// How many entries of each run of stats are statted inline before the rest go to the ring,
// in place of the engine's own choice by how long a stat waits: 0 sends every run to the ring
// (as on a cold disk), -1 gives the engine's choice again. Also set by the environment variable
// DVO_TEST_INLINE_STATS (read once), for benchmarks of one path.
void SetInlineStatsPerRun(long count) noexcept;
[[nodiscard]] long InlineStatsPerRun() noexcept;

// True when this arena chunk / thread start is to fail.
[[nodiscard]] bool ArenaChunkFails() noexcept;
[[nodiscard]] bool ThreadStartFails() noexcept;
[[nodiscard]] bool FolderReadFails() noexcept;
[[nodiscard]] bool FolderReadAborts() noexcept;

// std::thread, or the std::system_error a failing start throws.
template <typename F> [[nodiscard]] std::thread StartThread(F&& body) {
    if (ThreadStartFails())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread start refused by the test seam");
    return std::thread(std::forward<F>(body));
}

} // namespace dvo::faults
