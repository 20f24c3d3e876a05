// Paths, files and folders through the exports, on real files in a scratch folder, with the
// traces read back from the debugger output.
#include "DLLs/Vantor/Vantor.h"
#include "tests/DLLs/Vantor/VantorFixture.h"

#include <cerrno>
#include <cstring>
#include <regex>
#include <sys/stat.h>

namespace {

using namespace vantor_test;
using testing_support::Lstat;
using testing_support::SetMtime;

// A time-stamped trace line: tag, ctime form with milliseconds and year, then the message.
::testing::AssertionResult IsTraceLine(const std::string& line, const std::string& message) {
    static const std::regex head(R"(CMNFNC (Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [0-3]\d )"
                                 R"([0-2]\d:[0-5]\d:[0-6]\d\.\d{3} \d{4} :: (.*))");
    std::smatch m;
    if (!std::regex_match(line, m, head))
        return ::testing::AssertionFailure() << "not a trace line: " << line;
    if (m[2] != message)
        return ::testing::AssertionFailure() << "message " << m[2] << ", expected " << message;
    return ::testing::AssertionSuccess();
}

class Files : public VantorTest {};

TEST_F(Files, DeleteFileResultsAndTraces) {
    EXPECT_EQ(SRDeleteFile(nullptr, nullptr), -1);
    auto lines = DebugLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(IsTraceLine(lines[0], "SRDeleteFile Called -->"));
    EXPECT_TRUE(IsTraceLine(lines[1], "SRDeleteFile Return <-- NULL POINTER ASSIGNED"));

    WriteFile(tmp / "a.txt", "a");
    WriteFile(tmp / "b.txt", "b");
    Folder("folder");
    EXPECT_EQ(SRDeleteFile("a.txt", tmp.path().c_str()), 0);
    EXPECT_FALSE(Exists(tmp / "a.txt"));
    EXPECT_EQ(SRDeleteFile("a.txt", tmp.path().c_str()), -2); // gone already
    EXPECT_EQ(SRDeleteFile((tmp / "b.txt").c_str(), nullptr), 0);
    EXPECT_EQ(SRDeleteFile("folder", tmp.path().c_str()), -2); // a folder is no file
    EXPECT_TRUE(Exists(tmp / "folder"));
    lines = DebugLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_TRUE(IsTraceLine(lines[8], "SRDeleteFile Called -->"));
    EXPECT_TRUE(IsTraceLine(lines[9], "SRDeleteFile Return <-- Result:"));
}

TEST_F(Files, DeleteFilesTakesTheWholeFamilyButNoFolder) {
    for (const char* name : {"report.csv", "report.bak", "report", "report.tar.gz"})
        WriteFile(tmp / name, "x");
    Folder("report.d");
    for (const char* name : {"reportx.csv", "other.csv", "Report.csv", ".report"})
        WriteFile(tmp / name, "keep");
    EXPECT_EQ(SRDeleteFiles("report.csv", tmp.path().c_str()), -2);
    for (const char* name : {"report.csv", "report.bak", "report", "report.tar.gz"})
        EXPECT_FALSE(Exists(tmp / name)) << name;
    for (const char* name : {"report.d", "reportx.csv", "other.csv", "Report.csv", ".report"})
        EXPECT_TRUE(Exists(tmp / name)) << name;
    const auto lines = DebugLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(IsTraceLine(lines[0], "SRDeleteFiles Called -->"));
    EXPECT_TRUE(IsTraceLine(lines[1], "SRDeleteFiles Return <-- Result:"));

    EXPECT_EQ(SRDeleteFiles("nothing.txt", tmp.path().c_str()), 0);
    EXPECT_EQ(SRDeleteFiles("report.csv", (tmp / "missing").c_str()), 0);
}

TEST_F(Files, DeleteFilesTakesNamesLiterallyAndNeverWidens) {
    for (const char* name : {"a[1].txt", "a1.txt", "ab.txt", "x\\y.txt", "xy.txt", ".hidden",
                             ".profile", "sub/x.txt", "x.txt"}) {
        if (std::strchr(name, '/') != nullptr)
            Folder("sub");
        WriteFile(tmp / name, "x");
    }
    EXPECT_EQ(SRDeleteFiles("a[1].csv", tmp.path().c_str()), 0);
    EXPECT_EQ(SRDeleteFiles("x\\y", tmp.path().c_str()), 0);
    EXPECT_FALSE(Exists(tmp / "a[1].txt"));
    EXPECT_FALSE(Exists(tmp / "x\\y.txt"));
    EXPECT_TRUE(Exists(tmp / "a1.txt"));
    EXPECT_TRUE(Exists(tmp / "ab.txt"));
    EXPECT_TRUE(Exists(tmp / "xy.txt"));

    // A name with a folder of its own deletes in that folder, not beside it.
    EXPECT_EQ(SRDeleteFiles("sub/x.csv", tmp.path().c_str()), 0);
    EXPECT_FALSE(Exists(tmp / "sub/x.txt"));
    EXPECT_TRUE(Exists(tmp / "x.txt"));

    // Names without a base of their own would make a pattern of every hidden file.
    for (const char* name : {"", "/", ".", "..", "sub/"})
        EXPECT_EQ(SRDeleteFiles(name, tmp.path().c_str()), -1) << name;
    EXPECT_EQ(SRDeleteFiles(nullptr, tmp.path().c_str()), -1);
    EXPECT_TRUE(Exists(tmp / ".hidden"));
    // A dot-file is a base name of its own.
    EXPECT_EQ(SRDeleteFiles(".profile", tmp.path().c_str()), 0);
    EXPECT_FALSE(Exists(tmp / ".profile"));
    EXPECT_TRUE(Exists(tmp / ".hidden"));
}

// '*' and '?' are bytes of a real name too: only the extension the call adds is a wildcard.
TEST_F(Files, FamiliesOfNamesWithWildcardBytes) {
    for (const char* name : {"a?.txt", "a?.csv", "ab.txt", "ac.csv", "*.txt", "*", "x.txt", "y"})
        WriteFile(tmp / name, name);
    EXPECT_EQ(SRDeleteFiles("a?.txt", tmp.path().c_str()), 0);
    EXPECT_EQ(SRDeleteFiles("*.csv", tmp.path().c_str()), 0);
    for (const char* gone : {"a?.txt", "a?.csv", "*.txt", "*"})
        EXPECT_FALSE(Exists(tmp / gone)) << gone;
    for (const char* kept : {"ab.txt", "ac.csv", "x.txt", "y"})
        EXPECT_TRUE(Exists(tmp / kept)) << kept;

    WriteFile(tmp / "b?.txt", "the one");
    WriteFile(tmp / "b*.txt", "star");
    WriteFile(tmp / "bc.txt", "another");
    EXPECT_EQ(SRCopyFiles("new", tmp.path().c_str(), "b?.txt"), 0);
    EXPECT_EQ(ReadFile(tmp / "new.txt"), "the one");
    EXPECT_EQ(SRCopyFiles("star", tmp.path().c_str(), "b*"), 0);
    EXPECT_EQ(ReadFile(tmp / "star.txt"), "star");
}

TEST_F(Files, CopyFileNeverReplacesAndKeepsModeAndTime) {
    WriteFile(tmp / "source.txt", "new", 0640);
    SetMtime(tmp / "source.txt", 1000000000);
    WriteFile(tmp / "taken.txt", "old");
    EXPECT_EQ(SRCopyFile("taken.txt", tmp.path().c_str(), (tmp / "source.txt").c_str()),
              VANTOR_COPY_FAILED);
    EXPECT_EQ(VANTOR_COPY_FAILED, static_cast<int>(0x80000008u));
    EXPECT_EQ(ReadFile(tmp / "taken.txt"), "old");

    EXPECT_EQ(SRCopyFile("copy.txt", tmp.path().c_str(), (tmp / "source.txt").c_str()), 0);
    EXPECT_EQ(ReadFile(tmp / "copy.txt"), "new");
    EXPECT_EQ(Lstat(tmp / "copy.txt").st_mode & 07777, 0640u);
    EXPECT_EQ(Lstat(tmp / "copy.txt").st_mtime, 1000000000);

    // Through a link the linked file is copied; a folder or a missing source is no file.
    ::symlink((tmp / "source.txt").c_str(), (tmp / "link").c_str());
    EXPECT_EQ(SRCopyFile("via-link.txt", tmp.path().c_str(), (tmp / "link").c_str()), 0);
    EXPECT_EQ(ReadFile(tmp / "via-link.txt"), "new");
    EXPECT_FALSE(S_ISLNK(Lstat(tmp / "via-link.txt").st_mode));
    Folder("folder");
    EXPECT_EQ(SRCopyFile("f", tmp.path().c_str(), (tmp / "folder").c_str()), VANTOR_COPY_FAILED);
    EXPECT_EQ(SRCopyFile("m", tmp.path().c_str(), (tmp / "missing").c_str()), VANTOR_COPY_FAILED);
    EXPECT_EQ(SRCopyFile("x", (tmp / "no-folder").c_str(), (tmp / "source.txt").c_str()),
              VANTOR_COPY_FAILED);
    EXPECT_FALSE(Exists(tmp / "f"));
    EXPECT_FALSE(Exists(tmp / "m"));
    // A target beyond the path buffer.
    EXPECT_EQ(
        SRCopyFile(std::string(300, 'n').c_str(), tmp.path().c_str(), (tmp / "source.txt").c_str()),
        VANTOR_COPY_FAILED);
}

TEST_F(Files, CopyFilesCopiesTheFamilyUnderTheNewBaseAndStopsAtTheFirstFailure) {
    const std::string dir = tmp / "d";
    Folder("d");
    WriteFile(dir + "/old.txt", "t");
    WriteFile(dir + "/old.csv", "c");
    WriteFile(dir + "/old", "plain");
    WriteFile(dir + "/older.txt", "not family");
    EXPECT_EQ(SRCopyFiles("new", dir.c_str(), "old.txt"), 0);
    EXPECT_EQ(ReadFile(dir + "/new.txt"), "t");
    EXPECT_EQ(ReadFile(dir + "/new.csv"), "c");
    EXPECT_EQ(ReadFile(dir + "/new"), "plain");
    EXPECT_FALSE(Exists(dir + "/newer.txt"));
    EXPECT_EQ(DebugOutput(), "SRCopyFiles Called -->SRCopyFiles Return <-- Result:");

    // In byte order: "old" copies, "old.csv" meets an existing target and the rest is not tried.
    WriteFile(dir + "/again.csv", "taken");
    EXPECT_EQ(SRCopyFiles("again", dir.c_str(), "old.txt"), VANTOR_COPY_FAILED);
    EXPECT_EQ(ReadFile(dir + "/again"), "plain");
    EXPECT_EQ(ReadFile(dir + "/again.csv"), "taken");
    EXPECT_FALSE(Exists(dir + "/again.txt"));

    EXPECT_EQ(SRCopyFiles("none", dir.c_str(), "absent.txt"), 0);
    EXPECT_EQ(SRCopyFiles(nullptr, dir.c_str(), "old.txt"), VANTOR_COPY_FAILED);
    EXPECT_EQ(SRCopyFiles("new", std::string(300, 'd').c_str(), "old.txt"), VANTOR_COPY_FAILED);
}

TEST_F(Files, PathTextsTable) {
    struct Case {
        const char* path;
        const char* extension; // SRPathGetExtension's out
        int extensionResult;
        const char* body;    // CMNGetFilenameBody
        const char* folder;  // CMNGetCurrentPath
        const char* renamed; // SRPathRenameExtension with ".bak"
    };
    const Case cases[] = {
        {"/data/report.csv", "csv", 0, "report", "/data/", "/data/report.bak"},
        {"/a.b/file", "", -1, "file", "/a.b/", "/a.b/file.bak"},
        {"x.tar.gz", "gz", 0, "x.tar", "", "x.tar.bak"},
        {"/home/.profile", "", -1, ".profile", "/home/", "/home/.profile.bak"},
        {"name.", "", 0, "name", "", "name.bak"},
        {"/top", "", -1, "top", "/", "/top.bak"},
        {"/dir/", "", -1, "", "/dir/", "/dir/.bak"},
        {"報告書.txt", "txt", 0, "報告書", "", "報告書.bak"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        char out[260] = "untouched";
        EXPECT_EQ(SRPathGetExtension(c.path, out), c.extensionResult);
        EXPECT_STREQ(out, c.extension);
        char buffer[260];
        std::strcpy(buffer, c.path);
        EXPECT_EQ(CMNGetFilenameBody(buffer), 0);
        EXPECT_STREQ(buffer, c.body);
        EXPECT_EQ(CMNGetCurrentPath(out, c.path), 0);
        EXPECT_STREQ(out, c.folder);
        std::strcpy(buffer, c.path);
        EXPECT_EQ(SRPathRenameExtension(buffer, ".bak"), 1);
        EXPECT_STREQ(buffer, c.renamed);
    }
    // One buffer as both path and out.
    char same[260] = "/data/report.csv";
    EXPECT_EQ(CMNGetCurrentPath(same, same), 0);
    EXPECT_STREQ(same, "/data/");
    std::strcpy(same, "/data/report.csv");
    EXPECT_EQ(SRPathGetExtension(same, same), 0);
    EXPECT_STREQ(same, "csv");

    // The extension's plain traces and the renaming's time-stamped lines.
    const std::string text = DebugOutput();
    EXPECT_NE(text.find("SRPathGetExtension Called -->SRPathGetExtension Return <-- Result:"),
              std::string::npos);
    const std::regex rename(R"(CMNFNC [^\n]* :: SRPathRenameExtension Called -->\n)");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), rename),
                            std::sregex_iterator()),
              static_cast<long>(std::size(cases)));

    // A result beyond the path buffer leaves the path as it was.
    char buffer[260];
    const std::string long258 = "/" + std::string(254, 'x') + ".csv";
    std::strcpy(buffer, long258.c_str());
    EXPECT_EQ(SRPathRenameExtension(buffer, ".bak"), 1);
    EXPECT_EQ(SRPathRenameExtension(buffer, ".backup"), 0);
    EXPECT_EQ(std::string(buffer), "/" + std::string(254, 'x') + ".bak");
}

