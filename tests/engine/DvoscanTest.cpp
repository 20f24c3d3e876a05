// dvoscan as a user runs it: du-style lines, and du's exit statuses.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <set>
#include <string>
#include <sys/stat.h>
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

// Bytes of st_blocks x 512 below root: of the entries other than folders (each inode once, at
// its first name in pre-order by name) and of the folders themselves; and those entries by path.
struct Blocks {
    std::int64_t files = 0;
    std::int64_t folders = 0;
    std::vector<std::pair<std::int64_t, std::string>> byPath;
};

void CountBlocks(const std::string& dir, std::set<std::pair<dev_t, ino_t>>& seen, Blocks& b) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..") {
                names.emplace_back(e->d_name);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        struct stat st = {};
        ::lstat((dir + "/" + n).c_str(), &st);
        if (S_ISDIR(st.st_mode)) {
            b.folders += st.st_blocks * 512;
            CountBlocks(dir + "/" + n, seen, b);
        } else if (seen.insert({st.st_dev, st.st_ino}).second) {
            b.files += st.st_blocks * 512;
            b.byPath.emplace_back(st.st_blocks * 512, dir + "/" + n);
        }
    }
}

void SetYear(const std::string& path, int year) {
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    const time_t t = std::mktime(&local);
    const timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// The listings instead of folder lines, from a scan and from its export alike: equal sizes
// whose path order is not the walk's ("t/b" is read before "t-a" but sorts after it), equal
// totals of kinds, a hard link counted once, a sparse file that takes no blocks.
TEST(Dvoscan, ListsLargestFilesKindsAndYears) {
    TempDir t;
    const std::string p = t / "tree";
    MakeDir(p);
    MakeDir(p + "/a");
    MakeDir(p + "/t");
    WriteFile(p + "/.profile", 50, 2015);
    WriteFile(p + "/a/big.TXT", 3000, 2001);
    ASSERT_EQ(::link((p + "/a/big.TXT").c_str(), (p + "/a/link").c_str()), 0);
    WriteFile(p + "/d.md", 3000, 2015);
    WriteFile(p + "/e.AA", 3000, 2024);
    WriteFile(p + "/notes", 20, 2015);
    MakeFile(p + "/sparse", 1000000);
    SetYear(p + "/sparse", 2001);
    WriteFile(p + "/t/b", 700, 2024);
    WriteFile(p + "/t-a", 700, 2024);
    const std::string exported = t / "tree.json";
    ASSERT_EQ(RunDvoscan("-o " + exported + " " + p).status, 0);

    Blocks blocks;
    std::set<std::pair<dev_t, ino_t>> seen;
    CountBlocks(p, seen, blocks);
    std::sort(blocks.byPath.begin(), blocks.byPath.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::string diskTop;
    for (std::size_t i = 0; i < 3; ++i) {
        diskTop += std::to_string(blocks.byPath[i].first) + "\t" + blocks.byPath[i].second + "\n";
    }
    // What du counts, less the folders' own blocks.
    const Outcome du = [&] {
        const std::string command = "du -s -B1 '" + p + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        Outcome o{0, {}};
        char buf[256];
        while (std::fgets(buf, sizeof buf, pipe) != nullptr) {
            o.out += buf;
        }
        ::pclose(pipe);
        return o;
    }();
    ASSERT_FALSE(du.out.empty());
    struct stat rootStat = {};
    ASSERT_EQ(::stat(p.c_str(), &rootStat), 0);
    const std::int64_t duFiles =
        std::stoll(du.out) - blocks.folders - static_cast<std::int64_t>(rootStat.st_blocks) * 512;
    EXPECT_EQ(duFiles, blocks.files);

    const struct {
        std::string args;
        std::string out;
    } cases[] = {
        {"--top 5", "1000000\t" + p + "/sparse\n3000\t" + p + "/a/big.TXT\n3000\t" + p +
                        "/d.md\n3000\t" + p + "/e.AA\n700\t" + p + "/t-a\n"},
        {"--top 0", ""},
        {"--top 99", "1000000\t" + p + "/sparse\n3000\t" + p + "/a/big.TXT\n3000\t" + p +
                         "/d.md\n3000\t" + p + "/e.AA\n700\t" + p + "/t-a\n700\t" + p +
                         "/t/b\n50\t" + p + "/.profile\n20\t" + p + "/notes\n"},
        {"--by-type", "1001470\t5\t\n3000\t1\taa\n3000\t1\tmd\n3000\t1\ttxt\n"},
        {"--by-age", "1003000\t2\t2001\n3070\t3\t2015\n4400\t3\t2024\n"},
        {"--disk-usage", std::to_string(blocks.files) + "\t" + p + "\n"},
        {"--disk-usage --top 3", diskTop},
        {"-0 --by-age", std::string("1003000\t2\t2001\0003070\t3\t2015\0004400\t3\t2024\0", 39)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunDvoscan(c.args + " " + p).out, c.out) << c.args;
        EXPECT_EQ(RunDvoscan(c.args + " -f " + exported).out, c.out) << c.args << " -f";
    }
    // Disk usage by kind adds up to the disk usage of the whole.
    std::int64_t byType = 0;
    const std::string kinds = RunDvoscan("--disk-usage --by-type " + p).out;
    for (std::size_t at = 0; at < kinds.size(); at = kinds.find('\n', at) + 1) {
        byType += std::stoll(kinds.substr(at));
    }
    EXPECT_EQ(byType, blocks.files);

    for (const std::string& bad : std::vector<std::string>{
             "--top", "--top x", "--top -1", "--top 1 --by-type", "--by-type -o " + t / "out.json",
             "--by-age --compare " + exported}) {
        EXPECT_EQ(RunDvoscan(bad + " " + p).status, 2) << bad;
    }
    const Outcome help = RunDvoscan("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--disk-usage", "--top N", "--by-type", "--by-age"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
}

} // namespace
