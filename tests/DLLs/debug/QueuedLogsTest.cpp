// The queued logs: entries, kinds and dumps as their files show them after a supervisor cycle.
// The fixture holds the supervisor; each test runs the cycles itself, with a fake clock.
#include "DebugFixture.h"

#include <chrono>
#include <map>
#include <thread>

namespace debug_test {
namespace {

using QueuedLogs = DebugFixture;

std::string DumpLine(const std::string& hex, const std::string& characters) {
    std::string line = " " + hex;
    line.resize(49, ' ');
    line += characters;
    line.resize(66, ' ');
    return line + "\r\n";
}

TEST_F(QueuedLogs, NinthInitAndEmptyNamesGetNoHandle) {
    // An empty name gets no handle but starts the supervisor (ctest runs each test in a fresh
    // process, where nothing has started it yet).
    const bool startedBefore = dbg::SupervisorStarted();
    EXPECT_EQ(ExtLogInit(""), 0);
    EXPECT_TRUE(dbg::SupervisorStarted());
    if (!startedBefore) {
        EXPECT_EQ(ExtLogInit("log0.txt"), 1) << "the empty name used up a number";
    }
    dbg::ResetQueuedLogs();

    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(ExtLogInit(("log" + std::to_string(n) + ".txt").c_str()), n);
    EXPECT_EQ(ExtLogInit("ninth.txt"), 0);
    EXPECT_EQ(ExtLogInit(""), 0);
    dbg::ResetQueuedLogs();
    EXPECT_EQ(ExtLogInit(""), 0);
    EXPECT_EQ(ExtLogInit(nullptr), 0);
    EXPECT_EQ(ExtLogInit(std::string(256, 'n').c_str()), 0);
    EXPECT_EQ(ExtLogInit((std::string(247, 'n') + ".txt").c_str()), 0); // stamped: 256 bytes
    EXPECT_EQ(ExtLogInit("first.txt"), 1); // refused names used up no number
}

TEST_F(QueuedLogs, UnknownHandlesAreIgnoredAndLongTextsCut) {
    const int log = ExtLogInit("q.txt");
    ASSERT_EQ(log, 1);
    for (int handle : {0, -1, 2, 9}) {
        ExtLog(handle, "x", 0, 1);
        ExtDump(handle, "x", 1);
    }
    ExtDump(log, "x", 0);
    ExtDump(log, nullptr, 5);
    EXPECT_EQ(dbg::QueuedCount(log), 0);

    ExtLog(log, std::string(300, 'x').c_str(), 0, 1);
    ExtLog(log, nullptr, 0, 1);
    EXPECT_EQ(dbg::QueuedCount(log), 2);
    dbg::RunSupervisorCycle();
    EXPECT_EQ(dbg::QueuedCount(log), 0);
    EXPECT_EQ(ReadAll("qDec08.txt"), std::string(255, 'x') + "\r\n\r\n");
}

TEST_F(QueuedLogs, KindsZeroOneTwoAndFourInOneFile) {
    const int log = ExtLogInit("ext.log");
    ExtLog(log, "n=%d", 3, 0);
    ExtLog(log, "one %d", 1, 1);
    ExtLog(log, "two %d%%", 2, 2);
    SetLocalNow(2026, 12, 8, 21, 48, 16, 500);
    ExtLog(log, "four %d", 4, 4);
    ExtLog(log, "other %x", 255, 7);
    SetLocalNow(2026, 12, 8, 21, 48, 17, 0); // kind 4 shows the moment of writing
    dbg::RunSupervisorCycle();
    EXPECT_EQ(ReadAll("extDec08.txt"), "##### Tue Dec 08 21:48:15 #####\r\n"
                                       "n=3\r\n"
                                       "one 1\r\n"
                                       "##### Tue Dec 08 21:48:15:042 #####   two 2%\r\n"
                                       "12/08/2026,21:48:17,four 4\r\n"
                                       "other ff\r\n");
    // The file is appended to, cycle after cycle.
    ExtLog(log, "again", 0, 1);
    dbg::RunSupervisorCycle();
    EXPECT_EQ(CrLfLines(ReadAll("extDec08.txt")).back(), "again");
}

TEST_F(QueuedLogs, DumpOf600BytesIsThreeBlocksOf16And16And6Lines) {
    const int log = ExtLogInit("dump.txt");
    std::string data;
    for (int i = 0; i < 600; ++i)
        data += static_cast<char>('0' + i % 10);
    // A Shift-JIS pair cut by the block boundary is not shown as a pair.
    data[255] = '\x82';
    data[256] = '\xA0';
    ExtDump(log, data.data(), 600);
    EXPECT_EQ(dbg::QueuedCount(log), 3);
    dbg::RunSupervisorCycle();
    const std::string text = ReadAll("dumpDec08.txt");
    ASSERT_EQ(text.size(), 38u * 68);
    auto line = [&](int n) { return text.substr(static_cast<std::size_t>(n) * 68, 68); };
    EXPECT_EQ(line(0),
              DumpLine("30 31 32 33 34 35 36 37 38 39 30 31 32 33 34 35 ", "0123456789012345"));
    EXPECT_EQ(line(15),
              DumpLine("30 31 32 33 34 35 36 37 38 39 30 31 32 33 34 82 ", "012345678901234 "));
    EXPECT_EQ(line(16),
              DumpLine("A0 37 38 39 30 31 32 33 34 35 36 37 38 39 30 31 ", " 789012345678901"));
    EXPECT_EQ(line(37), DumpLine("32 33 34 35 36 37 38 39 ", "23456789"));

    // A kind-3 ExtLog dumps the first value bytes of its text, at most 256; 0 writes nothing.
    std::filesystem::remove("dumpDec08.txt");
    ExtLog(log, "AB", 5, 3);
    ExtLog(log, "CD", 0, 3);
    ExtLog(log, "EF", 300, 3);
    dbg::RunSupervisorCycle();
    const std::string logged = ReadAll("dumpDec08.txt");
    ASSERT_EQ(logged.size(), 17u * 68);
    EXPECT_EQ(logged.substr(0, 68), DumpLine("41 42 00 00 00 ", "AB"));
    EXPECT_EQ(logged.substr(68, 68),
              DumpLine("45 46 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ", "EF"));
}

TEST_F(QueuedLogs, ShiftJisPairsShowWholeEvenFromColumn15) {
    const int log = ExtLogInit("sjis.txt");
    const std::string data = "ab\x88\x9F"
                             "ccccccccccc\x82"
                             "\xA0"
                             "b\x81";
    ASSERT_EQ(data.size(), 19u);
    ExtDump(log, data.data(), static_cast<int>(data.size()));
    dbg::RunSupervisorCycle();
    // The pair from column 15 takes position 64; the next line's column 0 stays a space. A lead
    // byte at the block's end never starts a pair.
    const std::string line1 = " 61 62 88 9F 63 63 63 63 63 63 63 63 63 63 63 82 ab\x88\x9F"
                              "ccccccccccc\x82\xA0\r\n";
    EXPECT_EQ(line1.size(), 68u);
    EXPECT_EQ(ReadAll("sjisDec08.txt"), line1 + DumpLine("A0 62 81 ", " b"));
}

TEST_F(QueuedLogs, EntriesQueuedBeforeMidnightGoToTheFileOfTheDayTheyAreWritten) {
    const int log = ExtLogInit("night.txt");
    SetLocalNow(2026, 12, 8, 23, 59, 59, 900);
    ExtLog(log, "late %d", 1, 0);
    ExtLog(log, "later %d", 2, 2);
    SetLocalNow(2026, 12, 9, 0, 0, 0, 200);
    dbg::RunSupervisorCycle();
    EXPECT_FALSE(Exists("nightDec08.txt"));
    EXPECT_EQ(ReadAll("nightDec09.txt"), "##### Tue Dec 08 23:59:59 #####\r\n"
                                         "late 1\r\n"
                                         "##### Tue Dec 08 23:59:59:900 #####   later 2\r\n");
}

TEST_F(QueuedLogs, TheWriterOfEntry1281WaitsUntilTheFileCanBeWritten) {
    const int log = ExtLogInit("later/q.txt"); // the folder does not exist yet
    for (int i = 0; i < dbg::kQueueEntries; ++i)
        ExtLog(log, "%d", i, 1);
    std::atomic<bool> queued{false};
    std::thread writer([&] {
        ExtLog(log, "%d", dbg::kQueueEntries, 1);
        queued = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(queued);
    dbg::RunSupervisorCycle(); // cannot open the file: everything stays queued
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(queued);
    EXPECT_EQ(dbg::QueuedCount(log), dbg::kQueueEntries);

    std::filesystem::create_directory("later");
    dbg::RunSupervisorCycle();
    writer.join();
    EXPECT_TRUE(queued);
    EXPECT_EQ(dbg::QueuedCount(log), 1);
    dbg::RunSupervisorCycle();
    const std::vector<std::string> lines = CrLfLines(ReadAll("later/qDec08.txt"));
    ASSERT_EQ(lines.size(), 1281u);
    for (int i = 0; i <= dbg::kQueueEntries; ++i)
        ASSERT_EQ(lines[static_cast<std::size_t>(i)], std::to_string(i));
}

// Writers on two logs, four threads each, while cycles run beside them: every entry arrives,
// each thread's entries in the order it queued them.
TEST_F(QueuedLogs, ManyThreadsLoseAndReorderNothing) {
    constexpr int kThreads = 8;
    constexpr int kEntries = 2000;
    const int logs[2] = {ExtLogInit("a.txt"), ExtLogInit("b.txt")};
    dbg::HoldSupervisor(false); // the real supervisor takes part too
    std::atomic<bool> writing{true};
    std::thread drainer([&] {
        while (writing) {
            dbg::RunSupervisorCycle();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            const std::string format = "t" + std::to_string(t) + " %d";
            for (int i = 0; i < kEntries; ++i) {
                if (i % 100 == 99)
                    ExtDump(logs[t % 2], format.data(), 2); // "t<digit>" as one dump line
                else
                    ExtLog(logs[t % 2], format.c_str(), i, 1);
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    writing = false;
    drainer.join();
    dbg::HoldSupervisor(true);
    dbg::RunSupervisorCycle();

    for (int l = 0; l < 2; ++l) {
        const std::vector<std::string> lines =
            CrLfLines(ReadAll(l == 0 ? "aDec08.txt" : "bDec08.txt"));
        EXPECT_EQ(lines.size(), static_cast<std::size_t>(kThreads / 2 * kEntries));
        std::map<int, int> next; // thread -> next expected entry
        for (const std::string& line : lines) {
            if (line[0] == ' ') {             // a dump line stands for the entry 100 after the last
                const int t = line[50] - '0'; // the character column holds "t<digit>"
                ASSERT_EQ(next[t] % 100, 99) << line;
                ++next[t];
                continue;
            }
            const int t = line[1] - '0';
            ASSERT_EQ(t % 2, l) << line;
            ASSERT_EQ(line, "t" + std::to_string(t) + " " + std::to_string(next[t])) << line;
            ++next[t];
        }
        for (const auto& [t, n] : next)
            EXPECT_EQ(n, kEntries) << "thread " << t;
    }
}

} // namespace
} // namespace debug_test
