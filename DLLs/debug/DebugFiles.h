#pragma once
// What every writer of the library shares: names, the day stamp, header texts, the caller's
// format, and appending to a file opened for one call.
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/UniqueFd.h"

namespace dbg {

// Names and derived names must fit a 256-byte buffer with its terminator.
inline constexpr std::size_t kMaxName = 255;

// "Log.txt" on 9 December -> "LogDec09.txt": the last dot anywhere in the name (a folder's dot
// included) and all after it become month, two-digit day and ".txt"; no dot leaves the name as
// it is. Nothing when the derived name would not fit kMaxName bytes: cutting it could name
// another file.
[[nodiscard]] std::optional<std::string> DayStampedName(std::string_view base,
                                                        const platform::LocalTime& date);

// "##### Www Mmm dd hh:mm:ss:mmm #####" (no line end), milliseconds zero-padded to three digits.
[[nodiscard]] std::string HeaderWithMillis(const platform::LocalTime& t);

// "##### Www Mmm dd hh:mm:ss #####" (no line end).
[[nodiscard]] std::string HeaderWithoutMillis(const platform::LocalTime& t);

// The caller's printf format with its int argument(s); a null format gives "".
[[nodiscard]] std::string FormatCaller(const char* format, int value);
[[nodiscard]] std::string FormatCaller(const char* format, int value1, int value2);

// A file opened for appending (created when missing), written and closed by one call or cycle.
class AppendFile {
public:
    explicit AppendFile(const std::string& name);

    [[nodiscard]] bool opened() const { return m_fd.valid(); }
    // False when some byte did not reach the file; writeErrno() then tells why.
    bool Write(std::string_view bytes);
    [[nodiscard]] int writeErrno() const { return m_writeErrno; }
    // 0, or -1 when closing failed.
    int Close() { return m_fd.close() == 0 ? 0 : -1; }

private:
    platform::UniqueFd m_fd;
    int m_writeErrno = 0;
};

// One append to a file opened and closed for this call alone.
struct AppendResult {
    bool opened = false;
    bool written = false; // every byte reached the file
    int writeErrno = 0;   // errno of a failed write
    int closeResult = 0;  // 0, or -1 when closing failed

    // The result of a write export: 0 when the file could not be opened, otherwise 0 or -1.
    [[nodiscard]] int ExportResult() const { return !opened ? 0 : (written ? closeResult : -1); }
};
[[nodiscard]] AppendResult AppendToFile(const std::string& name, std::string_view bytes);

// A process-wide file name set by an Init call and read by writers on any thread.
class NameSlot {
public:
    explicit NameSlot(const char* initial) : m_name(initial) {}

    // The name's length plus 1; 0 for null, empty or over kMaxName bytes (the name stays).
    int Set(const char* name);
    [[nodiscard]] std::string Get() const;
    // Held by the forking thread across fork(), so that the child never finds it taken.
    void LockForFork() const { m_mutex.lock(); }
    void UnlockAfterFork() const { m_mutex.unlock(); }

private:
    mutable std::mutex m_mutex;
    std::string m_name;
};

} // namespace dbg
