#include "engine/FaultInjection.h"

namespace dvo::faults {
namespace {

std::atomic<long> g_arenaChunks{-1};
std::atomic<long> g_threadStarts{-1};
std::atomic<long> g_folderReads{-1};

// Counts one use down; true once the allowance is spent (and for ever after, until reset).
bool Spend(std::atomic<long>& allowance) noexcept {
    long left = allowance.load(std::memory_order_relaxed);
    while (left > 0) {
        if (allowance.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
            return false;
    }
    return left == 0;
}

} // namespace

void FailArenaChunksAfter(long count) noexcept {
    g_arenaChunks.store(count < 0 ? -1 : count, std::memory_order_relaxed);
}

void FailThreadStartsAfter(long count) noexcept {
    g_threadStarts.store(count < 0 ? -1 : count, std::memory_order_relaxed);
}

void FailFolderReadsAfter(long count) noexcept {
    g_folderReads.store(count < 0 ? -1 : count, std::memory_order_relaxed);
}

bool FolderReadFails() noexcept {
    // One relaxed load per folder while the seam is off.
    return g_folderReads.load(std::memory_order_relaxed) >= 0 && Spend(g_folderReads);
}

bool ArenaChunkFails() noexcept { return Spend(g_arenaChunks); }
bool ThreadStartFails() noexcept { return Spend(g_threadStarts); }

} // namespace dvo::faults
