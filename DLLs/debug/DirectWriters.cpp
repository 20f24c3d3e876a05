// The direct writers: every call opens its file, appends one block and closes it again.
#include "DLLs/debug/DirectWriters.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "DLLs/debug/DebugClock.h"
#include "DLLs/debug/DebugFiles.h"
#include "DLLs/debug/debug.h"
#include "platform/Guard.h"

namespace dbg {
namespace {

constexpr int kVersion = 20041219;
constexpr int kMaxRecord = 254;
constexpr int kDumpBytesPerLine = 16;

// Process-wide names and locks. Made on first use and never destroyed, so nothing runs at load
// and the supervisor thread may still write while the process ends.
struct DirectState {
    NameSlot errorName{"Error.txt"};
    NameSlot debugName{"Debug.txt"};
    NameSlot logName{"Log.txt"};
    NameSlot recordName{"CDR.txt"};
    std::mutex logLock;
    std::mutex dumpLock;
    std::mutex routineLock;
    char routine[256] = {};
};

std::atomic<DirectState*> g_directState{nullptr};
// The state the forking thread locked, for its handlers after fork() in parent and child.
thread_local DirectState* t_lockedForFork = nullptr;

// Published with one exchange rather than a guarded static: a fork while another thread made it
// would leave the child waiting on that guard for ever.
DirectState& State() {
    DirectState* state = g_directState.load(std::memory_order_acquire);
    if (state != nullptr)
        return *state;
    auto* made = new DirectState;
    if (g_directState.compare_exchange_strong(state, made, std::memory_order_acq_rel))
        return *made;
    delete made;
    return *state;
}

std::string Reason(int errorNumber) {
    char buffer[256];
    // The GNU strerror_r: it returns the text, which need not be in buffer.
    return ::strerror_r(errorNumber, buffer, sizeof buffer);
}

std::string Label(int code, bool indented, int reasonErrno) {
    // The five file errors name the system's reason after a label of 17 characters.
    static constexpr const char* kFileLabels[] = {
        "File Open Error: ", "File Read Error: ", "File Write Error:", "File Seek Error: ",
        "File Close Error:"};
    if (code <= -1 && code >= -5)
        return kFileLabels[-code - 1] + Reason(reasonErrno) + " ";
    static constexpr const char* kLabels[] = {
        "Memory Error:          ", "No File or Denied:     ", "Previledge Violataion: ",
        "File Busy:             ", "Logical Error:         ", "No Data:               ",
        "Initialize:            ", "Thread:                ", "Out of Bounds:         "};
    static constexpr const char* kUndefined = "Undefined Error:       ";
    const int last = indented ? -13 : -14; // Error2 has no label of its own for -14
    const char* label = code <= -6 && code >= last ? kLabels[-code - 6] : kUndefined;
    return indented ? std::string("    ") + label : std::string(label);
}

} // namespace

void LockDirectWritersForFork() {
    DirectState* state = nullptr;
    try {
        state = &State(); // made here if need be, so no other thread is making it during fork
    } catch (...) {
    }
    t_lockedForFork = state;
    if (state == nullptr)
        return;
    // Each of these is taken alone by the writers, so any order serves.
    for (const NameSlot* slot :
         {&state->errorName, &state->debugName, &state->logName, &state->recordName})
        slot->LockForFork();
    state->logLock.lock();
    state->dumpLock.lock();
    state->routineLock.lock();
}

void UnlockDirectWritersAfterFork() {
    DirectState* state = t_lockedForFork;
    t_lockedForFork = nullptr;
    if (state == nullptr)
        return;
    state->routineLock.unlock();
    state->dumpLock.unlock();
    state->logLock.unlock();
    for (const NameSlot* slot :
         {&state->recordName, &state->logName, &state->debugName, &state->errorName})
        slot->UnlockAfterFork();
}

int WriteErrorLine(int code, bool indented, int reasonErrno, std::string_view text) {
    const platform::LocalTime now = LocalNow();
    std::string line = HeaderWithMillis(now);
    line += "   ";
    line += Label(code, indented, reasonErrno);
    line += text;
    line += "\r\n";
    return AppendToFile(State().errorName.Get(), line).ExportResult();
}

} // namespace dbg

