#include "engine/FaultInjection.h"

#include <cstdlib>

namespace dvo::faults {
namespace {

std::atomic<long> g_arenaChunks{-1};
std::atomic<long> g_threadStarts{-1};
std::atomic<long> g_folderReads{-1};
std::atomic<long> g_abortedReads{-1};
std::atomic<long long> g_recordBudget{-1};
std::atomic<bool> g_ringSetupFails{false};
std::atomic<long> g_inlineStats{-2}; // -2: not set by a test, the environment decides

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

void AbortFolderReadAfter(long count) noexcept {
    g_abortedReads.store(count < 0 ? -1 : count, std::memory_order_relaxed);
}

void SetRecordBudget(long long bytes) noexcept {
    g_recordBudget.store(bytes < 0 ? -1 : bytes, std::memory_order_relaxed);
}

long long RecordBudgetOverride() noexcept {
    if (const long long set = g_recordBudget.load(std::memory_order_relaxed); set >= 0)
        return set;
    static const long long fromEnvironment = [] {
        const char* text = std::getenv("DVO_TEST_RECORD_BUDGET");
        if (text == nullptr || *text == '\0')
            return -1LL;
        char* end = nullptr;
        const long long bytes = std::strtoll(text, &end, 10);
        return *end == '\0' && bytes >= 0 ? bytes : -1LL;
    }();
    return fromEnvironment;
}

void FailRingSetup(bool fail) noexcept { g_ringSetupFails.store(fail, std::memory_order_relaxed); }

bool RingSetupFails() noexcept {
    static const bool fromEnvironment = [] {
        const char* text = std::getenv("DVO_TEST_NO_URING");
        return text != nullptr && text[0] == '1' && text[1] == '\0';
    }();
    return fromEnvironment || g_ringSetupFails.load(std::memory_order_relaxed);
}

void SetInlineStatsPerRun(long count) noexcept {
    g_inlineStats.store(count < 0 ? -1 : count, std::memory_order_relaxed);
}

long InlineStatsPerRun() noexcept {
    if (const long set = g_inlineStats.load(std::memory_order_relaxed); set != -2)
        return set;
    static const long fromEnvironment = [] {
        const char* text = std::getenv("DVO_TEST_INLINE_STATS");
        if (text == nullptr || *text == '\0')
            return -1L;
        char* end = nullptr;
        const long count = std::strtol(text, &end, 10);
        return *end == '\0' && count >= 0 ? count : -1L;
    }();
    return fromEnvironment;
}

bool FolderReadFails() noexcept {
    // One relaxed load per folder while the seam is off.
    return g_folderReads.load(std::memory_order_relaxed) >= 0 && Spend(g_folderReads);
}

bool FolderReadAborts() noexcept {
    return g_abortedReads.load(std::memory_order_relaxed) >= 0 && Spend(g_abortedReads);
}

bool ArenaChunkFails() noexcept { return Spend(g_arenaChunks); }
bool ThreadStartFails() noexcept { return Spend(g_threadStarts); }

} // namespace dvo::faults
