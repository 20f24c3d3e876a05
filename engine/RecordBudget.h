#pragma once
// What a search may take for the interface's records: every folder record's directory is a full
// path, so a deep chain of long names needs memory quadratic in its depth. The scan reserves
// each folder's path text (and its own nodes) here before it enters the folder, and stops where
// the sum would pass the budget, keeping what it has read, rather than exhaust the machine.
#include <atomic>
#include <cstdint>
#include <unistd.h>

#include "engine/FaultInjection.h"

namespace dvo {

class RecordBudget {
public:
    // limit in bytes.
    explicit RecordBudget(std::uint64_t limit) noexcept : m_limit(limit) {}

    // A quarter of physical memory, or the test seam's budget where one is set.
    [[nodiscard]] static std::uint64_t ForThisMachine() noexcept {
        if (const long long forced = faults::RecordBudgetOverride(); forced >= 0) {
            return static_cast<std::uint64_t>(forced);
        }
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        if (pages <= 0 || pageSize <= 0) {
            return UINT64_MAX; // unknown: no limit of ours
        }
        return static_cast<std::uint64_t>(pages) / 4 * static_cast<std::uint64_t>(pageSize);
    }

    // Bytes of the UTF-16 text, NUL included, of a path of pathLength UTF-8 bytes: no byte
    // becomes more than one UTF-16 unit, so this is an upper bound (exact for ASCII).
    [[nodiscard]] static constexpr std::uint64_t PathTextBytes(std::uint32_t pathLength) noexcept {
        return (std::uint64_t{pathLength} + 1) * sizeof(char16_t);
    }
    // The length of a child's path below a folder's: saturates, and a saturated length is over
    // any budget (Reserve refuses it).
    [[nodiscard]] static constexpr std::uint32_t ChildPathLength(std::uint32_t parent,
                                                                 std::size_t name) noexcept {
        const std::uint64_t n = std::uint64_t{parent} + 1 + name;
        return n >= UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(n);
    }

    // Takes bytes already spent (the scan's nodes); they may pass the limit, and then the next
    // Reserve fails.
    void Add(std::uint64_t bytes) noexcept { m_used.fetch_add(bytes, std::memory_order_relaxed); }

    // Takes bytes only when they fit; once one reservation failed, every later one fails too,
    // so the search stops at one place instead of skipping a large folder for a small one.
    [[nodiscard]] bool Reserve(std::uint64_t bytes) noexcept {
        if (m_exceeded.load(std::memory_order_relaxed)) {
            return false;
        }
        std::uint64_t used = m_used.load(std::memory_order_relaxed);
        for (;;) {
            if (bytes > m_limit || used > m_limit - bytes) {
                m_exceeded.store(true, std::memory_order_relaxed);
                return false;
            }
            if (m_used.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed)) {
                return true;
            }
        }
    }
    // True once a reservation failed: the search stopped short for want of memory.
    [[nodiscard]] bool Exceeded() const noexcept {
        return m_exceeded.load(std::memory_order_relaxed);
    }
    [[nodiscard]] std::uint64_t Used() const noexcept {
        return m_used.load(std::memory_order_relaxed);
    }
    [[nodiscard]] std::uint64_t Limit() const noexcept { return m_limit; }

private:
    const std::uint64_t m_limit;
    std::atomic<std::uint64_t> m_used{0};
    std::atomic<bool> m_exceeded{false};
};

} // namespace dvo