using namespace dbg;

extern "C" {

int VerDebug(void) { return kVersion; }

int ErrInit(const char* name) {
    return platform::Guarded<int>(0, [&]() -> int { return State().errorName.Set(name); });
}

int Error(int code, const char* format, int value) {
    const int reasonErrno = errno; // before the library's own calls can change it
    try {
        return WriteErrorLine(code, false, reasonErrno, FormatCaller(format, value));
    } catch (...) {
        return 0;
    }
}

int Error2(int code, const char* format, int value1, int value2) {
    const int reasonErrno = errno;
    try {
        return WriteErrorLine(code, true, reasonErrno, FormatCaller(format, value1, value2));
    } catch (...) {
        return 0;
    }
}

int DebugInit(const char* name) {
    return platform::Guarded<int>(0, [&]() -> int { return State().debugName.Set(name); });
}

int Debug(const char*, int) { return 0; }

int LogInit(const char* name) {
    return platform::Guarded<int>(0, [&]() -> int { return State().logName.Set(name); });
}

int Log(const char* format, int value, int headerMode) {
    return platform::Guarded<int>(0, [&]() -> int {
        DirectState& state = State();
        const std::optional<std::string> name = DayStampedName(state.logName.Get(), LocalNow());
        if (!name)
            return 0;
        std::lock_guard lock(state.logLock);
        std::string text;
        if (headerMode == 0)
            text = HeaderWithMillis(LocalNow()) + "\r\n";
        else if (headerMode == 2)
            text = HeaderWithMillis(LocalNow()) + "   ";
        text += FormatCaller(format, value);
        text += "\r\n";
        return AppendToFile(*name, text).ExportResult();
    });
}

int Dump(const void* data, int count) {
    return platform::Guarded<int>(0, [&]() -> int {
        DirectState& state = State();
        const std::optional<std::string> name = DayStampedName(state.logName.Get(), LocalNow());
        if (!name)
            return 0;
        static constexpr char kHex[] = "0123456789ABCDEF";
        const auto* bytes = static_cast<const unsigned char*>(data);
        const int total = bytes != nullptr && count > 0 ? count : 0;
        std::string text;
        text.reserve(static_cast<std::size_t>(total / kDumpBytesPerLine + 1) * 66);
        for (int start = 0; start < total; start += kDumpBytesPerLine) {
            char line[66];
            std::memset(line, ' ', 64);
            line[64] = '\r';
            line[65] = '\n';
            for (int k = 0; k < kDumpBytesPerLine && start + k < total; ++k) {
                const unsigned char byte = bytes[start + k];
                line[3 * k] = kHex[byte >> 4];
                line[3 * k + 1] = kHex[byte & 0x0F];
                line[48 + k] = byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : ' ';
            }
            text.append(line, sizeof line);
        }
        std::lock_guard lock(state.dumpLock);
        return AppendToFile(*name, text).ExportResult();
    });
}

int CDRInit(const char* name) {
    return platform::Guarded<int>(0, [&]() -> int { return State().recordName.Set(name); });
}

int CDR(const void* data, int count) {
    return platform::Guarded<int>(0, [&]() -> int {
        // A longer record would overrun the 256-byte block of record and line end.
        if (count < 0 || count > kMaxRecord || (data == nullptr && count > 0))
            return 0;
        const std::optional<std::string> name =
            DayStampedName(State().recordName.Get(), LocalNow());
        if (!name)
            return 0;
        std::string block;
        if (count > 0)
            block.assign(static_cast<const char*>(data), static_cast<std::size_t>(count));
        block += "\r\n";
        const AppendResult result = AppendToFile(*name, block);
        if (result.opened && !result.written)
            WriteErrorLine(-3, false, result.writeErrno, "CDR write failed!");
        return result.ExportResult();
    });
}

char* Routine(const char* name) {
    return platform::Guarded<char*>(nullptr, [&]() -> char* {
        DirectState& state = State();
        if (name != nullptr) {
            std::lock_guard lock(state.routineLock);
            const std::size_t length = ::strnlen(name, sizeof state.routine - 1);
            std::memcpy(state.routine, name, length);
            state.routine[length] = '\0';
        }
        return state.routine;
    });
}

} // extern "C"