TEST_F(Files, PathAppendJoinsWithOneSeparatorWithinTheBuffer) {
    struct Case {
        const char* path;
        const char* more;
        const char* joined;
    };
    const Case cases[] = {
        {"/a", "b", "/a/b"}, {"/a/", "b", "/a/b"}, {"/a", "/b", "/a/b"},
        {"", "b", "b"},      {"/", "b", "/b"},     {"/a", "", "/a"},
    };
    for (const auto& c : cases) {
        char buffer[260];
        std::strcpy(buffer, c.path);
        EXPECT_EQ(SRPathAppend(buffer, c.more), 1) << c.path << " + " << c.more;
        EXPECT_STREQ(buffer, c.joined);
    }
    char buffer[260];
    const std::string base(250, 'p');
    std::strcpy(buffer, base.c_str());
    EXPECT_EQ(SRPathAppend(buffer, "12345678"), 1); // 259 bytes
    std::strcpy(buffer, base.c_str());
    EXPECT_EQ(SRPathAppend(buffer, "123456789"), 0); // 260 bytes
    EXPECT_EQ(std::string(buffer), base);
}

TEST_F(Files, ExistenceFoldersAndNames) {
    WriteFile(tmp / "here", "x");
    ::symlink("nowhere", (tmp / "dangling").c_str());
    EXPECT_EQ(SRFileExists((tmp / "here").c_str()), 1);
    EXPECT_EQ(SRFileExists(tmp.path().c_str()), 1);
    EXPECT_EQ(SRFileExists((tmp / "dangling").c_str()), 1); // the link itself is there
    EXPECT_EQ(SRFileExists((tmp / "absent").c_str()), 0);
    EXPECT_EQ(SRFileExistsWithPath("here", tmp.path().c_str()), 1);
    EXPECT_EQ(SRFileExistsWithPath("absent", tmp.path().c_str()), 0);

    EXPECT_EQ(SRMkDir((tmp / "made").c_str()), 0);
    EXPECT_EQ(SRMkDir((tmp / "made").c_str()), EEXIST);
    EXPECT_EQ(SRMkDir((tmp / "x/y").c_str()), ENOENT);
    EXPECT_FALSE(Exists(tmp / "x"));

    char buffer[260] = "untouched";
    EXPECT_EQ(CMNGetApplicationDataPath(buffer), 0);
    EXPECT_EQ(std::string(buffer), tmp / "data");
    EXPECT_TRUE(Exists(tmp / "data")); // made when missing
    {
        // A data folder that cannot be made leaves the caller's text as it was.
        WriteFile(tmp / "plain", "x");
        ScopedEnv below("XDG_DATA_HOME", (tmp / "plain/data").c_str());
        std::strcpy(buffer, "untouched");
        EXPECT_EQ(CMNGetApplicationDataPath(buffer), 0);
        EXPECT_STREQ(buffer, "untouched");
        EXPECT_EQ(SRGetApplicationDataPath(buffer), 0);
        EXPECT_STREQ(buffer, "untouched");
    }
    std::strcpy(buffer, "untouched");
    EXPECT_EQ(SRGetApplicationFilenameBody(buffer), 0);
    EXPECT_STREQ(buffer, "vantor_tests");
    EXPECT_EQ(CMNRemoveDirectory(tmp.path().c_str()), 0);
    EXPECT_TRUE(Exists(tmp / "here"));
}

