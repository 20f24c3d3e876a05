// The machine report behind the log's first lines, read from fixture files.
#include "DLLs/common/SystemInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using common::ProcessorDescription;

TEST(ProcessorDescription, Table) {
    struct Case {
        unsigned architecture, level, revision;
        const char* text;
    };
    const Case cases[] = {
        {0, 6, 0x0F0B, "Intel Pentium Pro or Pentium II Model 15 Stepping 11"},
        {0, 5, 0x0204, "Intel Pentium Model 2 Stepping 4"},
        {0, 4, 0x0103, "Intel 80486 Stepping B Minor Stepping 3"},
        {0, 3, 0x0000, "Intel 80386 Stepping A Minor Stepping 0"},
        // High byte 0xFF: model masked with 5, stepping with 15.
        {0, 4, 0xFF7A, "Intel 80486 Model 5 Stepping 10"},
        {0, 3, 0xFF23, "Intel 80386 Model 0 Stepping 3"},
        {0, 15, 0x0F0B, "Intel (unknown)"},
        {1, 4, 0x0102, "MIPS R4000 Rivision 2"},
        {1, 3, 0x0102, "MIPS (unknown)"},
        {2, 21164, 0x0503, "Alpha 21164 Model A5 Pass 3"},
        {2, 21066, 0x0001, "Alpha 21066 Model A0 Pass 1"},
        {2, 1, 0x0001, "Alpha (unknown)"},
        {3, 9, 0x0102, "PPC 604+ 1.2"},
        {3, 20, 0x0300, "PPC 620 3.0"},
        {3, 2, 0x0300, "PPC (unknown)"},
        {6, 7, 0x0102, "IA64(64-bit Windows)"},
        {9, 6, 0x0F0B, "AMD64(64-bit Windows)"},
        {10, 6, 0x0F0B, "IA32 on Win64(64-bit Windows)"},
        {12, 8, 0x0301, "Unknown"},
        {0xFFFF, 0, 0, "Unknown"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProcessorDescription(c.architecture, c.level, c.revision), c.text)
            << c.architecture << "/" << c.level << "/" << std::hex << c.revision;
}

class SystemInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* scratch = std::getenv("DVO_TEST_TMP");
        m_dir = std::string(scratch != nullptr ? scratch : "/tmp") + "/common." +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "." +
                std::to_string(::getpid());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir + "/by-label");
        ::setenv("LUMETRA_DEBUG_OUTPUT", (m_dir + "/debug.txt").c_str(), 1);
        m_sources.cpuinfoPath = m_dir + "/cpuinfo";
        m_sources.osReleasePaths = {m_dir + "/os-release", m_dir + "/usr-os-release"};
        m_sources.meminfoPath = m_dir + "/meminfo";
        m_sources.selfStatusPath = m_dir + "/status";
        m_sources.mountinfoPath = m_dir + "/mountinfo";
        m_sources.labelDir = m_dir + "/by-label";
        m_sources.windowsFolder = m_dir;
        m_sources.machine = "x86_64";
        m_sources.kernelRelease = "6.1.0-21-amd64";
        m_sources.processorCount = 4;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(m_dir + "/" + name, std::ios::binary) << text;
    }
    std::string m_dir;
    common::SystemSources m_sources;
};

TEST_F(SystemInfoTest, NoSourcesGiveTheEmptyReport) {
    // Every fixture file missing: nothing made up, only what the sources themselves give.
    m_sources.kernelRelease = "";
    m_sources.windowsFolder = "";
    const common::SystemReport r = common::ReadSystemReport(m_sources);
    EXPECT_EQ(r.processorCount, 4);
    EXPECT_EQ(r.processorText, "AMD64(64-bit Windows)");
    EXPECT_TRUE(r.cpuLines.empty());
    EXPECT_FALSE(r.osKnown);
    EXPECT_EQ(r.osVersion, "OS Unknown");
    EXPECT_EQ(r.windowsFolder, "");
    EXPECT_EQ(r.volumeLabel, "");
    EXPECT_EQ(r.volumeSerial, 0u);
}

TEST_F(SystemInfoTest, ProcessorsFromCpuinfo) {
    Write("cpuinfo",
          "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 4\nmodel\t\t: 1\n"
          "model name\t: 486 DX\nstepping\t: 3\n\n"
          "processor\t: 1\nvendor_id\t: GenuineIntel\ncpu family\t: 4\nmodel\t\t: 1\nstepping\t: "
          "3\n\n"
          "processor\t: 2\nCPU implementer\t: 0x41\nCPU architecture: 8\nCPU variant\t: 0x3\n"
          "CPU part\t: 0xd0c\nCPU revision\t: 1\n\n");
    struct Case {
        const char* machine;
        const char* text;
    };
    const Case machines[] = {{"i486", "Intel 80486 Stepping B Minor Stepping 3"},
                             {"x86_64", "AMD64(64-bit Windows)"},
                             {"aarch64", "Unknown"},
                             {"sparc64", "Unknown"}};
    common::SystemReport r;
    for (const Case& c : machines) {
        m_sources.machine = c.machine;
        r = common::ReadSystemReport(m_sources);
        EXPECT_EQ(r.processorText, c.text) << c.machine;
    }
    EXPECT_EQ(r.level, 4u);
    EXPECT_EQ(r.revision, 0x0103u);
    EXPECT_EQ(r.processorCount, 4);
    EXPECT_EQ(r.cpuLines, (std::vector<std::string>{
                              "CPU 0:x86 Family 4 Model 1 Stepping 3 486 DX",
                              "CPU 1:x86 Family 4 Model 1 Stepping 3 No ProcessorNameString",
                              "CPU 2:ARMv8 Implementer 0x41 Part 0xd0c Variant 0x3 Revision 1 "
                              "No ProcessorNameString"}));

    m_sources.cpuinfoPath = m_dir + "/missing";
    EXPECT_TRUE(common::ReadSystemReport(m_sources).cpuLines.empty());
}

