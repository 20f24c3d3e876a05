// Scans as ncdu exports: written from real trees and read back to the same result, exports of
// ncdu and gdu read to the totals of our own scan, and broken files refused with their offset.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TreeFixture.h"
#include "engine/DVOSUB.h"
#include "engine/NcduFormat.h"
#include "engine/Scanner.h"
#include "platform/Text.h"

using namespace enginetest;

namespace {

const std::string kNotUtf8 = "caf\xE9 \xFF\"\\\x01";

// What a command prints on its standard output.
std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        out.append(buf, n);
    }
    ::pclose(pipe);
    return out;
}

// The first number a line of gdu's shows (its total with --no-prefix).
long long FirstNumber(const std::string& text) {
    return std::atoll(text.c_str() + text.find_first_not_of(" @"));
}

std::unique_ptr<dvo::ScanResult> Scan(const std::string& path) {
    dvo::Scanner scanner(dvo::ScanOptions{});
    if (scanner.Open(path) != DVO_OK) {
        return nullptr;
    }
    scanner.Run();
    return scanner.Finish();
}

// Everything the records and dvoscan show of a result: per folder its path, state and totals,
// per entry its name, kind, size, time and whether it counted, in record order.
std::string Shape(const dvo::ScanResult& r, bool withTimes = true) {
    std::string out = r.path + " errors " + std::to_string(r.errors) + "\n";
    struct Frame {
        const dvo::Dir* dir;
        std::string path;
    };
    std::vector<Frame> stack{{r.root, r.path}};
    while (!stack.empty()) {
        Frame f = stack.back();
        stack.pop_back();
        const dvo::Dir* d = f.dir;
        out += f.path + " state " + std::to_string(static_cast<int>(d->state)) + " total " +
               std::to_string(d->total) + " folders " + std::to_string(d->folderCount) + " files " +
               std::to_string(d->fileCount) + "\n";
        for (std::uint32_t i = d->childCount; i-- > 0;) {
            const dvo::Node& n = d->children[i];
            out += "  " + std::string(n.Name());
            if (n.IsFolder()) {
                stack.push_back({n.dir, f.path + "/" + std::string(n.Name())});
                out += "/";
            } else {
                out += " " + std::to_string(n.size) +
                       ((n.flags & dvo::kDuplicate) ? " later-link" : "") +
                       ((n.flags & dvo::kStatFailed) ? " unread" : "");
            }
            if (withTimes) {
                out += " t" + std::to_string(n.mtimeMs / 1000);
            }
            out += "\n";
        }
    }
    return out;
}

std::unique_ptr<dvo::ScanResult> ReadText(const std::string& text, dvo::NcduReadError& error,
                                          std::size_t chunk = dvo::kNcduReadChunk) {
    std::FILE* f = ::fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    auto result = dvo::ReadNcdu(f, error, chunk);
    std::fclose(f);
    return result;
}

std::unique_ptr<dvo::ScanResult> ReadPath(const std::string& path, dvo::NcduReadError& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error.reason = "cannot open";
        return nullptr;
    }
    auto result = dvo::ReadNcdu(f, error);
    std::fclose(f);
    return result;
}

