#include "DLLs/Brindle/Brindle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kUntouched = "untouched";

struct DirCase {
    std::string path;
    int result;
    std::string dir; // kUntouched when the buffer must keep its old content
};

TEST(GetFileDir, SplitsAtTheLastSeparatorAfterIndexZero) {
    const std::string longName(1100, 'n');
    const std::string longDir = "/" + std::string(1022, 'd'); // 1023 bytes: still fits
    const DirCase cases[] = {
        {"/Tools/app", 0, "/Tools"},
        {"/Tools/sub/app.exe", 0, "/Tools/sub"},
        {"/Tools/", 0, "/Tools"},
        {"/a/", 0, "/a"},
        {"//", 0, "/"},
        {"rel/app", 0, "rel"},
        {"/a\\b", -1, kUntouched}, // a backslash is an ordinary byte
        {"/app", -1, kUntouched},  // the root separator at index 0 is never taken
        {"/", -1, kUntouched},
        {"a", -1, kUntouched},
        {"", -1, kUntouched},
        {"app.exe", -1, kUntouched},
        {"/short/" + longName, 0, "/short"}, // the name part may be long
        {longDir + "/x", 0, longDir},
        {longDir + "d/x", -1, kUntouched}, // 1024 bytes would not fit the caller's buffer
    };
    for (const auto& c : cases) {
        std::vector<char> dir(1024, 'z');
        std::copy_n(kUntouched, std::char_traits<char>::length(kUntouched) + 1, dir.begin());
        EXPECT_EQ(GetFileDir(c.path.c_str(), dir.data()), c.result) << c.path;
        EXPECT_EQ(std::string(dir.data()), c.dir) << c.path;
    }
}

struct NameCase {
    const char* path;
    int result;
    const char* name;
};

TEST(GetFileName, SplitsAtTheLastSeparatorAfterIndexZero) {
    const NameCase cases[] = {
        {"/dir/", 1, ""},
        {"/dir/name.txt", 9, "name.txt"},
        {"/a/b/c", 2, "c"},
        {"rel/x", 2, "x"},
        {"name.txt", 0, "name.txt"},
        {"/name", 0, "/name"},
        {"/", 0, "/"},
        {"", 0, kUntouched},
    };
    for (const auto& c : cases) {
        char name[64] = {};
        std::strcpy(name, kUntouched);
        EXPECT_EQ(GetFileName(c.path, name), c.result) << c.path;
        EXPECT_STREQ(name, c.name) << c.path;
    }
}

struct ExtCase {
    const char* path;
    const char* ext;
    const char* out;
};

TEST(ChangeExt, KeepsUpToTheLastDotAnywhere) {
    const ExtCase cases[] = {
        {"report.txt", "csv", "report.csv"},
        {"report.", "csv", "report.csv"},
        {"report.txt", "", "report."},
        {"report", "csv", ""},
        {"old.dir/report", "csv", "old.csv"}, // a dot in a folder name counts
        {"/data/a.b.c", "x", "/data/a.b.x"},
        {".profile", "bak", ".bak"},
        {"", "csv", ""},
    };
    for (const auto& c : cases) {
        char out[64];
        std::memset(out, 'z', sizeof out);
        EXPECT_EQ(ChangeExt(c.path, c.ext, out), 0) << c.path;
        EXPECT_STREQ(out, c.out) << c.path;
        // Nothing is written behind the terminator.
        EXPECT_EQ(out[std::strlen(c.out) + 1], 'z') << c.path;
    }
}

TEST(ChangeExt, WorksInPlace) {
    char buf[32] = "/data/report.txt";
    EXPECT_EQ(ChangeExt(buf, "csv", buf), 0);
    EXPECT_STREQ(buf, "/data/report.csv");
}

} // namespace
