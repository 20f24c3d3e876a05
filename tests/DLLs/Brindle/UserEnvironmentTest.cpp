#include "DLLs/Brindle/Brindle.h"
#include "ScratchDir.h"
#include "tests/support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

struct LocaleCase {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    const char* expected;
};

TEST(GetLocale, WritesTheLanguageIdentifierInLowerCaseHex) {
    const LocaleCase cases[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", "411"},
        {nullptr, nullptr, "en_US.UTF-8", "409"},
        {nullptr, nullptr, "fr_CA.UTF-8", "c0c"},
        {"ja_JP.UTF-8", nullptr, "en_US.UTF-8", "411"}, // LC_ALL wins
        {nullptr, "de_DE.UTF-8", "ja_JP.UTF-8", "407"},
        {nullptr, nullptr, nullptr, "409"},
    };
    for (const auto& c : cases) {
        const ScopedEnv all("LC_ALL", c.lcAll);
        const ScopedEnv messages("LC_MESSAGES", c.lcMessages);
        const ScopedEnv lang("LANG", c.lang);
        char out[8];
        std::memset(out, 'z', sizeof out);
        EXPECT_EQ(GetLocale(out), 0);
        EXPECT_STREQ(out, c.expected) << (c.lang ? c.lang : "(no LANG)");
    }
}

using GetWorkDirTest = brindle_test::ScratchDirTest;

TEST_F(GetWorkDirTest, CreatesAndReturnsTheDataFolder) {
    const std::string data = Path("home/.local/share-x");
    const ScopedEnv env("XDG_DATA_HOME", data.c_str());
    char path[260];
    std::memset(path, 'z', sizeof path);
    ASSERT_EQ(GetWorkDir(path), 0);
    EXPECT_EQ(std::string(path), data);
    struct stat st = {};
    ASSERT_EQ(::stat(data.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(GetWorkDirTest, DefaultsToTheHomeFolder) {
    const ScopedEnv data("XDG_DATA_HOME", nullptr);
    const ScopedEnv home("HOME", m_dir.c_str());
    char path[260];
    ASSERT_EQ(GetWorkDir(path), 0);
    EXPECT_EQ(std::string(path), Path(".local/share"));
    EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(GetWorkDirTest, FailsWithAnEmptyPath) {
    char path[260];
    {
        // Under a plain file no folder can be made, whatever the user's rights.
        WriteFile(Path("file"), "x");
        const ScopedEnv env("XDG_DATA_HOME", Path("file/data").c_str());
        std::strcpy(path, "old");
        EXPECT_EQ(GetWorkDir(path), BRINDLE_E_NO_FILE);
        EXPECT_STREQ(path, "");
    }
    {
        std::string longDir = Path("");
        while (longDir.size() < 260)
            longDir += std::string(50, 'l') + "/";
        const ScopedEnv env("XDG_DATA_HOME", longDir.c_str());
        std::strcpy(path, "old");
        EXPECT_EQ(GetWorkDir(path), BRINDLE_E_OUT_OF_BOUNDS);
        EXPECT_STREQ(path, "");
    }
}

} // namespace
