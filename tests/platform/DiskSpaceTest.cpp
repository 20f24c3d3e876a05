#include "platform/DiskSpace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path TestFolder() {
    const char* tmp = std::getenv("DVO_TEST_TMP");
    return fs::path(tmp != nullptr ? tmp : fs::temp_directory_path().c_str()) /
           ("disk-space-" + std::to_string(::getpid()));
}

// df's own reading of the same file system: "<size> <avail>" in bytes.
bool DfFigures(const fs::path& path, long long& size, long long& avail) {
    const std::string command = "df -B1 --output=size,avail '" + path.string() + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        out += buffer;
    if (::pclose(pipe) != 0)
        return false;
    std::istringstream lines(out);
    std::string header;
    std::getline(lines, header);
    return static_cast<bool>(lines >> size >> avail);
}

TEST(DiskSpace, AgreesWithDfOnARealFolder) {
    const fs::path folder = TestFolder();
    fs::create_directories(folder);
    long long dfSize = 0;
    long long dfAvail = 0;
    if (!DfFigures(folder, dfSize, dfAvail)) {
        fs::remove_all(folder);
        GTEST_SKIP() << "df cannot read " << folder;
    }
    platform::DiskSpace space;
    ASSERT_EQ(platform::QueryDiskSpace(folder.string(), space), 0);
    fs::remove_all(folder);
    EXPECT_EQ(space.totalBytes, dfSize);
    // Other programs write meanwhile: the free space may move by a little.
    EXPECT_NEAR(static_cast<double>(space.freeBytes), static_cast<double>(dfAvail), 64.0 * 1048576);
    EXPECT_LE(space.freeBytes, space.totalBytes);
}

TEST(DiskSpace, FailuresGiveTheErrnoAndLeaveTheFiguresAlone) {
    const fs::path folder = TestFolder();
    fs::create_directories(folder);
    std::ofstream(folder / "file") << "x";
    const struct {
        std::string path;
        int error;
    } cases[] = {
        {"", ENOENT},
        {(folder / "missing").string(), ENOENT},
        {(folder / "file" / "below").string(), ENOTDIR},
    };
    for (const auto& c : cases) {
        platform::DiskSpace space{7, 3};
        EXPECT_EQ(platform::QueryDiskSpace(c.path, space), c.error) << c.path;
        EXPECT_EQ(space.totalBytes, 7) << c.path;
        EXPECT_EQ(space.freeBytes, 3) << c.path;
    }
    fs::remove_all(folder);
}

} // namespace
