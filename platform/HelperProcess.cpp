#include "platform/HelperProcess.h"

#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

// The descriptor limit this process started with, taken when this copy of the code is loaded:
// before the engine raises it (at its first object), so helpers can get it back.
struct rlimit g_startFileLimit = {RLIM_INFINITY, RLIM_INFINITY};
__attribute__((constructor)) void RememberStartFileLimit() {
    ::getrlimit(RLIMIT_NOFILE, &g_startFileLimit);
}

// Forks and runs program with stdin /dev/null, stderr onto errorFd (when >= 0), a session of
// its own, default signal handling, an empty signal mask and `limit` as its descriptor limit.
// posix_spawn cannot set a limit; setrlimit around it would lower the limit of every thread of
// ours for that moment. So a plain fork: between fork and exec the child makes only
// async-signal-safe system calls (the other threads' locks were copied as they were), and all
// signals stay blocked until its handlers are reset, so none of ours runs in it. An exec failure
// comes back through a close-on-exec pipe. Returns 0 or the errno.
int Spawn(const char* program, char* const argv[], int errorFd, const struct rlimit* limit,
          pid_t& pid) {
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return errno;
    UniqueFd statusRead(status[0]);
    UniqueFd statusWrite(status[1]);
    sigset_t all;
    sigset_t saved;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &saved);
    pid = ::fork();
    if (pid == 0) {
        struct sigaction defaults = {};
        defaults.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            ::sigaction(sig, &defaults, nullptr); // fails harmlessly for KILL, STOP and gaps
        int error = 0;
        if (::setsid() < 0)
            error = errno;
        const int in = error == 0 ? ::open("/dev/null", O_RDONLY) : -1;
        if (error == 0 && in < 0)
            error = errno;
        if (error == 0 && in != STDIN_FILENO && ::dup2(in, STDIN_FILENO) < 0)
            error = errno;
        if (error == 0 && errorFd >= 0 && ::dup2(errorFd, STDERR_FILENO) < 0)
            error = errno;
        if (error == 0 && limit != nullptr && ::setrlimit(RLIMIT_NOFILE, limit) != 0)
            error = errno;
        if (error == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execve(program, argv, environ);
            error = errno;
        }
        [[maybe_unused]] const ssize_t n = ::write(statusWrite.get(), &error, sizeof error);
        ::_exit(127);
    }
    const int forkError = pid < 0 ? errno : 0;
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    if (forkError != 0)
        return forkError;
    statusWrite.close();
    int error = 0;
    ssize_t n = 0;
    while ((n = ::read(statusRead.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(sizeof error) && error != 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return error;
    }
    return 0;
}

int ExitStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 0;
}

// Keeps the start of a helper's error text, cut where a UTF-8 character begins; once cut,
// later output is dropped.
void AppendBounded(std::string& text, bool& full, const char* data, std::size_t size) {
    if (full)
        return;
    const std::size_t room = kHelperErrorBytes - text.size();
    if (size <= room) {
        text.append(data, size);
        return;
    }
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(data[cut]) & 0xC0) == 0x80)
        --cut;
    text.append(data, cut);
    full = true;
}

// Waits for the helper while reading its standard error, then tells `done`. A program the
// helper started (a viewer) may hold the pipe open long after: it is read only as far as it has
// written when the helper exits, and afterwards drained and dropped, so that it never writes
// into a closed pipe.
void Reap(pid_t pid, UniqueFd errors, const HelperDone& done) {
    std::string text;
    bool full = false;
    bool open = errors.valid();
    int status = 0;
    char buffer[1024];
    auto readSome = [&]() {
        const ssize_t n = ::read(errors.get(), buffer, sizeof buffer);
        if (n > 0) {
            AppendBounded(text, full, buffer, static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0 || (errno != EINTR && errno != EAGAIN))
            open = false;
        return false;
    };
    for (;;) {
        if (open) {
            pollfd ready{errors.get(), POLLIN, 0};
            if (::poll(&ready, 1, 50) > 0)
                readSome();
        }
        const pid_t waited = ::waitpid(pid, &status, open ? WNOHANG : 0);
        if (waited == pid)
            break;
        if (waited < 0 && errno != EINTR) {
            status = 0; // reaped elsewhere (SIGCHLD ignored): nothing is known of its end
            break;
        }
    }
    if (open) {
        (void)::fcntl(errors.get(), F_SETFL, O_NONBLOCK);
        while (open && readSome()) {
        }
    }
    done({ExitStatus(status), text});
    if (open) {
        (void)::fcntl(errors.get(), F_SETFL, 0);
        for (;;) {
            const ssize_t n = ::read(errors.get(), buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR))
                break;
        }
    }
}

} // namespace

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = dirs.find(':', start);
        std::string dir =
            dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        struct stat st = {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

void RaiseDescriptorLimit() noexcept {
    struct rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max ||
        limit.rlim_max == RLIM_INFINITY)
        return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

int StartHelper(const std::vector<std::string>& args, const HelperDone& done) {
    const std::string program = FindProgram(args.front());
    if (program.empty())
        return ENOENT;
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    UniqueFd readEnd;
    UniqueFd writeEnd;
    if (done) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return errno;
        readEnd = UniqueFd(ends[0]);
        writeEnd = UniqueFd(ends[1]);
    }
    // The helper gets the descriptor limit the process started with: programs that use select()
    // fail with descriptors above 1024, and the engine raises the limit for deep trees.
    struct rlimit now = {};
    struct rlimit restore = {};
    const struct rlimit* limit = nullptr;
    if (::getrlimit(RLIMIT_NOFILE, &now) == 0 && now.rlim_cur > g_startFileLimit.rlim_cur) {
        restore.rlim_max = now.rlim_max;
        restore.rlim_cur = std::min(g_startFileLimit.rlim_cur, now.rlim_max);
        limit = &restore;
    }
    pid_t pid = 0;
    const int rc =
        Spawn(program.c_str(), argv.data(), writeEnd.valid() ? writeEnd.get() : -1, limit, pid);
    writeEnd.close(); // only the helper writes now, so the pipe ends with it
    if (rc != 0)
        return rc;
    try {
        if (!done) {
            std::thread([pid] {
                while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
                }
            }).detach();
        } else {
            std::thread([pid, errors = std::move(readEnd), done]() mutable {
                Reap(pid, std::move(errors), done);
            }).detach();
        }
    } catch (...) {
        // No thread to be had: the helper runs already, so wait for it here rather than leave
        // a zombie or report a failure that did not happen.
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (done)
            done({ExitStatus(status), {}});
    }
    return 0;
}

} // namespace platform
