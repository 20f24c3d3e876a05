#pragma once
// The eight queued logs and their supervisor thread. Besides the exports, tests and benchmarks
// use the hooks below to run a cycle when they choose instead of waiting for the next second.
#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace dbg {

inline constexpr int kMaxQueuedLogs = 8;
inline constexpr int kQueueEntries = 1280;
inline constexpr int kEntryTextBytes = 256;

// One queued line or dump block.
struct QueueEntry {
    char text[kEntryTextBytes]; // terminated format text, or the raw bytes of a dump block
    std::int32_t value;         // the format's argument, or the dump block's byte count
    std::int32_t kind;          // 0 to 4, see WriteEntry
    std::int64_t time;          // seconds since 1970 (UTC) when queued
    std::int32_t milliseconds;  // 0 to 999
};

// The text an entry becomes in its file; writeTime is the moment of writing (kind 4).
void AppendEntryText(std::string& out, const QueueEntry& entry,
                     const platform::LocalTime& writeTime);

// Dump lines of a block: 16 bytes a line, each line 68 bytes (a space, 65 columns, CR LF), with
// Shift-JIS pairs shown whole. count <= 0 gives nothing; only the first 256 bytes are shown.
[[nodiscard]] std::string DumpBlockText(const unsigned char* data, int count);

// Writes every registered log's queue once, from the calling thread, as the supervisor does.
void RunSupervisorCycle();

// While held, the supervisor's cycles write nothing; holding waits for a running cycle to end.
void HoldSupervisor(bool hold);

// Whether an ExtLogInit call has started the supervisor thread.
[[nodiscard]] bool SupervisorStarted();

// Entries queued in a log now (0 for a handle not given out).
[[nodiscard]] int QueuedCount(int handle);

// Forgets every log and its entries, so a test starts afresh. No writer may be running.
void ResetQueuedLogs();

} // namespace dbg
