#include "platform/RenameNoReplace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One folder in the build tree and one on another file system (/dev/shm is a tmpfs on most
// machines); the test is skipped where both share a device.
class RenameAcrossFileSystems : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("DVO_TEST_TMP");
        const fs::path base = tmp != nullptr ? tmp : fs::temp_directory_path();
        const std::string tag = "rename-noreplace-" + std::to_string(::getpid());
        m_here = base / tag;
        m_there = fs::path("/dev/shm") / tag;
        fs::create_directories(m_here);
        std::error_code ec;
        fs::create_directories(m_there, ec);
        struct stat a = {};
        struct stat b = {};
        if (ec || ::stat(m_here.c_str(), &a) != 0 || ::stat(m_there.c_str(), &b) != 0 ||
            a.st_dev == b.st_dev)
            GTEST_SKIP() << "no second file system beside " << m_here;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_here, ec);
        fs::remove_all(m_there, ec);
    }
    fs::path m_here;
    fs::path m_there;
};

TEST_F(RenameAcrossFileSystems, MovesAFileKeepingModeAndTime) {
    const fs::path from = m_there / "f.bin";
    const fs::path to = m_here / "f.bin";
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 31);
    WriteFile(from, content);
    ASSERT_EQ(::chmod(from.c_str(), 0640), 0);
    const struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, from.c_str(), times, 0), 0);

    ASSERT_EQ(platform::RenameNoReplace(from.c_str(), to.c_str()), 0) << std::strerror(errno);
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(ReadFile(to), content);
    struct stat st = {};
    ASSERT_EQ(::stat(to.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
}

TEST_F(RenameAcrossFileSystems, NeverReplacesAndKeepsTheSource) {
    WriteFile(m_there / "src", "source");
    WriteFile(m_here / "dst", "target");
    errno = 0;
    EXPECT_EQ(platform::RenameNoReplace((m_there / "src").c_str(), (m_here / "dst").c_str()), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFile(m_there / "src"), "source");
    EXPECT_EQ(ReadFile(m_here / "dst"), "target");

    // A folder cannot change file systems by renaming.
    fs::create_directory(m_there / "dir");
    errno = 0;
    EXPECT_EQ(platform::RenameNoReplace((m_there / "dir").c_str(), (m_here / "dir").c_str()), -1);
    EXPECT_EQ(errno, EXDEV);
    EXPECT_TRUE(fs::is_directory(m_there / "dir"));
    EXPECT_FALSE(fs::exists(m_here / "dir"));
}

} // namespace