TEST_F(SystemInfoTest, OsVersion) {
    struct Case {
        const char* osRelease;    // null: no file
        const char* usrOsRelease; // null: no file
        const char* kernel;
        bool known;
        const char* text;
    };
    const Case cases[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n", nullptr, "6.1.0-21-amd64", true,
         "Debian GNU/Linux 12 (bookworm) (Kernel 6.1.0-21-amd64)"},
        {nullptr, "NAME=Fedora\nPRETTY_NAME='Fedora Linux 40'\n", "", true, "Fedora Linux 40"},
        {"PRETTY_NAME=\"Say \\\"hi\\\"\"\n", nullptr, "", true, "Say \"hi\""},
        {nullptr, nullptr, "6.8.0", true, "Linux (Kernel 6.8.0)"},
        {nullptr, nullptr, "", false, "OS Unknown"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(m_dir + "/os-release");
        std::filesystem::remove(m_dir + "/usr-os-release");
        if (c.osRelease != nullptr)
            Write("os-release", c.osRelease);
        if (c.usrOsRelease != nullptr)
            Write("usr-os-release", c.usrOsRelease);
        m_sources.kernelRelease = c.kernel;
        const common::SystemReport r = common::ReadSystemReport(m_sources);
        EXPECT_EQ(r.osKnown, c.known);
        EXPECT_EQ(r.osVersion, c.text);
    }
}

TEST_F(SystemInfoTest, VolumeOfTheSystemFolder) {
    // The longest mount point above the folder wins, whole path components only, the later of
    // two equal ones; escaped blanks in mount points are understood.
    const std::string folder = "/srv/my data/sys";
    struct stat loop = {};
    const bool haveLoop = ::stat("/dev/loop0", &loop) == 0 && S_ISBLK(loop.st_mode) &&
                          major(loop.st_rdev) == 7 && minor(loop.st_rdev) == 0;
    if (haveLoop)
        std::filesystem::create_symlink("/dev/loop0", m_dir + "/by-label/Backup\\x20Disk");
    std::filesystem::create_directories(m_dir + folder);
    m_sources.windowsFolder = m_dir + folder;
    Write("mountinfo", "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                       "27 26 7:0 / " +
                           m_dir +
                           "/srv/my\\040data rw shared:1 - xfs /dev/loop0 rw\n"
                           "28 26 0:50 / " +
                           m_dir +
                           "/srv/my rw - tmpfs tmpfs rw\n"
                           "29 26 0:51 / " +
                           m_dir + "/srv/my\\040data/sy rw - vfat /dev/x rw\n");
    m_sources.volumeSerial = 0x1A2B3C4Du;
    const common::SystemReport r = common::ReadSystemReport(m_sources);
    EXPECT_EQ(r.fileSystem, "xfs");
    EXPECT_EQ(r.windowsFolder, m_dir + folder);
    EXPECT_EQ(r.volumeLabel, haveLoop ? "Backup Disk" : "");
    EXPECT_EQ(r.volumeSerial, 0x1A2B3C4Du);
}

TEST_F(SystemInfoTest, VolumeQueryFailureLeavesTheVolumeEmpty) {
    m_sources.windowsFolder = m_dir + "/does-not-exist";
    const common::SystemReport r = common::ReadSystemReport(m_sources);
    EXPECT_EQ(r.fileSystem, "");
    EXPECT_EQ(r.volumeSerial, 0u);
    // No message box without a GUI: the system's text goes to the debugger output.
    std::ifstream debug(m_dir + "/debug.txt");
    std::string line;
    std::getline(debug, line);
    EXPECT_EQ(line, "Error: " + std::string(std::strerror(ENOENT)));
}

TEST_F(SystemInfoTest, MemoryIsCountedIn64Bits) {
    Write(
        "meminfo",
        "MemTotal:       67108864 kB\nMemFree:         1000000 kB\n"
        "MemAvailable:   16777216 kB\nSwapTotal:       8388608 kB\nSwapFree:        4194304 kB\n");
    Write("status", "Name:\tx\nVmSize:\t  2097152 kB\n");
    const common::SystemReport r = common::ReadSystemReport(m_sources);
    EXPECT_EQ(r.totalPhys, std::uint64_t{64} << 30);
    EXPECT_EQ(r.availPhys, std::uint64_t{16} << 30);
    EXPECT_EQ(r.memoryLoad, 75u);
    EXPECT_EQ(r.totalPageFile, std::uint64_t{8} << 30);
    EXPECT_EQ(r.availPageFile, std::uint64_t{4} << 30);
    EXPECT_EQ(r.totalVirtual - r.availVirtual, std::uint64_t{2} << 30);
}

TEST_F(SystemInfoTest, UserNameIsNotCutToTheComputerName) {
    const common::SystemReport r = common::ReadSystemReport(m_sources);
    char expectedHost[1024] = {};
    ::gethostname(expectedHost, sizeof expectedHost - 1);
    EXPECT_EQ(r.computerName, expectedHost);
    const passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(r.userName, pw->pw_name);
}

} // namespace
