#include "LogFixture.h"

#include "platform/Paths.h"

#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tamsin_test {
namespace {

platform::LocalTime g_now;

platform::LocalTime FakeNow() { return g_now; }

} // namespace

void SetFakeNow(int year, int month, int day, int weekday, int hour, int minute, int second,
                int millisecond) {
    g_now = platform::LocalTime{year, month, day, weekday, hour, minute, second, millisecond};
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto nl = text.find('\n', pos);
        const auto end = nl == std::string::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

int WriterCount() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        if (ReadAll(entry.path().string() + "/comm") == "TamsinWriter\n")
            ++count;
    }
    return count;
}

void LogFixture::SetUp() {
    const char* scratch = std::getenv("DVO_TEST_TMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    m_root = std::string(scratch != nullptr ? scratch : "/tmp") + "/tamsin/" + name + "." +
             std::to_string(::getpid());
    std::filesystem::remove_all(m_root);
    std::filesystem::create_directories(m_root);
    m_data = m_root + "/data";
    m_debugPath = m_root + "/debug.txt";
    ::setenv("XDG_DATA_HOME", m_data.c_str(), 1);
    ::setenv("LUMETRA_DEBUG_OUTPUT", m_debugPath.c_str(), 1);

    SetFakeNow(2026, 12, 8, 2, 21, 35, 36, 42);
    tamsin::SetLogClock(&FakeNow);

    // A Pentium II era machine on Debian, so that every report line is known.
    const std::string fixtures = m_root + "/fixtures";
    std::filesystem::create_directories(fixtures + "/by-label");
    WriteText(fixtures + "/cpuinfo",
              "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 15\n"
              "model name\t: Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz\nstepping\t: 11\n\n"
              "processor\t: 1\nBogoMIPS\t: 48.00\n\n");
    WriteText(fixtures + "/os-release",
              "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    WriteText(
        fixtures + "/meminfo",
        "MemTotal:        1048576 kB\nMemFree:           1024 kB\n"
        "MemAvailable:     262144 kB\nSwapTotal:             0 kB\nSwapFree:              0 kB\n");
    WriteText(fixtures + "/status", "Name:\ttest\nVmSize:\t    1024 kB\n");
    WriteText(fixtures + "/mountinfo", "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                                       "30 26 0:40 / /nowhere rw - tmpfs tmpfs rw\n");
    m_sources.cpuinfoPath = fixtures + "/cpuinfo";
    m_sources.osReleasePaths = {fixtures + "/os-release"};
    m_sources.meminfoPath = fixtures + "/meminfo";
    m_sources.selfStatusPath = fixtures + "/status";
    m_sources.mountinfoPath = fixtures + "/mountinfo";
    m_sources.labelDir = fixtures + "/by-label";
    m_sources.windowsFolder = m_root;
    m_sources.machine = "i686";
    m_sources.kernelRelease = "6.1.0-test";
    m_sources.processorCount = 2;
    m_sources.volumeSerial = 0x1A2B3C4Du;
    common::SetSystemSources(m_sources);
}

void LogFixture::TearDown() {
    tamsin::SetLogClock(nullptr);
    common::SetSystemSources(common::SystemSources{});
    if (!HasFailure())
        std::filesystem::remove_all(m_root);
}

std::string LogFixture::LogFile(const std::string& fileName) const {
    return m_data + "/Lumetra/" + platform::ExecutableBaseName() + "/" + fileName;
}

std::string LogFixture::DayFile(const std::string& fileName) const {
    return m_data + "/Lumetra/" + fileName;
}

std::vector<std::string> LogFixture::Messages(const std::string& text) {
    // "DVO Www Mmm dd hh:mm:ss.mmm yyyy :: " is 36 bytes; " \n" ends each line.
    std::vector<std::string> messages;
    for (const std::string& line : SplitLines(text)) {
        if (line.size() >= 38 && line.compare(0, 4, "DVO ") == 0 &&
            line.compare(32, 4, " :: ") == 0 && line.compare(line.size() - 2, 2, " \n") == 0)
            messages.push_back(line.substr(36, line.size() - 38));
        else
            messages.push_back("<malformed> " + line);
    }
    return messages;
}

} // namespace tamsin_test