std::string Written(const dvo::ScanResult& r, std::size_t pieceEntries = dvo::kNcduWritePiece) {
    const int fd = ::memfd_create("export", MFD_CLOEXEC);
    EXPECT_TRUE(dvo::WriteNcdu(r, nullptr, fd, 0, pieceEntries));
    std::string text;
    char buf[65536];
    ssize_t n;
    ::lseek(fd, 0, SEEK_SET);
    while ((n = ::read(fd, buf, sizeof buf)) > 0) {
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// A tree with what an export has to carry: a name that is no UTF-8 and holds quote, backslash
// and a control byte, hard links across folders, a link, a FIFO and an empty folder.
void MakeTree(const TempDir& t) {
    MakeDir(t / "a");
    MakeDir(t / "a/b");
    MakeDir(t / "empty");
    MakeFile(t / "a/big", 1000);
    MakeFile(t / "a/b/small", 500);
    MakeFile(t / ("a/" + kNotUtf8), 7);
    ASSERT_EQ(::link((t / "a/big").c_str(), (t / "zlink").c_str()), 0);
    ASSERT_EQ(::symlink("a", (t / "sym").c_str()), 0);
    ASSERT_EQ(::mkfifo((t / "fifo").c_str(), 0600), 0);
}

TEST(NcduFormat, ScanWrittenAndReadBackIsTheSameResult) {
    TempDir t;
    MakeTree(t);
    // Names whose escapes stand in a word of eight plain bytes but one, or follow such a word
    // (sizes 0: totals stay).
    const char* const wordNames[] = {"1234567\x7Fz", "123\\4567z", "12\"34567z",
                                     "1234\x01"
                                     "567z",
                                     "abcdefgh\x1F"};
    for (const char* name : wordNames) {
        MakeFile(t / ("a/b/" + std::string(name)), 0);
    }
    MakeDir(t / "mnt");
    const bool mounted = ::mount("tmpfs", (t / "mnt").c_str(), "tmpfs", 0, "size=1m") == 0;
    if (mounted) {
        MakeFile(t / "mnt/inside", 99);
    }
    const auto scanned = Scan(t.Path());
    if (mounted) {
        ::umount2((t / "mnt").c_str(), MNT_DETACH);
    }
    ASSERT_NE(scanned, nullptr);
    const std::string text = Written(*scanned);
    EXPECT_EQ(Written(*scanned, 1), text); // every entry a piece of its own
    dvo::NcduReadError error;
    const auto read = ReadText(text, error);
    ASSERT_NE(read, nullptr) << error.offset << ": " << error.reason;
    EXPECT_EQ(Shape(*read), Shape(*scanned));
    EXPECT_EQ(read->root->total, 1508); // the second link counted once
    EXPECT_EQ(read->folderRecords, scanned->folderRecords);
    // The name's bytes go out raw, with JSON's escapes only where JSON needs them.
    EXPECT_NE(text.find("\"caf\xE9 \xFF\\\"\\\\\\u0001\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"notreg\":true"), std::string::npos);
    for (const char* escaped : {"\"1234567\\u007fz\"", "\"123\\\\4567z\"", "\"12\\\"34567z\"",
                                "\"1234\\u0001567z\"", "\"abcdefgh\\u001f\""}) {
        EXPECT_NE(text.find(escaped), std::string::npos) << escaped;
    }
    if (mounted) {
        EXPECT_NE(text.find("\"excluded\":\"otherfs\""), std::string::npos);
    } else {
        std::printf("(no tmpfs mount here: the mount point is covered by the file cases)\n");
    }
}

// Exports as other programs write them: states, links, escapes and keys this engine ignores.
TEST(NcduFormat, ReadsWhatOtherWritersPutInTheFile) {
    const std::string text =
        "[1,1,{\"progname\":\"x\",\"nested\":{\"a\":[1,2]}},\n"
        "[{\"name\":\"/data//\",\"asize\":4096,\"dev\":5,\"extra\":[{\"deep\":[]}]},\n"
        " {\"name\":\"\\ud83d\\ude00\\u00e9\\u0041\",\"asize\":3,\"mtime\":86400},\n"
        " {\"name\":\"proc\",\"excluded\":\"otherfs\"},\n"
        " {\"name\":\"cache\",\"excluded\":\"pattern\",\"asize\":0},\n"
        " {\"name\":\"broken\",\"read_error\":true},\n"
        " [{\"name\":\"locked\",\"read_error\":true,\"asize\":4096}],\n"
        " [{\"name\":\"other\",\"dev\":6,\"excluded\":\"otherfs\"}],\n"
        " [{\"name\":\"d\",\"asize\":123456,\"dsize\":126976},\n"
        "  {\"name\":\"l1\",\"asize\":10,\"dsize\":4096,\"ino\":77,\"hlnkc\":true},\n"
        "  {\"name\":\"l2\",\"asize\":10,\"dsize\":4096,\"ino\":77,\"nlink\":2},\n"
        "  {\"name\":\"l3\",\"asize\":10,\"ino\":77,\"dev\":6,\"hlnkc\":true},\n"
        "  {\"name\":\"n1\",\"asize\":4,\"nlink\":2},{\"name\":\"n2\",\"asize\":4,\"nlink\":2},\n"
        "  {\"name\":\"...\",\"asize\":1},{\"name\":\".h\",\"asize\":1}]]]";
    dvo::NcduReadError error;
    const auto r = ReadText(text, error);
    ASSERT_NE(r, nullptr) << error.offset << ": " << error.reason;
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}}) {
        const auto chunked = ReadText(text, error, chunk);
        ASSERT_NE(chunked, nullptr) << chunk << ": " << error.offset << ": " << error.reason;
        EXPECT_EQ(Shape(*chunked), Shape(*r)) << chunk;
    }
    EXPECT_EQ(r->path, "/data");
    EXPECT_EQ(r->parentPath, "/");
    EXPECT_EQ(r->errors, 2);
    // Folders' own sizes do not count; l2 is l1 again, l3 another file on device 6, and links
    // without an inode cannot be matched, so each counts.
    EXPECT_EQ(r->root->total, 3 + 10 + 10 + 4 + 4 + 1 + 1);
    // Disk usage where the file gives it, else 0; neither the folder d's own nor the later
    // link l2's counts.
    EXPECT_EQ(r->root->diskTotal, 4096);
    EXPECT_EQ(Shape(*r), "/data errors 2\n"
                         "/data state 1 total 33 folders 4 files 10\n"
                         "  \xF0\x9F\x98\x80\xC3\xA9"
                         "A 3 t86400\n"
                         "  proc/ t0\n"
                         "  other/ t0\n"
                         "  locked/ t0\n"
                         "  d/ t0\n"
                         "  cache 0 t0\n"
                         "  broken 0 unread t0\n"
                         "/data/d state 1 total 30 folders 0 files 7\n"
                         "  n2 4 t0\n"
                         "  n1 4 t0\n"
                         "  l3 10 t0\n"
                         "  l2 10 later-link t0\n"
                         "  l1 10 t0\n"
                         "  .h 1 t0\n"
                         "  ... 1 t0\n"
                         "/data/locked state 3 total 0 folders 0 files 0\n"
                         "/data/other state 4 total 0 folders 0 files 0\n"
                         "/data/proc state 4 total 0 folders 0 files 0\n");
}

