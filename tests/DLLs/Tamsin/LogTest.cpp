// Lines, files, filters, dumps and the day change of a log, with a fake clock.
#include "LogFixture.h"

#include "DLLs/Tamsin/CLog.h"
#include "DLLs/common/SystemInfo.h"
#include "platform/Paths.h"

#include <filesystem>
#include <regex>
#include <thread>
#include <unistd.h>

namespace tamsin_test {
namespace {

constexpr const char* kEndLine = "DVO Tue Dec 08 21:35:36.042 2026 :: Log Ended \n";

tamsin::CLog* Log(HLOG h) { return static_cast<tamsin::CLog*>(h); }

// Tests that run in both writing modes: Direct writes each line at once, Queued through the
// writer thread.
class LogModeTest : public LogFixture, public ::testing::WithParamInterface<bool> {
protected:
    [[nodiscard]] int Flush() const { return GetParam() ? 1 : 0; }
};

TEST_P(LogModeTest, StartLineReportAndEndLineAreExact) {
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 1, Flush(), 0, "DVO", "DVO", "");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(LOGTerm(h), 0);

    const std::string file = ReadAll(LogFile("DVO.txt"));
    const auto lines = SplitLines(file);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(),
              "DVO Tue Dec 08 21:35:36.042 2026 :: Log Started - CLog Ver. 1.2 (Sep 2006) \n");
    EXPECT_EQ(lines.back(), kEndLine);
    // The debugger output carries the same lines.
    EXPECT_EQ(DebugText(), file);

    char host[1024] = {};
    ::gethostname(host, sizeof host - 1);
    const std::string user = common::ReadSystemReport(common::CurrentSystemSources()).userName;
    std::vector<std::string> expected = {
        "Log Started - CLog Ver. 1.2 (Sep 2006)",
        "+++ CPU Information +++",
        "Number Of Processors = 2",
        "Processor Architecture = Intel Pentium Pro or Pentium II Model 15 Stepping 11",
        "CPU 0:x86 Family 6 Model 15 Stepping 11 Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz",
        "CPU 1:No Identifier No ProcessorNameString",
        "+++ CPU Information End +++",
        "+++ Operating System Information +++",
        "OS Version = Debian GNU/Linux 12 (bookworm) (Kernel 6.1.0-test)",
        "+++ Operating System Information End +++",
        "+++ File Volume Information +++",
        "Volume Label : ",
        "FileSystem : ext4",
        "Volume Serial Number : 1A2B-3C4D",
        "Windows Folder : " + m_root,
        "+++ File Volume Information End +++",
        "+++ Memory Information +++",
        "75 percent of memory is in use.",
        "There are 1048576 total Kbytes of physical memory.",
        "There are  262144 free Kbytes of physical memory.",
        "There are       0 total Kbytes of paging file.",
        "There are       0 free Kbytes of paging file.",
        "<virtual total>",
        "<virtual free>",
        "+++ Memory Information End +++",
        "+++ Computer Information +++",
        std::string("ComputerName = ") + host,
        std::string("UserName = ") + user,
        "+++ Computer Information End +++",
        "Log Ended",
    };
    auto messages = Messages(file);
    ASSERT_EQ(messages.size(), expected.size()) << file;
    // The address space depends on the machine; the free part is the total less VmSize (1 MiB).
    std::smatch total, free;
    ASSERT_TRUE(
        std::regex_match(messages[22], total,
                         std::regex("There are ([0-9]{7,}) total Kbytes of virtual memory\\.")));
    ASSERT_TRUE(std::regex_match(
        messages[23], free, std::regex("There are +([0-9]+) free Kbytes of virtual memory\\.")));
    EXPECT_EQ(std::stoull(free[1]) + 1024, std::stoull(total[1]));
    messages[22] = "<virtual total>";
    messages[23] = "<virtual free>";
    EXPECT_EQ(messages, expected);
}

TEST_P(LogModeTest, PercentSignsInMessagesStayLiteral) {
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 0, Flush(), 0, "P", "DVO", "");
    LOGOutput(h, 0, "%s", "50% done in %TEMP%\\%s%n%d");
    LOGOutput(h, 0, "100%% %s", "%%");
    LOGTerm(h);
    const auto messages = Messages(ReadAll(LogFile("P.txt")));
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[messages.size() - 3], "50% done in %TEMP%\\%s%n%d");
    EXPECT_EQ(messages[messages.size() - 2], "100% %%");
}

