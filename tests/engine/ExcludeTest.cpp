// Excludes as du and ncdu have them: which paths a pattern leaves out, and what a search and
// dvoscan then count.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "TreeFixture.h"
#include "engine/DVOSUB.h"
#include "engine/Exclude.h"
#include "platform/Text.h"

using namespace enginetest;

namespace {

TEST(EngineScanExclude, PatternsMatchThePathOrAnyTailOfIt) {
    struct Case {
        const char* pattern;
        const char* path;
        bool excluded;
    };
    const Case cases[] = {
        {"*.tmp", "/r/a/x.tmp", true},
        {"*.tmp", "/r/a/x.tmp2", false},
        {"*.TMP", "/r/a/x.tmp", false}, // case counts, as on the file system
        {"node_modules", "/r/p/node_modules", true},
        {"node_modules", "/r/p/node_modules2", false},
        {"node_modules", "/r/p/my_node_modules", false},
        {"a/b", "/r/a/b", true},   // a tail of several components
        {"a/b", "/r/xa/b", false}, // tails start after a '/'
        {"*/cache", "/r/u/cache", true},
        {"/r/a", "/r/a", true}, // the full path
        {"/r/a", "/s/r/a", false},
        {"[ab]c", "/r/bc", true}, // brackets, as fnmatch has them
        {"[!ab]c", "/r/bc", false},
        {"?", "/r/x", true},
        {"?", "/r/xy", false},
        {"*", "/r/.hidden", true}, // a leading dot is no exception
        {".*", "/r/.git", true},
        {"\\*", "/r/*", true}, // a backslash quotes
        {"\\*", "/r/a", false},
        {"*\xff", "/r/a\xff", true}, // names that are not UTF-8
        {"", "/r/a", false},         // an empty pattern leaves nothing out
    };
    for (const Case& c : cases) {
        const dvo::ExcludeList list({c.pattern});
        EXPECT_EQ(list.Matches(c.path), c.excluded) << c.pattern << " on " << c.path;
    }
    const dvo::ExcludeList several({"*.o", "build"});
    EXPECT_TRUE(several.Matches("/r/src/main.o"));
    EXPECT_TRUE(several.Matches("/r/build"));
    EXPECT_FALSE(several.Matches("/r/src/main.c"));
    EXPECT_TRUE(dvo::ExcludeList({""}).Empty());
}

// node_modules and *.tmp left out, folders and files alike, at any depth; and kept again once
// the patterns are cleared.
void BuildTree(const TempDir& t) {
    MakeFile(t / "keep", 1);
    MakeFile(t / "junk.tmp", 10);
    MakeDir(t / "node_modules");
    MakeFile(t / "node_modules/big", 1000);
    MakeDir(t / "src");
    MakeFile(t / "src/main.c", 100);
    MakeFile(t / "src/old.tmp", 10000);
    MakeDir(t / "src/node_modules");
    MakeFile(t / "src/node_modules/x", 100000);
    MakeDir(t / "src/cache.tmp");
    MakeFile(t / "src/cache.tmp/y", 1000000);
}

long long SearchTotal(const std::string& path, int* folders = nullptr) {
    EXPECT_EQ(DVOStartFileSearching(), DVO_OK);
    EXPECT_EQ(DVOAddSearchDirectory(platform::Utf8ToUtf16(path).c_str()), DVO_OK);
    EXPECT_EQ(DVOExecFileSearch(1, 0, 1, 0), DVO_OK);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (DVOIsSearching() != 0 && std::chrono::steady_clock::now() < deadline) {
    }
    SearchProgress progress{};
    EXPECT_EQ(DVOGetCurrentSearchInfo(&progress), DVO_OK);
    if (folders != nullptr) {
        *folders = DVOGetFolderInfoCount();
    }
    return progress.size;
}

TEST(EngineScanExclude, SearchLeavesOutWhatMatches) {
    ASSERT_EQ(DVOCreateObj(), DVO_OK);
    TempDir t;
    BuildTree(t);
    const std::u16string tmp = u"*.tmp";
    const std::u16string modules = u"node_modules";
    const char16_t* patterns[] = {tmp.c_str(), modules.c_str()};
    ASSERT_EQ(DVOSetExcludePatterns(patterns, 2), DVO_OK);
    int folders = 0;
    EXPECT_EQ(SearchTotal(t.Path(), &folders), 101);
    EXPECT_EQ(folders, 2); // the searched folder and src
    EXPECT_EQ(DVOGetErrorCount(), 0);

    // Bad calls change nothing.
    const char16_t* withNull[] = {tmp.c_str(), nullptr};
    EXPECT_EQ(DVOSetExcludePatterns(withNull, 2), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOSetExcludePatterns(nullptr, 1), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOSetExcludePatterns(patterns, -1), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(SearchTotal(t.Path()), 101);

    ASSERT_EQ(DVOSetExcludePatterns(nullptr, 0), DVO_OK);
    EXPECT_EQ(SearchTotal(t.Path(), &folders), 1111111);
    EXPECT_EQ(folders, 5);
    // Patterns naming the searched folder itself do not stop it being read.
    const std::u16string self = platform::Utf8ToUtf16(t.Path());
    const char16_t* selfPattern[] = {self.c_str()};
    ASSERT_EQ(DVOSetExcludePatterns(selfPattern, 1), DVO_OK);
    EXPECT_EQ(SearchTotal(t.Path()), 1111111);
    DVODestroyObj();
    EXPECT_EQ(DVOSetExcludePatterns(nullptr, 0), DVO_E_NO_OBJECT);
}

std::string RunDvoscan(const std::string& args, int* status) {
    const std::string command = std::string(DVOSCAN_PATH) + " " + args + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        out.append(buf, n);
    }
    const int rc = ::pclose(pipe);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

TEST(EngineScanExclude, DvoscanTakesPatternsAndPatternFiles) {
    TempDir t;
    MakeDir(t / "tree");
    BuildTree(t);
    const std::string root = t / "tree";
    // BuildTree made its entries beside "tree": move them in.
    for (const char* name : {"keep", "junk.tmp", "node_modules", "src"}) {
        ASSERT_EQ(std::rename((t / name).c_str(), (root + "/" + name).c_str()), 0);
    }
    int status = -1;
    EXPECT_EQ(RunDvoscan("--exclude '*.tmp' --exclude=node_modules " + root, &status),
              "101\t" + root + "\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(RunDvoscan("--exclude 'src/*' " + root, &status), "1011\t" + root + "\n");

    std::ofstream(t / "patterns") << "*.tmp\r\n\nnode_modules"; // CR LF, an empty line, no end
    EXPECT_EQ(RunDvoscan("--exclude-from " + (t / "patterns") + " " + root, &status),
              "101\t" + root + "\n");
    EXPECT_EQ(
        RunDvoscan("--exclude-from=" + (t / "patterns") + " --exclude main.c " + root, &status),
        "1\t" + root + "\n");
    RunDvoscan("--exclude-from " + (t / "absent") + " " + root, &status);
    EXPECT_EQ(status, 2);
}

} // namespace
