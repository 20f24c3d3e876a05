#include "platform/DebugOutput.h"

#include "platform/WriteAll.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <string>
#include <syslog.h>
#include <unistd.h>

namespace platform {
namespace {

// One write(2) per message so that lines of several threads and processes never interleave;
// a failure to write debug output is not reported anywhere.
void WriteMessage(int fd, std::string_view text) {
    [[maybe_unused]] const bool written = WriteAll(fd, text);
}

// syslog holds a lock of the C library that fork() does not release, so a child forked while
// another thread was inside would never write a message. Ours take this lock first, and fork
// waits for it.
std::mutex g_syslogLock;
void LockSyslog() { g_syslogLock.lock(); }
void UnlockSyslog() { g_syslogLock.unlock(); }

// Registered before the libraries' own handlers, so that fork takes this lock after theirs: a
// log line may go to the debugger output while its log's lock is held.
__attribute__((constructor(101))) void RegisterSyslogForkHandlers() {
    ::pthread_atfork(&LockSyslog, &UnlockSyslog, &UnlockSyslog);
}

} // namespace

void DebugOutput(std::string_view text) noexcept {
    try {
        const char* sink = std::getenv("LUMETRA_DEBUG_OUTPUT");
        if (sink == nullptr || sink[0] == '\0') {
            const std::string copy(text);
            std::lock_guard<std::mutex> lock(g_syslogLock);
            ::syslog(LOG_DEBUG, "%s", copy.c_str());
            return;
        }
        if (sink[0] == '-' && sink[1] == '\0') {
            WriteMessage(STDERR_FILENO, text);
            return;
        }
        const int fd = ::open(sink, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        WriteMessage(fd, text);
        ::close(fd);
    } catch (...) {
        // Debug output is best effort and must never disturb its caller.
    }
}

} // namespace platform
