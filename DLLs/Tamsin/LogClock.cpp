#include "DLLs/Tamsin/LogClock.h"

#include <atomic>

namespace tamsin {
namespace {

std::atomic<ClockFunction> g_clock{nullptr};

} // namespace

platform::LocalTime LogNow() {
    const ClockFunction clock = g_clock.load(std::memory_order_acquire);
    return clock != nullptr ? clock() : platform::LocalNow();
}

void SetLogClock(ClockFunction clock) { g_clock.store(clock, std::memory_order_release); }

} // namespace tamsin
