// Queued logs: writers only fill an entry of the log's ring; the supervisor thread writes every
// log's entries to its day-stamped file once a second.
#include "DLLs/debug/QueuedLogs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <pthread.h>
#include <system_error>
#include <thread>

#include "DLLs/debug/DebugClock.h"
#include "DLLs/debug/DebugFiles.h"
#include "DLLs/debug/DirectWriters.h"
#include "DLLs/debug/debug.h"
#include "platform/Guard.h"

namespace dbg {
namespace {

constexpr auto kCyclePause = std::chrono::milliseconds(1000);
constexpr int kDumpBytesPerLine = 16;
// A cycle writes in pieces of about this size, not one write per entry nor one huge buffer.
constexpr std::size_t kWriteChunk = 64 * 1024;

struct QueuedLog {
    std::mutex lock;              // held while one entry is filled or the queue is written
    std::condition_variable room; // the supervisor has written entries
    char name[kMaxName + 1] = {};
    int count = 0;
    int oldest = 0;
    QueueEntry queue[kQueueEntries];
};

struct QueueState {
    std::mutex registerLock;        // registration and the supervisor's start
    std::atomic<int> registered{0}; // logs 1..registered exist; names set before publishing
    bool supervisorStarted = false;
    // A forked child has the logs but not the supervisor: the next entry queued starts one.
    std::atomic<bool> supervisorLost{false};
    std::mutex cycleLock; // one cycle at a time (the supervisor's or a test's)
    std::atomic<bool> held{false};
    QueuedLog logs[kMaxQueuedLogs];
};

std::atomic<QueueState*> g_queueState{nullptr};

// Made on first use and never destroyed: the supervisor runs until the process ends and must
// not find its logs torn down by exit handlers. Published with one exchange rather than a
// guarded static: a fork while another thread made it would leave the child waiting for ever.
QueueState& Queues() {
    QueueState* state = g_queueState.load(std::memory_order_acquire);
    if (state != nullptr)
        return *state;
    auto* made = new QueueState;
    if (g_queueState.compare_exchange_strong(state, made, std::memory_order_acq_rel))
        return *made;
    delete made;
    return *state;
}

void SupervisorMain();

// Starts the supervisor unless it runs; the caller holds registerLock. The system's error when
// no thread can be started (0 when it runs); the next call tries again.
int StartSupervisorLocked(QueueState& state) {
    if (state.supervisorStarted)
        return 0;
    try {
        std::thread(SupervisorMain).detach();
        state.supervisorStarted = true;
        state.supervisorLost.store(false, std::memory_order_relaxed);
        return 0;
    } catch (const std::system_error& e) {
        return e.code().value() != 0 ? e.code().value() : EAGAIN;
    }
}

// fork() copies only the forking thread. It takes every lock of the logs first (in the order the
// library takes them), so the child finds none held by a thread it does not have; the child
// then drops the parent's entries, which the parent writes, and its waiters.
thread_local QueueState* t_lockedForFork = nullptr;

void PrepareFork() {
    // Made here if need be, so that no other thread can be making it while fork copies it.
    QueueState* state = nullptr;
    try {
        state = &Queues();
    } catch (...) {
        // Out of memory: nobody can have queued anything, so there is nothing to lock.
    }
    t_lockedForFork = state;
    if (state != nullptr) {
        state->registerLock.lock();
        state->cycleLock.lock();
        for (QueuedLog& log : state->logs)
            log.lock.lock();
    }
    LockDirectWritersForFork();
}

void ParentAfterFork() {
    UnlockDirectWritersAfterFork();
    QueueState* state = t_lockedForFork;
    t_lockedForFork = nullptr;
    if (state == nullptr)
        return;
    for (QueuedLog& log : state->logs)
        log.lock.unlock();
    state->cycleLock.unlock();
    state->registerLock.unlock();
}

void ChildAfterFork() {
    UnlockDirectWritersAfterFork();
    QueueState* state = t_lockedForFork;
    t_lockedForFork = nullptr;
    if (state == nullptr)
        return;
    for (QueuedLog& log : state->logs) {
        log.count = 0;
        log.oldest = 0;
        // Writers of the parent may have waited on it; signalling them would wait for ever.
        ::new (static_cast<void*>(&log.room)) std::condition_variable();
        log.lock.unlock();
    }
    if (state->supervisorStarted) {
        state->supervisorStarted = false;
        state->supervisorLost.store(true, std::memory_order_relaxed);
    }
    state->cycleLock.unlock();
    state->registerLock.unlock();
}

const int g_forkHandlers = ::pthread_atfork(&PrepareFork, &ParentAfterFork, &ChildAfterFork);

QueuedLog* FindLog(int handle) {
    QueueState& state = Queues();
    if (handle < 1 || handle > state.registered.load(std::memory_order_acquire))
        return nullptr;
    return &state.logs[handle - 1];
}

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF); }
bool IsTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

