#pragma once
// The clock the logs read for their time stamps and day checks. Tests replace it with a fake
// to cross midnight without waiting for it.
#include "platform/Clock.h"

namespace tamsin {

using ClockFunction = platform::LocalTime (*)();

[[nodiscard]] platform::LocalTime LogNow();

// Null restores the system clock.
void SetLogClock(ClockFunction clock);

} // namespace tamsin
