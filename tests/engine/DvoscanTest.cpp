// dvoscan as a user runs it: du-style lines, and du's exit statuses.
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

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

} // namespace
