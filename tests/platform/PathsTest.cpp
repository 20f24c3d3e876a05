#include "platform/Paths.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(Paths, BaseNameWithoutExtension) {
    const struct {
        const char* path;
        const char* base;
    } cases[] = {
        {"/opt/dvo/bin/DVO", "DVO"},
        {"/a/b.c/prog.bin", "prog"},
        {"/x/.hidden", ".hidden"},
        {"name.tar.gz", "name.tar"},
        {"/dir/", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::BaseNameWithoutExtension(c.path), c.base) << c.path;
}

TEST(Paths, ExecutableIsThisTestProgram) {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(platform::ExecutablePath(), std::string(buf, static_cast<std::size_t>(n)));
    EXPECT_EQ(platform::ExecutableBaseName(), "platform_tests");
}

mode_t ModeOf(const std::string& path) {
    struct stat st = {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(Paths, AppDataDirIsCreatedPrivate) {
    dvo::test::TempDir tmp;
    const std::string data = tmp / "deep/data";
    ScopedEnv env("XDG_DATA_HOME", data.c_str());
    EXPECT_EQ(platform::AppDataDir(), data);
    EXPECT_EQ(ModeOf(data), 0700u);
    // Asking again with the folder present changes nothing.
    ::chmod(data.c_str(), 0750);
    EXPECT_EQ(platform::AppDataDir(), data);
    EXPECT_EQ(ModeOf(data), 0750u);
}

// The rows of the table below whose data folder was named although it cannot be made.
std::string RowsNamedAnyway(const dvo::test::TempDir& tmp) {
    const struct {
        const char* data; // XDG_DATA_HOME below tmp, or null for the default under HOME
        const char* home;
    } cases[] = {
        {"file", nullptr}, {"file/data", nullptr}, {"readonly/data", nullptr},
        {nullptr, "file"}, {nullptr, "readonly"},
    };
    std::string named;
    for (const auto& c : cases) {
        ScopedEnv data("XDG_DATA_HOME", c.data != nullptr ? (tmp / c.data).c_str() : nullptr);
        ScopedEnv home("HOME", c.home != nullptr ? (tmp / c.home).c_str() : tmp.path().c_str());
        if (!platform::AppDataDir().empty())
            named += std::string(c.data != nullptr ? c.data : c.home) + " ";
    }
    return named;
}

// A data folder that cannot be made (a file in the way, a read-only parent) is reported as none,
// never named as if it existed.
TEST(Paths, AppDataDirThatCannotBeMadeIsEmpty) {
    dvo::test::TempDir tmp;
    std::FILE* f = std::fopen((tmp / "file").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    ASSERT_EQ(::mkdir((tmp / "readonly").c_str(), 0500), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(RowsNamedAnyway(tmp), "");
        return;
    }
    // Root writes into a read-only folder all the same: the table runs as an ordinary user.
    constexpr uid_t kNobody = 65534;
    for (const char* name : {"", "file", "readonly"})
        ASSERT_EQ(::chown((tmp / name).c_str(), kNobody, kNobody), 0) << name;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        const std::string named = RowsNamedAnyway(tmp);
        std::fprintf(stderr, "named although it cannot be made: %s\n", named.c_str());
        ::_exit(named.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(Paths, DefaultsUnderHomeAndRelativeValuesAreIgnored) {
    dvo::test::TempDir tmp;
    ScopedEnv home("HOME", tmp.path().c_str());
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
        ScopedEnv data("XDG_DATA_HOME", value);
        ScopedEnv config("XDG_CONFIG_HOME", value);
        EXPECT_EQ(platform::AppDataDir(), tmp / ".local/share");
        EXPECT_EQ(platform::ConfigHome(), tmp / ".config");
    }
    struct stat st = {};
    EXPECT_EQ(::stat((tmp / ".local/share").c_str(), &st), 0);
    // The configuration folder is only named, never created by asking.
    EXPECT_NE(::stat((tmp / ".config").c_str(), &st), 0);
}

TEST(Paths, MakeDirectories) {
    dvo::test::TempDir tmp;
    EXPECT_TRUE(platform::MakeDirectories(tmp / "a/b/c", 0755));
    EXPECT_TRUE(platform::MakeDirectories(tmp / "a/b/c", 0755));
    EXPECT_TRUE(platform::MakeDirectories(tmp / "a/b/d/", 0755));
    EXPECT_FALSE(platform::MakeDirectories("", 0755));
    // A file in the way is not a folder.
    ASSERT_TRUE(platform::MakeDirectories(tmp / "f", 0755));
    ::rmdir((tmp / "f").c_str());
    FILE* f = std::fopen((tmp / "f").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_FALSE(platform::MakeDirectories(tmp / "f/g", 0755));
}

} // namespace
