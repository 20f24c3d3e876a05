#pragma once
// The clock every write of the library reads. Tests replace it to stand at a chosen moment, or
// to cross midnight without waiting for it.
#include <ctime>

#include "platform/Clock.h"

namespace dbg {

// A realtime reading: seconds since 1970 (UTC) and nanoseconds.
using ClockFunction = timespec (*)();

[[nodiscard]] timespec Now();

// Local time of the current reading; date, time and milliseconds from one reading.
[[nodiscard]] platform::LocalTime LocalNow();

// Null restores the system clock.
void SetClock(ClockFunction clock);

} // namespace dbg