platform::LocalTime EntryTime(const QueueEntry& entry) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(entry.time);
    ts.tv_nsec = static_cast<long>(entry.milliseconds) * 1000000L;
    return platform::ToLocalTime(ts);
}

// Waits for room in the log's queue, then fills the next free entry under the log's lock.
template <typename Fill> void Enqueue(QueuedLog& log, Fill fill) {
    QueueState& state = Queues();
    if (state.supervisorLost.load(std::memory_order_relaxed)) {
        std::lock_guard registration(state.registerLock);
        (void)StartSupervisorLocked(state); // without one, writers wait as for a full queue
    }
    std::unique_lock lock(log.lock);
    log.room.wait(lock, [&] { return log.count < kQueueEntries; });
    QueueEntry& entry = log.queue[(log.oldest + log.count) % kQueueEntries];
    std::memset(&entry, 0, sizeof entry);
    const timespec now = Now();
    entry.time = now.tv_sec;
    entry.milliseconds = static_cast<std::int32_t>(now.tv_nsec / 1000000);
    fill(entry);
    ++log.count;
}

// Writes one log's queue; a log busy with a writer is left for the next cycle, and a file that
// cannot be opened leaves every entry queued.
void WriteQueue(QueuedLog& log) {
    std::unique_lock lock(log.lock, std::try_to_lock);
    if (!lock.owns_lock() || log.count == 0)
        return;
    const std::optional<std::string> name = DayStampedName(log.name, LocalNow());
    if (!name)
        return;
    AppendFile file(*name);
    if (!file.opened())
        return;
    std::string out;
    out.reserve(kWriteChunk + 4096);
    while (log.count > 0) {
        const QueueEntry& entry = log.queue[log.oldest];
        AppendEntryText(out, entry, entry.kind == 4 ? LocalNow() : platform::LocalTime{});
        log.oldest = (log.oldest + 1) % kQueueEntries;
        --log.count;
        if (out.size() >= kWriteChunk) {
            file.Write(out);
            out.clear();
        }
    }
    file.Write(out);
    file.Close();
    lock.unlock();
    log.room.notify_all();
}

void SupervisorMain() {
    for (;;) {
        try {
            if (!Queues().held.load(std::memory_order_acquire))
                RunSupervisorCycle();
        } catch (...) {
            // Out of memory while writing: the next cycle tries again.
        }
        std::this_thread::sleep_for(kCyclePause);
    }
}

} // namespace

void AppendEntryText(std::string& out, const QueueEntry& entry,
                     const platform::LocalTime& writeTime) {
    switch (entry.kind) {
    case 3:
        out += DumpBlockText(reinterpret_cast<const unsigned char*>(entry.text), entry.value);
        return;
    case 0:
        out += HeaderWithoutMillis(EntryTime(entry));
        out += "\r\n";
        break;
    case 2:
        out += HeaderWithMillis(EntryTime(entry));
        out += "   ";
        break;
    case 4: {
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d,%02d:%02d:%02d,", writeTime.month,
                      writeTime.day, writeTime.year, writeTime.hour, writeTime.minute,
                      writeTime.second);
        out += stamp;
        break;
    }
    default: break;
    }
    // Queued texts are cut to 255 bytes and always terminated.
    out += FormatCaller(entry.text, entry.value);
    out += "\r\n";
}