TEST_P(LogModeTest, DayChangeMovesToTheNewDaysFile) {
    SetFakeNow(2026, 12, 8, 2, 23, 59, 0, 500);
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 0, Flush(), 1, "DVO", "DVO", "");
    LOGOutput(h, 0, "before midnight");
    SetFakeNow(2026, 12, 9, 3, 0, 1, 0, 7);
    LOGOutput(h, 0, "after midnight");
    // One writer in queued mode (the old one has ended), none in direct mode.
    EXPECT_EQ(WriterCount(), Flush() ? 0 : 1);
    LOGOutput(h, 0, "still today");
    LOGTerm(h);
    EXPECT_EQ(WriterCount(), 0);

    const auto oldLines = SplitLines(ReadAll(LogFile("DVO_20261208.txt")));
    ASSERT_GE(oldLines.size(), 3u);
    EXPECT_EQ(oldLines[oldLines.size() - 2],
              "DVO Tue Dec 08 23:59:00.500 2026 :: before midnight \n");
    EXPECT_EQ(oldLines.back(), "DVO Wed Dec 09 00:01:00.007 2026 :: Log Change \n");

    // The new day's file lies directly in the log folder.
    EXPECT_FALSE(Exists(LogFile("DVO_20261209.txt")));
    const auto newLines = SplitLines(ReadAll(DayFile("DVO_20261209.txt")));
    const std::vector<std::string> expected = {
        "DVO Wed Dec 09 00:01:00.007 2026 :: Log Changed - CLog Ver. 1.1 (Oct 2004) \n",
        "DVO Wed Dec 09 00:01:00.007 2026 :: after midnight \n",
        "DVO Wed Dec 09 00:01:00.007 2026 :: still today \n",
        "DVO Wed Dec 09 00:01:00.007 2026 :: Log Ended \n",
    };
    EXPECT_EQ(newLines, expected);
}

TEST_P(LogModeTest, UnopenableFileTurnsFileOutputOffButNotDebugOutput) {
    // A file where the folder should be: no one, root included, can create the log beneath it.
    std::filesystem::create_directories(m_data);
    WriteText(m_data + "/Lumetra", "in the way");
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 1, Flush(), 0, "DVO", "DVO", "");
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(Log(h)->FileEnabled());
    EXPECT_EQ(WriterCount(), 0);
    LOGOutput(h, 0, "still reported");
    LOGTerm(h);
    const auto messages = Messages(DebugText());
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front(), "Log Started - CLog Ver. 1.2 (Sep 2006)");
    EXPECT_EQ(messages[messages.size() - 2], "still reported");
    EXPECT_EQ(messages.back(), "Log Ended");
}

TEST_P(LogModeTest, FullDiskLosesLinesButNeverHangs) {
    std::filesystem::create_directories(std::filesystem::path(LogFile("Full.txt")).parent_path());
    std::filesystem::create_symlink("/dev/full", LogFile("Full.txt"));
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 1, Flush(), 0, "Full", "DVO", "");
    ASSERT_NE(h, nullptr);
    for (int i = 0; i < 2000; ++i)
        LOGOutput(h, 0, "line %d that the disk cannot take", i);
    LOGDumpAll(h, "0123456789abcdef", 16);
    EXPECT_EQ(LOGTerm(h), 0);
    // The debugger output is untouched by the file's trouble.
    EXPECT_EQ(Messages(DebugText()).back(), "Log Ended");
}

INSTANTIATE_TEST_SUITE_P(Direct, LogModeTest, ::testing::Values(true));
INSTANTIATE_TEST_SUITE_P(Queued, LogModeTest, ::testing::Values(false));

TEST_F(LogFixture, LevelFilterIsSigned) {
    struct Case {
        int threshold;
        int level;
        bool written;
    };
    const Case cases[] = {{0, 1, false}, {0, 0, true},   {0, -1, true},  {2, 3, false},
                          {2, 2, true},  {-1, 0, false}, {-1, -1, true}, {-5, -6, true}};
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "Level" + std::to_string(n++);
        HLOG h = nullptr;
        LOGInit(&h, c.threshold, 1, 0, 1, 0, name.c_str(), "DVO", "");
        LOGOutput(h, c.level, "probe");
        LOGTerm(h);
        const auto messages = Messages(ReadAll(LogFile(name + ".txt")));
        ASSERT_GE(messages.size(), 3u);
        // Start line and report come whatever the threshold.
        EXPECT_EQ(messages[0], "Log Started - CLog Ver. 1.2 (Sep 2006)");
        EXPECT_EQ(messages[1], "+++ CPU Information +++");
        EXPECT_EQ(messages[messages.size() - 2] == "probe", c.written)
            << "threshold " << c.threshold << " level " << c.level;
    }
}

