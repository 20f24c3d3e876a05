#pragma once
// The date and time fields of GetDate, GetDate2 and GetTime, from a given local time.
#include "platform/Clock.h"

namespace rundel {

void FormatDate(const platform::LocalTime& t, char* field);  // "MM/DD/YYYY", 10 bytes
void FormatDate2(const platform::LocalTime& t, char* field); // "MM/DD/YY", 8 bytes
void FormatTime(const platform::LocalTime& t, char* field);  // "hh:mm:ss", 8 bytes

} // namespace rundel