TEST_F(Files, CopyDirectoryMovesWithoutReplacing) {
    Folder("src/sub");
    WriteFile(tmp / "src/sub/f", "f");
    EXPECT_EQ(CMNCopyDirectory((tmp / "dst").c_str(), (tmp / "src").c_str()), -1);
    EXPECT_FALSE(Exists(tmp / "src"));
    EXPECT_EQ(ReadFile(tmp / "dst/sub/f"), "f");

    WriteFile(tmp / "other", "o");
    EXPECT_EQ(CMNCopyDirectory((tmp / "other").c_str(), (tmp / "dst").c_str()), 0);
    EXPECT_EQ(ReadFile(tmp / "other"), "o");
    EXPECT_EQ(ReadFile(tmp / "dst/sub/f"), "f");
    EXPECT_EQ(CMNCopyDirectory((tmp / "x").c_str(), (tmp / "absent").c_str()), 0);
}

// Across file systems the tree is copied, then the source removed; a copy that fails keeps the
// source whole and leaves nothing behind.
TEST_F(Files, CopyDirectoryAcrossFileSystems) {
    testing_support::TempFolder shm("/dev/shm");
    if (shm.path().empty() || Lstat(shm.path()).st_dev == Lstat(tmp.path()).st_dev)
        GTEST_SKIP() << "no /dev/shm on another file system";
    Folder("src/sub");
    WriteFile(tmp / "src/sub/f", "f", 0600);
    SetMtime(tmp / "src/sub/f", 1234567890);
    EXPECT_EQ(CMNCopyDirectory((shm / "moved").c_str(), (tmp / "src").c_str()), -1);
    EXPECT_FALSE(Exists(tmp / "src"));
    EXPECT_EQ(ReadFile(shm / "moved/sub/f"), "f");
    EXPECT_EQ(Lstat(shm / "moved/sub/f").st_mtime, 1234567890);

    Folder("again/sub");
    WriteFile(tmp / "again/sub/f", "f");
    std::string reason;
    if (!shm.MakeUnwritableFolder(shm / "ro", &reason))
        GTEST_SKIP() << reason;
    EXPECT_EQ(CMNCopyDirectory((shm / "ro/again").c_str(), (tmp / "again").c_str()), 0);
    EXPECT_EQ(ReadFile(tmp / "again/sub/f"), "f");
    EXPECT_FALSE(Exists(shm / "ro/again"));
}

} // namespace
