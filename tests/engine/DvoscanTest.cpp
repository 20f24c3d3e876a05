// dvoscan as a user runs it: du-style lines, and du's exit statuses.
#include <algorithm>
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
    EXPECT_EQ(RunDvoscan("-d 1 " + p).out, "300\t" + p + "/a\n20\t" + p + "/b\n321\t" + p + "\n");
    EXPECT_EQ(RunDvoscan("--threads 1 " + p + "/").out, "321\t" + p + "\n");
    EXPECT_EQ(RunDvoscan("-d 5 " + p).out,
              "300\t" + p + "/a/deep\n300\t" + p + "/a\n20\t" + p + "/b\n321\t" + p + "\n");
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
    struct termios raw = {};
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
        struct pollfd p = {master, POLLIN, 0};
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
        {"c1 \xC2\x9B"
         "31m",
         "c1 \\xC2\\x9B"
         "31m"},
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

namespace {

struct ShellRun {
    int status;
    std::string out;
    std::string err;
};

// dvoscan through the shell (so tests can redirect its input), with both outputs kept.
ShellRun RunShell(const std::string& args, const std::string& errFile) {
    const std::string command = std::string(DVOSCAN_PATH) + " " + args + " 2>'" + errFile + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ShellRun r{-1, {}, {}};
    char out[4096];
    std::size_t got;
    while ((got = std::fread(out, 1, sizeof out, pipe)) > 0) {
        r.out.append(out, got);
    }
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (FILE* f = std::fopen(errFile.c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            r.err.append(buf, n);
        }
        std::fclose(f);
    }
    return r;
}

TEST(Dvoscan, ExportsAScanAndReadsItInsteadOfScanning) {
    TempDir t;
    MakeDir(t / "tree");
    MakeDir(t / "tree/a");
    MakeFile(t / "tree/a/f", 300);
    MakeFile(t / "tree/caf\xE9", 20);
    const std::string tree = t / "tree";
    const std::string err = t / "err";
    const ShellRun exported = RunShell("-o - " + tree, err);
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(exported.out.rfind("[1,2,{\"progname\":\"dvo\"", 0), 0u) << exported.out;
    EXPECT_EQ(exported.err, "");
    const std::string file = t / "tree.json";
    EXPECT_EQ(RunShell("-o " + file + " " + tree, err).out, "");

    const std::string scanned = RunDvoscan("-d 3 " + tree).out;
    EXPECT_EQ(scanned, "300\t" + tree + "/a\n320\t" + tree + "\n");
    EXPECT_EQ(RunDvoscan("-d 3 -f " + file).out, scanned);
    EXPECT_EQ(RunShell("-d 3 -f - < " + file, err).out, scanned);
    std::FILE* f = std::fopen((t / "stdout.json").c_str(), "wb");
    std::fwrite(exported.out.data(), 1, exported.out.size(), f);
    std::fclose(f);
    EXPECT_EQ(RunDvoscan("-d 3 -f " + t / "stdout.json").out, scanned);
    EXPECT_EQ(RunDvoscan("-f " + file + " " + tree).status, 2); // one source only
}

TEST(Dvoscan, ComparesWithAnEarlierExport) {
    TempDir t;
    const std::string tree = t / "tree";
    MakeDir(tree);
    MakeDir(t / "tree/grows");
    MakeFile(t / "tree/grows/f", 100);
    MakeDir(t / "tree/goes");
    MakeFile(t / "tree/goes/g", 40);
    MakeDir(t / "tree/same");
    MakeFile(t / "tree/same/h", 5);
    MakeDir(t / "tree/same/deep");
    MakeFile(t / "tree/same/deep/x", 1);
    const std::string old = t / "old.json";
    const std::string err = t / "err";
    ASSERT_EQ(RunDvoscan("-o " + old + " " + tree).status, 0);

    MakeFile(t / "tree/grows/f2", 1000);
    RemoveTree(t / "tree/goes");
    MakeDir(t / "tree/new");
    MakeFile(t / "tree/new/n", 40);
    MakeFile(t / "tree/same/deep/y", 7);
    const ShellRun changes = RunShell("--compare " + old + " -d 1 " + tree, err);
    EXPECT_EQ(changes.status, 0) << changes.err;
    // Largest change first; equal changes in byte order of their paths; depth 1 only.
    EXPECT_EQ(changes.out, "+1007\t1153\t" + tree + "\n+1000\t1100\t" + tree + "/grows\n" +
                               "-40\t0\t" + tree + "/goes\n+40\t40\t" + tree + "/new\n" +
                               "+7\t13\t" + tree + "/same\n");
    // The new side read from an export gives the same lines.
    const std::string now = t / "now.json";
    ASSERT_EQ(RunDvoscan("-o " + now + " " + tree).status, 0);
    EXPECT_EQ(RunDvoscan("--compare " + old + " -d 1 -f " + now).out, changes.out);
    EXPECT_EQ(RunDvoscan("--compare " + now + " -d 9 -f " + now).out, "");
}

TEST(Dvoscan, BrokenExportsAreNamedWithTheirOffset) {
    TempDir t;
    MakeDir(t / "tree");
    struct Case {
        const char* file;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"truncated.json", "[1,2,{},[{\"name\":\"/t\"},[{\"name\":\"d\"}",
         "byte 36: not an ncdu export: Missing a comma"},
        {"major.json", "[3,0,{},[{\"name\":\"/t\"}]]",
         "byte 1: not an ncdu export: format version 3"},
        {"text.json", "du -sh output", "byte 0: not an ncdu export"},
        {"name.json", "[1,2,{},[{\"name\":\"/t\"},{\"name\":\"..\",\"asize\":1}]]",
         "byte 45: not an ncdu export: a name"},
    };
    const std::string err = t / "err";
    for (const Case& c : cases) {
        const std::string file = t / c.file;
        std::FILE* f = std::fopen(file.c_str(), "wb");
        std::fputs(c.text, f);
        std::fclose(f);
        for (const std::string& args : {"-f " + file, "--compare " + file + " " + t / "tree"}) {
            const ShellRun r = RunShell(args, err);
            EXPECT_EQ(r.status, 2) << args;
            EXPECT_EQ(r.out, "") << args; // nothing shown as if it were the result
            EXPECT_EQ(r.err.rfind("dvoscan: " + file + ": " + c.message, 0), 0u) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    const ShellRun missing = RunShell("-f " + t / "missing.json", err);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("missing.json"), std::string::npos);
}

} // namespace