// Megabytes of export, so the pages already read are recycled ahead of the reading several
// times over; in odd chunks too, so that happens with tokens cut at every place.
TEST(NcduFormat, ALongExportReadsWholeWhereverItsPagesAreRecycled) {
    std::string text = "[1,2,{},[{\"name\":\"/big\"}";
    const std::string padding(400, 'p');
    constexpr int kFolders = 4000;
    std::int64_t expected = 0;
    for (int i = 0; i < kFolders; ++i) {
        // Names out of order in every folder, one with an escape, sizes of every length.
        const std::string n = std::to_string(kFolders - i);
        text += ",\n[{\"name\":\"d" + n + padding + "\",\"mtime\":1700000000}";
        for (int j = 3; j > 0; --j) {
            const std::int64_t size = (std::int64_t{1} << (i % 40)) + j;
            text += ",{\"name\":\"f" + std::to_string(j) + "\\u00e9" + padding +
                    "\",\"asize\":" + std::to_string(size) + ",\"dsize\":4096}";
            expected += size;
        }
        text += "]";
    }
    text += "]]";
    ASSERT_GT(text.size(), std::size_t{6} << 20);
    dvo::NcduReadError error;
    const auto whole = ReadText(text, error);
    ASSERT_NE(whole, nullptr) << error.offset << ": " << error.reason;
    EXPECT_EQ(whole->root->total, expected);
    EXPECT_EQ(whole->root->diskTotal, std::int64_t{4096} * 3 * kFolders);
    EXPECT_EQ(whole->root->folderCount, kFolders);
    EXPECT_EQ(whole->root->childCount, static_cast<std::uint32_t>(kFolders));
    EXPECT_EQ(whole->root->children[0].Name(), "d1000" + padding); // byte order
    const auto chunked = ReadText(text, error, 4093);
    ASSERT_NE(chunked, nullptr) << error.offset << ": " << error.reason;
    EXPECT_EQ(Shape(*chunked), Shape(*whole));
    // Cut short far into it: refused, at the end, however the pages moved.
    const auto cut = ReadText(text.substr(0, text.size() - 100), error, 4093);
    EXPECT_EQ(cut, nullptr);
    EXPECT_EQ(error.offset, text.size() - 100);

    // Written again in pieces on several threads, of any size: the same bytes as on one, with
    // pieces written ahead that pass the write buffer's size and runs cut inside a folder.
    const std::string once = Written(*whole, std::size_t{1} << 30);
    for (const std::size_t piece : {1, 2, 5, 1000, 5000}) {
        SCOPED_TRACE(piece);
        EXPECT_EQ(Written(*whole, piece), once);
    }
    // Files before, between and after folders too large for one piece, at two levels.
    auto files = [&](int count) {
        std::string out;
        for (int i = 0; i < count; ++i) {
            out += ",{\"name\":\"f" + std::to_string(i) + "\",\"asize\":" + std::to_string(i) + "}";
        }
        return out;
    };
    const std::string mixed =
        "[1,2,{},[{\"name\":\"/m\"},{\"name\":\"a\"},[{\"name\":\"b\"}" + files(5) +
        "],{\"name\":\"c\"},[{\"name\":\"d\"},{\"name\":\"d0\"},[{" + "\"name\":\"e\"}" + files(4) +
        "],{\"name\":\"g\"}" + files(2) + "],{\"name\":\"h\"}]]";
    const auto small = ReadText(mixed, error);
    ASSERT_NE(small, nullptr) << error.offset << ": " << error.reason;
    const std::string whole1 = Written(*small, 1000);
    for (const std::size_t piece : {1, 2, 3, 4, 6}) {
        SCOPED_TRACE(piece);
        EXPECT_EQ(Written(*small, piece), whole1);
    }
    // A full disk stops every thread and says so; nothing waits for a run nobody writes.
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    errno = 0;
    EXPECT_FALSE(dvo::WriteNcdu(*whole, nullptr, full, 0, 2));
    EXPECT_EQ(errno, ENOSPC);
    ::close(full);
}

