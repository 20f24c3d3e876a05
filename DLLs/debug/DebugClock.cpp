#include "DLLs/debug/DebugClock.h"

#include <atomic>

namespace dbg {
namespace {

std::atomic<ClockFunction> g_clock{nullptr};

} // namespace

timespec Now() {
    const ClockFunction clock = g_clock.load(std::memory_order_acquire);
    if (clock != nullptr)
        return clock();
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ts;
}

platform::LocalTime LocalNow() { return platform::ToLocalTime(Now()); }

void SetClock(ClockFunction clock) { g_clock.store(clock, std::memory_order_release); }

} // namespace dbg
