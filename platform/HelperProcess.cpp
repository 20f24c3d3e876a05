#include "platform/HelperProcess.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

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
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        struct stat st{};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
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
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (writeEnd.valid()) // dup2 leaves the copy open across exec
        ::posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    ::posix_spawnattr_init(&attr);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attr, &none);
    ::posix_spawnattr_setsigdefault(&attr, &all);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                          POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    ::posix_spawnattr_destroy(&attr);
    ::posix_spawn_file_actions_destroy(&actions);
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