std::string DumpBlockText(const unsigned char* data, int count) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    if (data == nullptr || count <= 0)
        return out;
    count = std::min(count, kEntryTextBytes);
    out.reserve(static_cast<std::size_t>(count / kDumpBytesPerLine + 1) * 68);
    // 65 columns: 16 hex pairs, then 16 characters and one more for the second byte of a pair
    // that starts in the last column.
    char line[65];
    std::memset(line, ' ', sizeof line);
    bool secondBytePlaced = false;
    for (int i = 0; i < count; ++i) {
        const int column = i % kDumpBytesPerLine;
        const unsigned char byte = data[i];
        const unsigned char next = i + 1 < count ? data[i + 1] : 0;
        line[3 * column] = kHex[byte >> 4];
        line[3 * column + 1] = kHex[byte & 0x0F];
        if (secondBytePlaced) {
            secondBytePlaced = false;
        } else if (byte >= 0x20 && byte <= 0x7E) {
            line[48 + column] = static_cast<char>(byte);
        } else if (IsLeadByte(byte) && IsTrailByte(next)) {
            line[48 + column] = static_cast<char>(byte);
            line[49 + column] = static_cast<char>(next);
            secondBytePlaced = true;
        }
        if (column == kDumpBytesPerLine - 1 || i == count - 1) {
            out += ' ';
            out.append(line, sizeof line);
            out += "\r\n";
            std::memset(line, ' ', sizeof line);
        }
    }
    return out;
}

void RunSupervisorCycle() {
    QueueState& state = Queues();
    std::lock_guard cycle(state.cycleLock);
    const int registered = state.registered.load(std::memory_order_acquire);
    for (int i = 0; i < registered; ++i)
        WriteQueue(state.logs[i]);
}

void HoldSupervisor(bool hold) {
    QueueState& state = Queues();
    state.held.store(hold, std::memory_order_release);
    std::lock_guard cycle(state.cycleLock);
}

bool SupervisorStarted() {
    QueueState& state = Queues();
    std::lock_guard registration(state.registerLock);
    return state.supervisorStarted;
}

int QueuedCount(int handle) {
    QueuedLog* log = FindLog(handle);
    if (log == nullptr)
        return 0;
    std::lock_guard lock(log->lock);
    return log->count;
}

void ResetQueuedLogs() {
    QueueState& state = Queues();
    std::lock_guard registration(state.registerLock);
    std::lock_guard cycle(state.cycleLock);
    for (QueuedLog& log : state.logs) {
        std::lock_guard lock(log.lock);
        log.count = 0;
        log.oldest = 0;
        std::memset(log.name, 0, sizeof log.name);
    }
    state.registered.store(0, std::memory_order_release);
}

} // namespace dbg

using namespace dbg;

extern "C" {

int ExtLogInit(const char* name) {
    return platform::Guarded<int>(0, [&]() -> int {
        QueueState& state = Queues();
        std::lock_guard registration(state.registerLock);
        if (const int error = StartSupervisorLocked(state); error != 0)
            WriteErrorLine(-13, false, error, "LogInit: Supervisor Thread");
        const int registered = state.registered.load(std::memory_order_relaxed);
        if (registered >= kMaxQueuedLogs || name == nullptr || name[0] == '\0')
            return 0;
        const std::size_t length = std::strlen(name);
        // The day stamp's length does not depend on the date: a name whose stamped form never
        // fits would keep its entries queued for ever and stop its writers once the queue fills.
        if (length > kMaxName || !DayStampedName(name, platform::LocalTime{}))
            return 0;
        QueuedLog& log = state.logs[registered];
        std::memcpy(log.name, name, length);
        log.name[length] = '\0';
        state.registered.store(registered + 1, std::memory_order_release);
        return registered + 1;
    });
}

void ExtLog(int handle, const char* format, int value, int kind) {
    platform::Guarded([&] {
        QueuedLog* log = FindLog(handle);
        if (log == nullptr)
            return;
        const std::size_t length = format != nullptr ? ::strnlen(format, kEntryTextBytes - 1) : 0;
        Enqueue(*log, [&](QueueEntry& entry) {
            if (length > 0)
                std::memcpy(entry.text, format, length);
            entry.value = value;
            entry.kind = kind;
        });
    });
}

void ExtDump(int handle, const void* data, int count) {
    platform::Guarded([&] {
        QueuedLog* log = FindLog(handle);
        if (log == nullptr || data == nullptr || count < 1)
            return;
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (int start = 0; start < count; start += kEntryTextBytes) {
            const int block = std::min(kEntryTextBytes, count - start);
            Enqueue(*log, [&](QueueEntry& entry) {
                std::memcpy(entry.text, bytes + start, static_cast<std::size_t>(block));
                entry.value = block;
                entry.kind = 3;
            });
        }
    });
}

} // extern "C"
