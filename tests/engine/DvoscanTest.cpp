// dvoscan as a user runs it: du-style lines, and du's exit statuses.
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "TreeFixture.h"

using namespace enginetest;

namespace {

struct Outcome {
    int status;
    std::string out;
};

Outcome RunDvoscan(const std::string& args) {
    const std::string command = std::string(DVOSCAN_PATH) + " " + args + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    Outcome o{-1, {}};
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        o.out.append(buf, n);
    }
    const int status = ::pclose(pipe);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

TEST(Dvoscan, PrintsFoldersAfterTheirSubfolders) {
    TempDir t;
    MakeDir(t / "a");
    MakeDir(t / "a/deep");
    MakeFile(t / "a/deep/f", 300);
    MakeDir(t / "b");
    MakeFile(t / "b/g", 20);
    MakeFile(t / "top", 1);
    const std::string p = t.Path();
    EXPECT_EQ(RunDvoscan("-d 1 " + p).out,
              "300\t" + p + "/a\n20\t" + p + "/b\n321\t" + p + "\n");
    EXPECT_EQ(RunDvoscan("--threads 1 " + p + "/").out, "321\t" + p + "\n");
    EXPECT_EQ(RunDvoscan("-d 5 " + p).out, "300\t" + p + "/a/deep\n300\t" + p + "/a\n20\t" + p +
                                        "/b\n321\t" + p + "\n");
    EXPECT_EQ(RunDvoscan(p).status, 0);
}

TEST(Dvoscan, ExitStatusLikeDu) {
    TempDir t;
    MakeFile(t / "file", 1);
    EXPECT_EQ(RunDvoscan(t / "missing").status, 2);
    EXPECT_EQ(RunDvoscan(t / "file").status, 2);
    EXPECT_EQ(RunDvoscan("").status, 2);
    EXPECT_EQ(RunDvoscan("--bogus " + t.Path()).status, 2);
}

// dvoscan with its standard output on a terminal: what the terminal would be sent.
std::string RunOnTerminal(const std::string& path) {
    int master = -1;
    int slave = -1;
    struct termios raw{};
    ::cfmakeraw(&raw); // no newline translation: the bytes as written
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(slave, STDOUT_FILENO);
        ::close(master);
        ::close(slave);
        ::execl(DVOSCAN_PATH, DVOSCAN_PATH, path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(slave);
    std::string out;
    char buf[4096];
    for (;;) {
        struct pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) {
            break;
        }
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) {
            break; // EIO once the child has closed the terminal
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out;
}

// A name can hold any byte but '/' and NUL: on a terminal the ones that would act on it are
// shown as \xNN; a program reading NUL-ended lines gets them unchanged.
TEST(Dvoscan, NamesCannotSteerTheTerminal) {
    TempDir t;
    struct Case {
        std::string name;
        std::string shown;
    };
    const Case cases[] = {
        {"title\x1B]0;owned\x07", "title\\x1B]0;owned\\x07"},
        {"two\nlines", "two\\x0Alines"},
        {"del\x7F", "del\\x7F"},
        {"latin1 r\xE9sum\xE9", "latin1 r\\xE9sum\\xE9"},
        {"c1 \xC2\x9B" "31m", "c1 \\xC2\\x9B" "31m"},
        {"ok \xC3\xA9 \xE6\x97\xA5", "ok \xC3\xA9 \xE6\x97\xA5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        const std::string folder = t / c.name;
        MakeDir(folder);
        EXPECT_EQ(RunOnTerminal(folder), "0\t" + t.Path() + "/" + c.shown + "\n");
        const std::string raw = RunDvoscan("-0 '" + folder + "'").out;
        EXPECT_EQ(raw, "0\t" + folder + std::string(1, '\0'));
    }
    // Not a terminal: the bytes as they are, one line per folder.
    MakeDir(t / "plain");
    MakeDir(t / "plain/x\ny");
    EXPECT_EQ(RunDvoscan("-d 1 " + t / "plain").out,
              "0\t" + t / "plain/x\ny" + "\n0\t" + t / "plain" + "\n");
}

} // namespace