struct BadFile {
    const char* what;
    std::string text;
    const char* reason; // part of the message
    std::uint64_t offset;
};

TEST(NcduFormat, BrokenFilesAreRefusedWithTheirOffset) {
    const std::string head = "[1,2,{},[{\"name\":\"/t\"},";
    const std::string deep = "[1,2,{}," + [] {
        std::string s;
        for (int i = 0; i < 100000; ++i) {
            s += "[{\"name\":\"d\"},";
        }
        return s;
    }();
    std::string longPath = head;
    for (int i = 0; i < 17; ++i) {
        longPath += "[{\"name\":\"" + std::string(1000, 'x') + "\"},";
    }
    const BadFile cases[] = {
        {"empty", "", "empty", 0},
        {"not JSON", "hello", "Invalid value", 0},
        {"truncated", head + "{\"name\":\"a\",\"asize\":12", "Missing a comma", 45},
        {"no tree", "[1,2,{}]", "ends before its tree", 7},
        {"other major version", "[2,0,{},[{\"name\":\"/t\"}]]", "format version 2", 1},
        {"version not a number", "[\"1\",2,{},[{\"name\":\"/t\"}]]", "not a number", 4},
        {"tree not an array", "[1,2,{},{\"name\":\"/t\"}]", "not an array", 8},
        {"empty name", head + "{\"name\":\"\"}]]", "empty", 33},
        {"dot", head + "{\"name\":\".\"}]]", "empty", 34},
        {"dot dot", head + "{\"name\":\"..\"}]]", "empty", 35},
        {"slash", head + "{\"name\":\"a/b\"}]]", "'/'", 36},
        {"NUL", head + "{\"name\":\"a\\u0000b\"}]]", "NUL", 41},
        {"no name", head + "{\"asize\":1}]]", "without a name", 33},
        {"negative size", head + "{\"name\":\"a\",\"asize\":-1}]]", "negative", 43},
        {"size a string", head + "{\"name\":\"a\",\"asize\":\"1\"}]]", "not a number", 46},
        {"size a fraction", head + "{\"name\":\"a\",\"asize\":1.5}]]", "whole number", 43},
        {"size past 64 bits", head + "{\"name\":\"a\",\"asize\":18446744073709551616}]]",
         "whole number", 43},
        {"size an object", head + "{\"name\":\"a\",\"asize\":{}}]]", "wrong type", 43},
        {"folder without info", head + "[]]]", "without its info", 24},
        {"folder starting with a folder", head + "[[{\"name\":\"x\"}]]]]", "does not start", 24},
        {"number in a folder", head + "1]]", "no entry", 23},
        {"two entries of one name", head + "{\"name\":\"a\"},{\"name\":\"a\"}]]", "two entries",
         48},
        {"two entries of one name, apart",
         head + "{\"name\":\"a\"},{\"name\":\"b\"},{\"name\":\"a\"}]]", "two entries", 61},
        {"a name with '/' at its end", head + "{\"name\":\"abcdefghijklmno/\"}]]", "'/'", 49},
        {"a name with NUL past 8 bytes", head + "{\"name\":\"abcdefghij\\u0000\"}]]", "NUL", 49},
        {"data after the end", "[1,2,{},[{\"name\":\"/t\"}]] x", "root must not be followed", 25},
        {"nested 100000 levels", deep, "deeper than 4096", 8 + 4097 * 14},
        {"name too long", head + "{\"name\":\"" + std::string(1024, 'x') + "\"}]]",
         "longer than 1023", 1057},
        {"path too long", longPath, "path longer than 16384", 17242},
        // JSON itself, where the reader stopped.
        {"bad escape", head + "{\"name\":\"a\\qb\"}]]", "Invalid escape", 34},
        {"bad hex digit", head + "{\"name\":\"\\u00g0\"}]]", "hex digit", 36},
        {"lone high surrogate", head + "{\"name\":\"\\ud83dx\"}]]", "surrogate", 38},
        {"raw control byte", head + "{\"name\":\"a\tb\"}]]", "Invalid encoding", 33},
        {"string cut short", head + "{\"name\":\"abc", "closing quotation mark", 35},
        {"missing colon", head + "{\"name\" \"a\"}]]", "colon", 31},
        {"comma before a brace", head + "{\"name\":\"a\",}]]", "name for object member", 35},
        {"comma before a bracket", "[1,2,{},[{\"name\":\"/t\"},]]", "Invalid value", 23},
        {"bad literal", head + "{\"name\":\"a\",\"x\":tru}]]", "Invalid value", 39},
        {"fraction without digits", head + "{\"name\":\"a\",\"x\":1.}]]", "fraction", 41},
    };
    // Read whole and in chunks that cut every token somewhere: the same refusal at one place.
    for (const std::size_t chunk : {dvo::kNcduReadChunk, std::size_t{1}, std::size_t{5}}) {
        for (const BadFile& c : cases) {
            dvo::NcduReadError error;
            EXPECT_EQ(ReadText(c.text, error, chunk), nullptr) << c.what;
            EXPECT_NE(error.reason.find(c.reason), std::string::npos)
                << c.what << " (chunk " << chunk << "): " << error.reason;
            EXPECT_EQ(error.offset, c.offset) << c.what << " (chunk " << chunk << ")";
        }
    }
}

