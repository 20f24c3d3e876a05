// The direct writers, their files read back byte for byte in a temporary current folder.
#include "DebugFixture.h"

#include <cerrno>
#include <thread>

#include "DLLs/debug/DebugFiles.h"

namespace debug_test {
namespace {

using DirectWriters = DebugFixture;

const std::string kHeader = "##### Tue Dec 08 21:48:15:042 #####";

TEST_F(DirectWriters, ErrorWithoutInitAppendsOneClassifiedLineToErrorTxt) {
    EXPECT_EQ(Error(-6, "x=%d", 5), 0);
    EXPECT_EQ(ReadAll("Error.txt"), kHeader + "   Memory Error:          x=5\r\n");
    EXPECT_EQ(Error(-10, "%d%% done", 50), 0);
    EXPECT_EQ(ReadAll("Error.txt"), kHeader + "   Memory Error:          x=5\r\n" + kHeader +
                                        "   Logical Error:         50% done\r\n");
}

TEST_F(DirectWriters, LabelsOfErrorAndError2ByCode) {
    struct Case {
        int code;
        const char* errorLabel;  // 23 characters
        const char* error2Label; // the same with four spaces in front; -14 is undefined there
    };
    const Case cases[] = {
        {-6, "Memory Error:          ", "    Memory Error:          "},
        {-7, "No File or Denied:     ", "    No File or Denied:     "},
        {-8, "Previledge Violataion: ", "    Previledge Violataion: "},
        {-9, "File Busy:             ", "    File Busy:             "},
        {-10, "Logical Error:         ", "    Logical Error:         "},
        {-11, "No Data:               ", "    No Data:               "},
        {-12, "Initialize:            ", "    Initialize:            "},
        {-13, "Thread:                ", "    Thread:                "},
        {-14, "Out of Bounds:         ", "    Undefined Error:       "},
        {-15, "Undefined Error:       ", "    Undefined Error:       "},
        {0, "Undefined Error:       ", "    Undefined Error:       "},
        {3, "Undefined Error:       ", "    Undefined Error:       "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        ASSERT_EQ(std::string(c.errorLabel).size(), 23u);
        std::filesystem::remove("Error.txt");
        EXPECT_EQ(Error(c.code, "v=%d", 7), 0);
        EXPECT_EQ(Error2(c.code, "%d,%d", 1, -2), 0);
        EXPECT_EQ(ReadAll("Error.txt"), kHeader + "   " + c.errorLabel + "v=7\r\n" + kHeader +
                                            "   " + c.error2Label + "1,-2\r\n");
    }
}

TEST_F(DirectWriters, FileErrorLabelsNameTheReasonOfErrnoAsTheCallFoundIt) {
    struct Case {
        int code;
        int error;
        const char* label;
    };
    const Case cases[] = {
        {-1, ENOENT, "File Open Error: No such file or directory "},
        {-2, EIO, "File Read Error: Input/output error "},
        {-3, ENOSPC, "File Write Error:No space left on device "},
        {-4, ESPIPE, "File Seek Error: Illegal seek "},
        {-5, EBADF, "File Close Error:Bad file descriptor "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::filesystem::remove("Error.txt");
        errno = c.error;
        EXPECT_EQ(Error(c.code, "name=%d", 1), 0);
        errno = c.error;
        EXPECT_EQ(Error2(c.code, "", 0, 0), 0);
        EXPECT_EQ(ReadAll("Error.txt"),
                  kHeader + "   " + c.label + "name=1\r\n" + kHeader + "   " + c.label + "\r\n");
    }
}

TEST_F(DirectWriters, InitCallsKeepTheNameUnlessItIsEmptyOrTooLong) {
    const std::string longest(255, 'n');
    for (auto init : {&ErrInit, &DebugInit, &LogInit, &CDRInit}) {
        EXPECT_EQ(init("e.log"), 6);
        EXPECT_EQ(init(""), 0);
        EXPECT_EQ(init(nullptr), 0);
        EXPECT_EQ(init((longest + "x").c_str()), 0);
        EXPECT_EQ(init(longest.c_str()), 256);
        EXPECT_EQ(init("e.log"), 6);
    }
    // The refused names left "e.log" in place (no day stamp for the error file).
    EXPECT_EQ(Error(-9, "busy", 0), 0);
    EXPECT_EQ(ReadAll("e.log"), kHeader + "   File Busy:             busy\r\n");
    EXPECT_FALSE(Exists("Error.txt"));
}

TEST_F(DirectWriters, ResultOfAWrite) {
    // A file that cannot be opened: 0 and nothing written anywhere.
    ASSERT_GT(ErrInit("missing/Error.txt"), 0);
    ASSERT_GT(LogInit("missing/Log.txt"), 0);
    ASSERT_GT(CDRInit("missing/CDR.txt"), 0);
    EXPECT_EQ(Error(-6, "x", 0), 0);
    EXPECT_EQ(Error2(-6, "x", 0, 0), 0);
    EXPECT_EQ(Log("x", 0, 0), 0);
    EXPECT_EQ(Dump("x", 1), 0);
    EXPECT_EQ(CDR("x", 1), 0);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));

    // A file that opens but takes nothing: the text did not arrive, which is -1 like a failed
    // close, not success.
    ASSERT_GT(ErrInit("/dev/full"), 0);
    ASSERT_GT(LogInit("/dev/full"), 0);
    EXPECT_EQ(Error(-6, "x", 0), -1);
    EXPECT_EQ(Log("x", 0, 1), -1);
    EXPECT_EQ(Dump("x", 1), -1);
}

TEST_F(DirectWriters, LogHeaderModes) {
    EXPECT_EQ(Log("a=%d", 1, 1), 0);
    EXPECT_EQ(Log("b=%d", 2, 0), 0);
    EXPECT_EQ(Log("c=%d", 3, 2), 0);
    EXPECT_EQ(Log("d=%d", 4, 7), 0);
    EXPECT_EQ(ReadAll("LogDec08.txt"),
              "a=1\r\n" + kHeader + "\r\nb=2\r\n" + kHeader + "   c=3\r\nd=4\r\n");
    EXPECT_FALSE(Exists("Log.txt"));
}

TEST_F(DirectWriters, DayStampedNames) {
    struct Case {
        const char* base;
        int month, day;
        const char* name;
    };
    const Case cases[] = {
        {"Log.txt", 12, 8, "LogDec08.txt"},
        {"Log.txt", 1, 1, "LogJan01.txt"},
        {"trace", 12, 8, "trace"},                // no dot: unchanged
        {"logs.d/trace", 12, 8, "logsDec08.txt"}, // the folder's dot is the last one
        {"/var/log.d/a.b.csv", 6, 30, "/var/log.d/a.bJun30.txt"},
        {".hidden", 5, 9, "May09.txt"},
    };
    for (const Case& c : cases) {
        platform::LocalTime date;
        date.month = c.month;
        date.day = c.day;
        EXPECT_EQ(dbg::DayStampedName(c.base, date), std::optional<std::string>(c.name)) << c.base;
    }
    // 246 bytes before the dot give 255 bytes with the stamp; one more would not fit.
    platform::LocalTime date;
    EXPECT_EQ(dbg::DayStampedName(std::string(246, 'a') + ".txt", date)->size(), 255u);
    EXPECT_EQ(dbg::DayStampedName(std::string(247, 'a') + ".txt", date), std::nullopt);
}

TEST_F(DirectWriters, LogAndDumpFollowTheBaseNameThroughFoldersAndWithoutDot) {
    std::filesystem::create_directory("logs.d");
    ASSERT_EQ(LogInit("logs.d/trace"), 13);
    EXPECT_EQ(Log("in %d", 1, 1), 0);
    EXPECT_EQ(ReadAll("logsDec08.txt"), "in 1\r\n");

    ASSERT_EQ(LogInit("trace"), 6);
    EXPECT_EQ(Log("plain %d", 2, 1), 0);
    EXPECT_EQ(Dump("Z", 1), 0);
    EXPECT_EQ(ReadAll("trace"),
              "plain 2\r\n5A" + std::string(46, ' ') + "Z" + std::string(15, ' ') + "\r\n");

    // A derived name that would not fit is refused, not cut into some other file's name.
    ASSERT_GT(LogInit((std::string(247, 'a') + ".txt").c_str()), 0);
    EXPECT_EQ(Log("lost", 0, 1), 0);
    EXPECT_EQ(Dump("lost", 4), 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 3);
}

TEST_F(DirectWriters, DumpWritesLiteralLinesOf64Characters) {
    const unsigned char bytes[17] = {0x41, 0x25, 0x00, 0x7F, 0x80, 0xFF, 0x20, 0x7E, '0',
                                     '1',  's',  '%',  'n',  '6',  '7',  0x9F, 0x5A};
    EXPECT_EQ(Dump(bytes, 17), 0);
    const std::string line1 = "41 25 00 7F 80 FF 20 7E 30 31 73 25 6E 36 37 9F "
                              "A%     ~01s%n67 \r\n";
    const std::string line2 = "5A" + std::string(46, ' ') + "Z" + std::string(15, ' ') + "\r\n";
    ASSERT_EQ(line1.size(), 66u);
    EXPECT_EQ(ReadAll("LogDec08.txt"), line1 + line2);

    // Nothing to dump: the file is opened and closed, nothing added.
    std::filesystem::remove("LogDec08.txt");
    EXPECT_EQ(Dump(bytes, 0), 0);
    EXPECT_EQ(Dump(bytes, -5), 0);
    EXPECT_EQ(Dump(nullptr, 4), 0);
    EXPECT_TRUE(Exists("LogDec08.txt"));
    EXPECT_EQ(ReadAll("LogDec08.txt"), "");
}

TEST_F(DirectWriters, CdrWritesRecordsUnchanged) {
    const char record[] = {'a', '\0', '%', 's', '\r', 'b'};
    EXPECT_EQ(CDR(record, 6), 0);
    EXPECT_EQ(CDR(record, 0), 0);
    const std::string longest(254, 'r');
    EXPECT_EQ(CDR(longest.data(), 254), 0);
    EXPECT_EQ(ReadAll("CDRDec08.txt"), std::string(record, 6) + "\r\n\r\n" + longest + "\r\n");

    // Longer records, negative counts and missing data are refused: 0 and nothing written.
    const std::string tooLong(255, 'r');
    EXPECT_EQ(CDR(tooLong.data(), 255), 0);
    EXPECT_EQ(CDR(record, -1), 0);
    EXPECT_EQ(CDR(nullptr, 3), 0);
    EXPECT_EQ(ReadAll("CDRDec08.txt").size(), 6u + 2 + 2 + 254 + 2);
    EXPECT_FALSE(Exists("Error.txt"));
}

TEST_F(DirectWriters, CdrIntoAFullDiskWritesTheErrorLine) {
    ASSERT_GT(CDRInit("/dev/full"), 0);
    errno = 0;
    EXPECT_EQ(CDR("rec", 3), -1);
    EXPECT_EQ(ReadAll("Error.txt"),
              kHeader + "   File Write Error:No space left on device CDR write failed!\r\n");
}

TEST_F(DirectWriters, DebugIsOffVersionAndRoutine) {
    EXPECT_EQ(VerDebug(), 20041219);
    EXPECT_EQ(DebugInit("dbg.txt"), 8);
    EXPECT_EQ(Debug("x=%d", 1), 0);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));