TEST_F(LogFixture, TagAndSuffixAreCutToNine) {
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 0, 1, 0, "Cut", "ABCDEFGHIJKL", "123456789XYZ");
    LOGOutput(h, 0, "x");
    LOGTerm(h);
    const auto lines = SplitLines(ReadAll(LogFile("Cut.txt")));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "ABCDEFGHI Tue Dec 08 21:35:36.042 2026 :: x 123456789\n");
}

TEST_F(LogFixture, LongMessagesAreCutToKeepLinesWithin1023) {
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 0, 0, 0, "Long", "DVO", "SUFFIX");
    const std::string longText(3000, 'x');
    LOGOutput(h, 0, "%s", longText.c_str());
    LOGTerm(h);
    const auto lines = SplitLines(ReadAll(LogFile("Long.txt")));
    ASSERT_GE(lines.size(), 2u);
    const std::string& line = lines[lines.size() - 2];
    EXPECT_EQ(line.size(), 1023u);
    EXPECT_EQ(line.substr(0, 36), "DVO Tue Dec 08 21:35:36.042 2026 :: ");
    EXPECT_EQ(line.substr(line.size() - 8), " SUFFIX\n");
    EXPECT_EQ(line.find_first_not_of('x', 36), line.size() - 8);
}

TEST_F(LogFixture, FileNameCarriesTheDateOnlyWithDailyFiles) {
    HLOG plain = nullptr;
    HLOG dated = nullptr;
    LOGInit(&plain, 0, 1, 0, 1, 0, "App", "DVO", "");
    LOGInitWithDir(&dated, 0, 1, 0, 1, 1, "App", "DVO", "", "Other/Sub");
    LOGTerm(plain);
    LOGTerm(dated);
    EXPECT_TRUE(Exists(LogFile("App.txt")));
    EXPECT_FALSE(Exists(LogFile("App_20261208.txt")));
    EXPECT_TRUE(
        Exists(m_data + "/Other/Sub/" + platform::ExecutableBaseName() + "/App_20261208.txt"));
}

TEST_F(LogFixture, BothOutputsOffWriteNothingButStillPrepare) {
    HLOG h = nullptr;
    LOGInit(&h, 5, 0, 0, 0, 1, "Off", "DVO", "");
    ASSERT_NE(h, nullptr);
    LOGOutput(h, 0, "nothing");
    LOGDump(h, "abc", 3);
    LOGTerm(h);
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(LogFile("x")).parent_path()));
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(LogFile("x")).parent_path()));
    EXPECT_FALSE(Exists(m_debugPath));
}

TEST_F(LogFixture, DumpLinesAreExact) {
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 1, 1, 0, "Dump", "DVO", "");
    const std::string before = ReadAll(LogFile("Dump.txt"));
    LOGDump(h, "ABC", 3);
    const std::string abc = ReadAll(LogFile("Dump.txt")).substr(before.size());
    EXPECT_EQ(abc, "DVO41 42 43 " + std::string(39, ' ') + " : ABC \n");

    unsigned char block[300];
    for (unsigned i = 0; i < sizeof block; ++i)
        block[i] = static_cast<unsigned char>(i);
    const std::size_t mark = ReadAll(LogFile("Dump.txt")).size();
    LOGDump(h, block, 300);
    auto lines = SplitLines(ReadAll(LogFile("Dump.txt")).substr(mark));
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[0],
              "DVO00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  : ................ \n");
    EXPECT_EQ(lines[7],
              "DVO70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F  : pqrstuvwxyz{|}~. \n");
    EXPECT_EQ(lines[8].substr(0, 3 + 48 + 3),
              "DVO80 81 82 83 84 85 86 87 88 89 8A 8B 8C 8D 8E 8F  : ");
    EXPECT_EQ(lines[8].substr(54, 16), std::string(reinterpret_cast<char*>(block + 128), 16));

    const std::size_t mark2 = ReadAll(LogFile("Dump.txt")).size();
    LOGDumpAll(h, block, 300);
    lines = SplitLines(ReadAll(LogFile("Dump.txt")).substr(mark2));
    ASSERT_EQ(lines.size(), 19u);
    char address[16];
    std::snprintf(
        address, sizeof address, "%08lX:",
        static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(block + 288) & 0xFFFFFFFFu));
    // Bytes 0x20..0x2B add up to 450, 0xC2 modulo 256; four missing bytes are padded.
    EXPECT_EQ(lines[18], std::string("DVO") + address + "20 21 22 23 24 25 26 27 28 29 2A 2B " +
                             std::string(12, ' ') + " : C2 :  !\"#$%&'()*+ \n");
    std::snprintf(
        address, sizeof address, "%08lX:",
        static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(block) & 0xFFFFFFFFu));
    EXPECT_EQ(lines[0],
              std::string("DVO") + address +
                  "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  : 78 : ................ \n");

    const std::size_t mark3 = ReadAll(LogFile("Dump.txt")).size();
    LOGDumpAll(h, block, 32);
    EXPECT_EQ(SplitLines(ReadAll(LogFile("Dump.txt")).substr(mark3)).size(), 2u);
    LOGDumpAll(h, block, 0);
    LOGDump(h, block, 0);
    EXPECT_EQ(SplitLines(ReadAll(LogFile("Dump.txt")).substr(mark3)).size(), 2u);
    LOGTerm(h);
    // The debugger output saw the same dump lines.
    EXPECT_EQ(DebugText(), ReadAll(LogFile("Dump.txt")));
}