// The engine's calls: a search exported, opened again in its place, and refused file actions.
class NcduExports : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DVOCreateObj(), DVO_OK); }
    void TearDown() override { DVODestroyObj(); }

    static void Search(const std::string& path) {
        ASSERT_EQ(DVOStartFileSearching(), DVO_OK);
        ASSERT_EQ(DVOAddSearchDirectory(platform::Utf8ToUtf16(path).c_str()), DVO_OK);
        ASSERT_EQ(DVOExecFileSearch(1, 0, 1, 0), DVO_OK);
        while (DVOIsSearching() != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Every record as the program sees it: folders with their children, and their states.
    static std::string Records() {
        std::vector<FolderRecord*> folders(static_cast<std::size_t>(DVOGetFolderInfoCount()));
        DVOGetFolderInfo(folders.data(), static_cast<int>(folders.size()));
        std::string out;
        auto line = [&out](const FolderRecord* r) {
            out += platform::Utf16ToUtf8(r->directory) + " | " + platform::Utf16ToUtf8(r->name) +
                   " kind " + std::to_string(r->kind) + " depth " + std::to_string(r->depth) +
                   " size " + std::to_string(r->size) + " " + std::to_string(r->folderCount) + "/" +
                   std::to_string(r->fileCount) + " year " + std::to_string(r->modifiedTime.wYear) +
                   "\n";
        };
        for (FolderRecord* f : folders) {
            line(f);
            out += "  state " + std::to_string(DVOGetFolderState(f)) + "\n";
            for (FolderRecord* c = DVOGetFirstFolderInfo(f); c != nullptr;
                 c = DVOGetNextFolderInfo(f)) {
                out += "  ";
                line(c);
            }
        }
        SearchProgress p{};
        DVOGetCurrentSearchInfo(&p);
        return out + "total " + std::to_string(p.size) + " errors " +
               std::to_string(DVOGetErrorCount()) + "\n";
    }
    static std::string LastError() {
        char16_t text[512];
        DVOGetLastErrorText(text, sizeof text);
        return platform::Utf16ToUtf8(text);
    }
};

TEST_F(NcduExports, AnOpenedExportGivesTheRecordsOfTheSearch) {
    TempDir t;
    MakeTree(t);
    Search(t.Path());
    const std::string searched = Records();
    const std::string file = t / "a/b/saved.json"; // written into the tree it describes
    ASSERT_EQ(DVOExportResult(platform::Utf8ToUtf16(file).c_str()), DVO_OK) << LastError();
    EXPECT_EQ(DVOIsOpenedResult(), 0);

    ASSERT_EQ(DVOOpenResult(platform::Utf8ToUtf16(file).c_str()), DVO_OK) << LastError();
    EXPECT_EQ(DVOIsOpenedResult(), 1);
    EXPECT_EQ(Records(), searched);
    // Its entries may be on another machine: no file action touches them.
    const std::u16string dir = platform::Utf8ToUtf16(t / "a");
    EXPECT_EQ(DVODeleteFilePermanently(u"big", dir.c_str()), DVO_E_OPENED_RESULT);
    EXPECT_EQ(DVOMoveFile(u"big", dir.c_str(), platform::Utf8ToUtf16(t.Path()).c_str()),
              DVO_E_OPENED_RESULT);
    struct stat st = {};
    EXPECT_EQ(::stat((t / "a/big").c_str(), &st), 0);

    // A broken file leaves the opened result as it was, and says where it broke.
    const std::string bad = t / "bad.json";
    std::FILE* f = std::fopen(bad.c_str(), "wb");
    std::fputs("[1,2,{},[{\"name\":\"/x\"},{\"name\":\"a\",\"asize\":-5}]]", f);
    std::fclose(f);
    EXPECT_EQ(DVOOpenResult(platform::Utf8ToUtf16(bad).c_str()), DVO_E_BAD_FILE);
    EXPECT_NE(LastError().find(bad + ": 43 バイト目"), std::string::npos) << LastError();
    EXPECT_EQ(DVOOpenResult(platform::Utf8ToUtf16(t / "missing.json").c_str()), DVO_E_NOT_FOUND);
    EXPECT_EQ(Records(), searched);
    EXPECT_EQ(DVOIsOpenedResult(), 1);

    // A new search replaces it, and file actions work again.
    Search(t.Path());
    EXPECT_EQ(DVOIsOpenedResult(), 0);
    EXPECT_EQ(DVODeleteFilePermanently(u"saved.json", platform::Utf8ToUtf16(t / "a/b").c_str()),
              DVO_OK)
        << LastError();
}

TEST_F(NcduExports, ComparingWithAnEarlierExportListsWhatChanged) {
    TempDir t;
    TempDir saved;
    MakeTree(t);
    Search(t.Path());
    const std::string file = saved / "before.json";
    ASSERT_EQ(DVOExportResult(platform::Utf8ToUtf16(file).c_str()), DVO_OK) << LastError();

    MakeFile(t / "a/big", 3000); // grows; its second link still counts once
    ASSERT_EQ(::unlink((t / "a/b/small").c_str()), 0);
    ASSERT_EQ(::rmdir((t / "empty").c_str()), 0);
    MakeFile(t / "empty", 5); // a folder replaced by a file of that name
    MakeDir(t / "new");
    MakeFile(t / "new/f", 40);
    Search(t.Path());

    struct Seen {
        std::vector<std::string> lines;
        int stopAfter = -1;
    } seen;
    const auto sink = [](const DVOChange* c, void* context) -> int {
        auto& s = *static_cast<Seen*>(context);
        static const char* const kinds[] = {"size", "new", "gone"};
        s.lines.push_back(std::string(kinds[c->change]) +
                          (c->kind == DVO_KIND_FOLDER ? " dir " : " file ") +
                          platform::Utf16ToUtf8(c->path) + " " + std::to_string(c->before) + " " +
                          std::to_string(c->after));
        return static_cast<int>(s.lines.size()) == s.stopAfter ? 1 : 0;
    };
    char16_t root[8];
    const std::u16string path = platform::Utf8ToUtf16(file);
    ASSERT_EQ(DVOCompareResult(path.c_str(), root, sizeof root, sink, &seen), 8) << LastError();
    // The root path comes back cut to the buffer, on a whole character.
    EXPECT_EQ(platform::Utf16ToUtf8(root), t.Path().substr(0, 7));
    const std::string top = t.Path();
    EXPECT_EQ(seen.lines.front(), "size dir " + top + " 1508 3053"); // the root first
    std::sort(seen.lines.begin(), seen.lines.end());
    EXPECT_EQ(seen.lines, (std::vector<std::string>{
                              "gone dir " + top + "/empty 0 0",
                              "gone file " + top + "/a/b/small 500 0",
                              "new dir " + top + "/new 0 40",
                              "new file " + top + "/empty 0 5",
                              "size dir " + top + " 1508 3053",
                              "size dir " + top + "/a 1507 3007",
                              "size dir " + top + "/a/b 500 0",
                              "size file " + top + "/a/big 1000 3000",
                          }));

    // The sink can stop it; failures change nothing and say why.
    seen = {{}, 2};
    EXPECT_EQ(DVOCompareResult(path.c_str(), nullptr, 0, sink, &seen), 2);
    EXPECT_EQ(DVOCompareResult(path.c_str(), nullptr, 0, nullptr, &seen), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOCompareResult(platform::Utf8ToUtf16(saved / "none.json").c_str(), nullptr, 0, sink,
                               &seen),
              DVO_E_NOT_FOUND);
    const std::string bad = saved / "bad.json";
    std::FILE* f = std::fopen(bad.c_str(), "wb");
    std::fputs("[1,2,{},[{\"name\":\"/x\"}", f);
    std::fclose(f);
    EXPECT_EQ(DVOCompareResult(platform::Utf8ToUtf16(bad).c_str(), nullptr, 0, sink, &seen),
              DVO_E_BAD_FILE);
    EXPECT_EQ(DVOIsOpenedResult(), 0);
}

TEST_F(NcduExports, AFailedExportLeavesNoFile) {
    TempDir t;
    MakeFile(t / "f", 3);
    MakeDir(t / "taken");
    MakeFile(t / "taken/x", 1);
    EXPECT_EQ(DVOExportResult(platform::Utf8ToUtf16(t / "out.json").c_str()), DVO_E_NOT_FOUND);
    Search(t.Path());
    EXPECT_EQ(DVOExportResult(nullptr), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOExportResult(platform::Utf8ToUtf16(t / "no/such/out.json").c_str()),
              DVO_E_NOT_FOUND);
    EXPECT_NE(LastError().find(t / "no/such/out.json"), std::string::npos) << LastError();
    // The export is written whole before it takes the name: a name it cannot take keeps
    // nothing of it.
    EXPECT_EQ(DVOExportResult(platform::Utf8ToUtf16(t / "taken").c_str()), DVO_E_IO);
    EXPECT_EQ(Output("ls -A '" + t.Path() + "'"), "f\ntaken\n");
}

bool Have(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST(NcduPeers, NcduExportReadsToTheTotalsOfOurScan) {
    if (!Have("ncdu")) {
        GTEST_SKIP() << "ncdu is not installed (scripts/setup.sh installs it)";
    }
    TempDir t;
    MakeTree(t);
    const std::string file = t.Path() + ".ncdu.json";
    ASSERT_EQ(std::system(("ncdu -0 -o '" + file + "' '" + t.Path() + "' 2>/dev/null").c_str()), 0);
    dvo::NcduReadError error;
    const auto read = ReadPath(file, error);
    std::remove(file.c_str());
    ASSERT_NE(read, nullptr) << error.offset << ": " << error.reason;
    // ncdu 1.18 writes no times without -e; everything else is what we scan.
    const auto scanned = Scan(t.Path());
    EXPECT_EQ(Shape(*read, false), Shape(*scanned, false));
    EXPECT_EQ(read->root->diskTotal, scanned->root->diskTotal); // ncdu's dsize is our count

    // ncdu takes our export too: what it writes back out of it is the same tree.
    const std::string ours = t.Path() + ".dvo.json";
    const std::string again = t.Path() + ".again.json";
    const int fd = ::open(ours.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_TRUE(dvo::WriteNcdu(*scanned, nullptr, fd, 0));
    ::close(fd);
    ASSERT_EQ(std::system(("ncdu -f '" + ours + "' -o '" + again + "' 2>/dev/null").c_str()), 0);
    const auto reread = ReadPath(again, error);
    std::remove(ours.c_str());
    std::remove(again.c_str());
    ASSERT_NE(reread, nullptr) << error.offset << ": " << error.reason;
    EXPECT_EQ(Shape(*reread, false), Shape(*scanned, false));
}

TEST(NcduPeers, GduExportReadsToTheTotalsOfOurScanAndGduReadsOurs) {
    if (!Have("gdu")) {
        GTEST_SKIP() << "gdu is not installed (scripts/setup.sh installs it)";
    }
    TempDir t;
    MakeTree(t);
    const std::string theirs = t.Path() + ".gdu.json";
    ASSERT_EQ(
        std::system(("gdu -n -o '" + theirs + "' '" + t.Path() + "' >/dev/null 2>&1").c_str()), 0);
    dvo::NcduReadError error;
    const auto read = ReadPath(theirs, error);
    std::remove(theirs.c_str());
    ASSERT_NE(read, nullptr) << error.offset << ": " << error.reason;
    const auto scanned = Scan(t.Path());
    EXPECT_EQ(read->root->total, scanned->root->total);
    EXPECT_EQ(read->root->fileCount, scanned->root->fileCount);
    EXPECT_EQ(read->root->folderCount, scanned->root->folderCount);

    // gdu reading our export counts what gdu's own scan of the tree counts.
    const std::string ours = t.Path() + ".dvo.json";
    const int fd = ::open(ours.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_TRUE(dvo::WriteNcdu(*scanned, nullptr, fd, 0));
    ::close(fd);
    const std::string fromOurs = Output("gdu -n -a -s --no-prefix -f '" + ours + "' 2>&1");
    std::remove(ours.c_str());
    const std::string fromScan = Output("gdu -n -a -s --no-prefix '" + t.Path() + "' 2>&1");
    EXPECT_GT(FirstNumber(fromScan), 1508) << fromScan; // gdu adds its folders' own sizes
    EXPECT_EQ(FirstNumber(fromOurs), FirstNumber(fromScan)) << fromOurs << " / " << fromScan;
}

} // namespace