    char* area = Routine("Parse");
    ASSERT_NE(area, nullptr);
    EXPECT_STREQ(area, "Parse");
    EXPECT_EQ(Routine(nullptr), area);
    EXPECT_STREQ(area, "Parse");
    const std::string longName(400, 'r');
    EXPECT_EQ(Routine(longName.c_str()), area);
    EXPECT_EQ(std::string(area), longName.substr(0, 255)); // always terminated
}

// Log and Dump share one file under two locks: lines of one call are never torn apart.
TEST_F(DirectWriters, DebugThreadsKeepEachLineWhole) {
    constexpr int kThreads = 4;
    constexpr int kCalls = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const unsigned char bytes[16] = {'d', 'u', 'm', 'p', 'd', 'u', 'm', 'p',
                                             'd', 'u', 'm', 'p', 'd', 'u', 'm', 'p'};
            for (int i = 0; i < kCalls; ++i) {
                if (t % 2 == 0)
                    Log("line %d", i, 2);
                else
                    Dump(bytes, 16);
                Error(-9, "e %d", i);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    const std::vector<std::string> lines = CrLfLines(ReadAll("LogDec08.txt"));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kCalls));
    int logLines = 0;
    for (const std::string& line : lines) {
        if (line.rfind(kHeader + "   line ", 0) == 0)
            ++logLines;
        else
            EXPECT_EQ(line, "64 75 6D 70 64 75 6D 70 64 75 6D 70 64 75 6D 70 dumpdumpdumpdump");
    }
    EXPECT_EQ(logLines, kThreads / 2 * kCalls);
    EXPECT_EQ(CrLfLines(ReadAll("Error.txt")).size(), static_cast<std::size_t>(kThreads * kCalls));
}

} // namespace
} // namespace debug_test
