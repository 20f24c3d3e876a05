#pragma once
// The time-stamped trace line of the common functions on the debugger output:
// "CMNFNC Www Mmm dd hh:mm:ss.mmm yyyy :: <message>\n", the head of a log line.
namespace common {

// Sends one trace line; the line is cut to 1023 bytes. Never fails its caller.
void TraceLine(const char* message) noexcept;

} // namespace common