TEST_F(LogFixture, DumpRestoresTheDailySwitch) {
    // Without daily files a dump must not switch the day check on.
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 0, 1, 0, "Plain", "DVO", "");
    LOGDump(h, "abc", 3);
    EXPECT_FALSE(Log(h)->DailyFiles());
    SetFakeNow(2026, 12, 9, 3, 0, 1, 0, 0);
    LOGOutput(h, 0, "next day");
    LOGTerm(h);
    const auto messages = Messages(ReadAll(LogFile("Plain.txt")));
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], "next day");
    EXPECT_FALSE(Exists(DayFile("Plain_20261209.txt")));

    // With daily files a dump on a new day changes the file first, and the check goes on after.
    SetFakeNow(2026, 12, 8, 2, 23, 0, 0, 0);
    LOGInit(&h, 0, 1, 0, 1, 1, "Daily", "DVO", "");
    SetFakeNow(2026, 12, 9, 3, 0, 1, 0, 0);
    LOGDump(h, "abc", 3);
    EXPECT_TRUE(Log(h)->DailyFiles());
    SetFakeNow(2026, 12, 10, 4, 0, 1, 0, 0);
    LOGOutput(h, 0, "third day");
    LOGTerm(h);
    const auto second = SplitLines(ReadAll(DayFile("Daily_20261209.txt")));
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[1], "DVO61 62 63 " + std::string(39, ' ') + " : abc \n");
    EXPECT_EQ(Messages(ReadAll(DayFile("Daily_20261210.txt")))[1], "third day");
}

TEST_F(LogFixture, NullHandleDoesNothing) {
    EXPECT_EQ(LOGOutput(nullptr, 0, "%s", "x"), 0);
    EXPECT_EQ(LOGDump(nullptr, "x", 1), 0);
    EXPECT_EQ(LOGDumpAll(nullptr, "x", 1), 0);
    EXPECT_EQ(LOGTerm(nullptr), 0);
    EXPECT_EQ(LOGInit(nullptr, 0, 1, 1, 1, 0, "N", "DVO", ""), 0);
    EXPECT_FALSE(Exists(m_debugPath));
}

TEST_F(LogFixture, QueuedBurstThenTermKeepsEveryLineInOrder) {
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 0, 0, 0, "Burst", "DVO", "");
    constexpr int kLines = 50000;
    for (int i = 0; i < kLines; ++i)
        LOGOutput(h, 0, "line %d", i);
    LOGTerm(h);
    const auto messages = Messages(ReadAll(LogFile("Burst.txt")));
    ASSERT_EQ(messages.size(), 29u + kLines + 1u);
    for (int i = 0; i < kLines; ++i)
        ASSERT_EQ(messages[29 + static_cast<std::size_t>(i)], "line " + std::to_string(i));
    EXPECT_EQ(messages.back(), "Log Ended");
}

TEST_F(LogFixture, QueuedLogsRunSideBySide) {
    // Several logs, each with its own writer, written from several threads.
    constexpr int kLogs = 4;
    constexpr int kLines = 2000;
    std::vector<std::thread> callers;
    for (int n = 0; n < kLogs; ++n) {
        callers.emplace_back([n] {
            HLOG h = nullptr;
            const std::string name = "Side" + std::to_string(n);
            LOGInit(&h, 0, 1, 0, 0, 0, name.c_str(), "DVO", "");
            for (int i = 0; i < kLines; ++i)
                LOGOutput(h, 0, "%d:%d", n, i);
            LOGTerm(h);
        });
    }
    for (auto& t : callers)
        t.join();
    for (int n = 0; n < kLogs; ++n) {
        const auto messages = Messages(ReadAll(LogFile("Side" + std::to_string(n) + ".txt")));
        ASSERT_EQ(messages.size(), 29u + kLines + 1u);
        EXPECT_EQ(messages[29], std::to_string(n) + ":0");
        EXPECT_EQ(messages[29 + kLines - 1], std::to_string(n) + ":" + std::to_string(kLines - 1));
    }
}

} // namespace
} // namespace tamsin_test
