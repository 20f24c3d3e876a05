#include "DLLs/Brindle/Brindle.h"
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

using FileSearch = brindle_test::ScratchDirTest;

// Every name a search lists, through the three calls in their order.
std::set<std::string> ListAll(const std::string& dir, const std::string& pattern) {
    std::set<std::string> names;
    char name[260] = "stale";
    void* handle = MFindFirst(dir.c_str(), pattern.c_str(), name);
    if (handle == nullptr) {
        EXPECT_STREQ(name, "") << pattern;
        return names;
    }
    for (int guard = 0; name[0] != '\0' && guard < 100; ++guard) {
        EXPECT_TRUE(names.insert(name).second) << "listed twice: " << name;
        MFindNext(handle, name);
    }
    EXPECT_EQ(MFindEnd(handle), 0);
    return names;
}

TEST_F(FileSearch, MatchesNamesByteByByte) {
    for (const char* file :
         {"a.txt", "b.txt", "ab.csv", ".hidden", "[a].txt", "caf\xE9.txt", "README"})
        WriteFile(Path(file), "x");
    fs::create_directory(Path("sub"));
    WriteFile(Path("sub/x.txt"), "x");

    using Names = std::set<std::string>;
    const struct {
        const char* pattern;
        Names names;
    } cases[] = {
        {"*.txt", {"a.txt", "b.txt", "[a].txt", "caf\xE9.txt"}},
        {"?.txt", {"a.txt", "b.txt"}},
        {"caf?.txt", {"caf\xE9.txt"}}, // '?' is one byte, even of a name that is not UTF-8
        {"[a].txt", {"[a].txt"}},      // brackets are ordinary bytes, not a set
        {"a*", {"a.txt", "ab.csv"}},
        {"*",
         {".", "..", ".hidden", "a.txt", "b.txt", "ab.csv", "[a].txt", "caf\xE9.txt", "README",
          "sub"}},
        {"*.*",
         {".", "..", ".hidden", "a.txt", "b.txt", "ab.csv", "[a].txt", "caf\xE9.txt", "README",
          "sub"}},
        {"sub/*", {".", "..", "x.txt"}},
        {"A.TXT", {}}, // case-sensitive, like the file system
        {"*.doc", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ListAll(m_dir.string(), c.pattern), c.names) << c.pattern;
        EXPECT_EQ(ListAll(m_dir.string() + "/", c.pattern), c.names)
            << "trailing '/': " << c.pattern;
    }
}

TEST_F(FileSearch, NoListingGivesNullAndAnEmptyName) {
    WriteFile(Path("file"), "x");
    char name[260];
    for (const std::string& dir : {Path("missing"), Path("file"), std::string(600, 'd')}) {
        std::strcpy(name, "stale");
        EXPECT_EQ(MFindFirst(dir.c_str(), "*", name), nullptr) << dir;
        EXPECT_STREQ(name, "") << dir;
    }
    // The joined path must stay below 512 bytes.
    const std::string longPattern(511 - m_dir.string().size(), '*');
    EXPECT_EQ(MFindFirst(m_dir.c_str(), longPattern.c_str(), name), nullptr);
}

TEST_F(FileSearch, ForeignAndEndedHandlesAreRefused) {
    char name[260] = "stale";
    int notOurs = 0;
    EXPECT_EQ(MFindEnd(nullptr), -1);
    EXPECT_EQ(MFindEnd(&notOurs), -1);
    MFindNext(&notOurs, name);
    EXPECT_STREQ(name, "");

    void* handle = MFindFirst(m_dir.c_str(), "*", name);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(MFindEnd(handle), 0);
    EXPECT_EQ(MFindEnd(handle), -1);
    std::strcpy(name, "stale");
    MFindNext(handle, name);
    EXPECT_STREQ(name, "");
}

TEST_F(FileSearch, TheEndOfAListingStaysEmpty) {
    WriteFile(Path("only"), "x");
    char name[260];
    void* handle = MFindFirst(m_dir.c_str(), "only", name);
    ASSERT_NE(handle, nullptr);
    EXPECT_STREQ(name, "only");
    for (int i = 0; i < 3; ++i) {
        std::strcpy(name, "stale");
        MFindNext(handle, name);
        EXPECT_STREQ(name, "");
    }
    EXPECT_EQ(MFindEnd(handle), 0);
}

} // namespace
