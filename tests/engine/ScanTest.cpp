// The engine against real trees: what it records, in which order, and how it copes with links,
// mount points, unreadable folders, aborts and very deep trees.
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "TreeFixture.h"
#include "engine/DVOSUB.h"
#include "engine/EntryLookup.h"
#include "engine/Scanner.h"
#include "platform/Text.h"

using namespace enginetest;

namespace {

std::string Utf8(const char16_t* text) {
    return platform::Utf16ToUtf8(text == nullptr ? u"" : text);
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DVOCreateObj(), DVO_OK); }
    void TearDown() override { DVODestroyObj(); }

    // Runs one search to its end, the way the program does.
    static int Search(const std::string& path, int recurse = 1, int follow = 0, int once = 1,
                      int cross = 0) {
        EXPECT_EQ(DVOStartFileSearching(), DVO_OK);
        EXPECT_EQ(DVOAddSearchDirectory(platform::Utf8ToUtf16(path).c_str()), DVO_OK);
        const int rc = DVOExecFileSearch(recurse, follow, once, cross);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        SearchProgress progress{};
        while (DVOIsSearching() != 0 && std::chrono::steady_clock::now() < deadline) {
            DVOGetCurrentSearchInfo(&progress);
        }
        EXPECT_EQ(DVOIsSearching(), 0);
        EXPECT_EQ(DVOIsActive(), 0);
        return rc;
    }

    static std::vector<FolderRecord*> Folders() {
        std::vector<FolderRecord*> list(static_cast<std::size_t>(DVOGetFolderInfoCount()));
        EXPECT_EQ(DVOGetFolderInfo(list.data(), static_cast<int>(list.size())),
                  static_cast<int>(list.size()));
        return list;
    }

    static std::vector<FolderRecord*> Children(FolderRecord* parent) {
        std::vector<FolderRecord*> out;
        for (FolderRecord* c = DVOGetFirstFolderInfo(parent); c != nullptr;
             c = DVOGetNextFolderInfo(parent)) {
            out.push_back(c);
        }
        return out;
    }

    // Every folder's totals are the sums of its children's: what an aborted scan must keep.
    static void ExpectConsistent(FolderRecord* folder) {
        long long size = 0;
        int folders = 0;
        int files = 0;
        for (FolderRecord* c : Children(folder)) {
            if (c->kind == 0) {
                ExpectConsistent(c);
                size += c->size;
                folders += 1 + c->folderCount;
                files += c->fileCount;
            } else {
                size += c->size;
                files += 1;
            }
        }
        EXPECT_EQ(folder->size, size) << Utf8(folder->name);
        EXPECT_EQ(folder->folderCount, folders) << Utf8(folder->name);
        EXPECT_EQ(folder->fileCount, files) << Utf8(folder->name);
    }
};

// A bit of everything: nesting, empty folders, hard links across folders, symbolic links (one
// looping back, one dangling), a FIFO, a name that is not UTF-8 and byte order of names.
void BuildMixedTree(const TempDir& t) {
    MakeDir(t / "a");
    MakeFile(t / "a/f1", 100);
    MakeFile(t / "a/f2", 0);
    MakeDir(t / "a/sub");
    MakeFile(t / "a/sub/g", 5000);
    MakeDir(t / "b");
    ASSERT_EQ(::link((t / "a/f1").c_str(), (t / "b/link-to-f1").c_str()), 0);
    MakeFile(t / "b/h", 7);
    MakeDir(t / "c");
    MakeFile(t / "bad\xff\xfe", 11);
    ASSERT_EQ(::symlink(".", (t / "loop").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (t / "dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo((t / "fifo").c_str(), 0644), 0);
    MakeFile(t / "Z", 3);
    MakeDir(t / "\xc3\xa9t\xc3\xa9");
    MakeFile(t / "\xc3\xa9t\xc3\xa9/x", 1 << 20);
}

TEST_F(EngineTest, RecordsMatchAnIndependentWalk) {
    TempDir t;
    BuildMixedTree(t);
    ASSERT_EQ(Search(t.Path()), DVO_OK);
    const std::vector<ModelFolder> model = WalkIndependently(t.Path());
    const std::vector<FolderRecord*> folders = Folders();

    ASSERT_EQ(folders.size(), model.size());
    for (std::size_t i = 0; i < model.size(); ++i) {
        const FolderRecord* r = folders[i];
        const ModelFolder& m = model[i];
        SCOPED_TRACE(m.directory + " | " + m.name);
        EXPECT_EQ(Utf8(r->name), m.name);
        EXPECT_EQ(Utf8(r->directory), m.directory);
        EXPECT_EQ(r->kind, 0);
        EXPECT_EQ(r->depth, m.depth);
        EXPECT_EQ(r->childrenLoaded, 0);
        EXPECT_EQ(r->size, m.size);
        EXPECT_EQ(r->folderCount, m.folders);
        EXPECT_EQ(r->fileCount, m.files);

        std::vector<FolderRecord*> children = Children(folders[i]);
        ASSERT_EQ(children.size(), m.children.size());
        for (std::size_t c = 0; c < children.size(); ++c) {
            EXPECT_EQ(Utf8(children[c]->name), m.children[c].name);
            EXPECT_EQ(children[c]->kind, m.children[c].folder ? 0 : 1);
            EXPECT_EQ(Utf8(children[c]->directory), i == 0 ? t.Path() : m.directory + "/" + m.name);
        }
    }
    // The hard link is counted in "a", met first, and not again in "b".
    EXPECT_EQ(folders[1]->size, 5100);
    EXPECT_EQ(Utf8(folders[3]->name), "b");
    EXPECT_EQ(folders[3]->size, 7);
    EXPECT_EQ(DVOGetErrorCount(), 0);

    FolderRecord* top = DVOGetRootFolderInfo();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(Children(top), std::vector<FolderRecord*>{folders[0]});

    SearchProgress progress{};
    ASSERT_EQ(DVOGetCurrentSearchInfo(&progress), DVO_OK);
    EXPECT_EQ(progress.size, model[0].size);
    EXPECT_EQ(progress.folderCount, model[0].folders);
    EXPECT_EQ(progress.fileCount, model[0].files);
    EXPECT_EQ(Utf8(progress.currentPath), t.Path());
}

// A large folder is sorted by the first 12 bytes of each name before the names themselves: names
// that differ only past those bytes, that end at them, that are prefixes of others, or that hold
// bytes above 0x7f or below '0' must still come in byte order.
TEST_F(EngineTest, ALargeFolderListsItsNamesInByteOrder) {
    TempDir t;
    MakeDir(t / "many");
    std::vector<std::string> names = {"twelve-bytes", "twelve-bytes0", "twelve-bytesz",
                                      "twelve-byte",  "twelve-bytet",  "\xff\xfe",
                                      "\xff",         "\x01",          "a",
                                      "ab",           "abcdefgh",      "abcdefgh\x80"};
    for (int i = 0; i < 70; ++i) {
        names.push_back("n" + std::to_string(i * 7919 % 1000)); // out of order, mixed lengths
    }
    for (const std::string& name : names) {
        MakeFile(t / ("many/" + name), name.size());
    }
    ASSERT_EQ(Search(t.Path()), DVO_OK);
    const std::vector<ModelFolder> model = WalkIndependently(t.Path());
    const std::vector<FolderRecord*> folders = Folders();
    ASSERT_EQ(folders.size(), 2u);
    const std::vector<FolderRecord*> children = Children(folders[1]);
    ASSERT_EQ(children.size(), names.size());
    ASSERT_EQ(model[1].children.size(), names.size());
    for (std::size_t c = 0; c < children.size(); ++c) {
        EXPECT_EQ(Utf8(children[c]->name), model[1].children[c].name) << c;
    }
}

// Every record as the program sees it after a search of `root`, with root's path as "T".
std::string RecordDump(const std::string& root) {
    std::string out;
    auto line = [&](const FolderRecord* r) {
        std::string directory = Utf8(r->directory);
        std::string name = Utf8(r->name);
        if (directory + "/" + name == root)
            directory = name = "T"; // the searched folder itself
        else if (directory.starts_with(root))
            directory = "T" + directory.substr(root.size());
        // Times to the year: the two trees are made seconds apart (year 0: not read).
        out += directory + " | " + name + " " + std::to_string(r->kind) + " d" +
               std::to_string(r->depth) + " " + std::to_string(r->size) + " " +
               std::to_string(r->folderCount) + "/" + std::to_string(r->fileCount) + " " +
               std::to_string(r->modifiedTime.wYear) + " loaded " +
               std::to_string(r->childrenLoaded) + "\n";
    };
    std::vector<FolderRecord*> folders(static_cast<std::size_t>(DVOGetFolderInfoCount()));
    EXPECT_EQ(DVOGetFolderInfo(folders.data(), static_cast<int>(folders.size())),
              static_cast<int>(folders.size()));
    for (FolderRecord* f : folders) {
        line(f);
        for (FolderRecord* c = DVOGetFirstFolderInfo(f); c != nullptr;
             c = DVOGetNextFolderInfo(f)) {
            out += "  ";
            line(c);
        }
    }
    return out;
}

// Records made on the engine's threads before the search ends are the ones made when asked for,
// also once a folder has moved within the search after it (their directory texts follow it).
TEST_F(EngineTest, RecordsMadeAheadAreTheOnesMadeWhenAsked) {
    std::string dumps[2][2]; // [ahead][before, after the move]
    for (int ahead : {0, 1}) {
        SCOPED_TRACE(ahead);
        TempDir t;
        BuildMixedTree(t);
        MakeDir(t / "c/inner");
        for (int i = 0; i < 50; ++i)
            MakeFile(t / ("a/sub/n" + std::to_string(i)), i);
        ASSERT_EQ(DVOSetRecordsAhead(ahead), DVO_OK);
        ASSERT_EQ(Search(t.Path()), DVO_OK);
        // Moved before anything was enumerated: the records made ahead must follow it.
        const std::u16string from = platform::Utf8ToUtf16(t.Path() + "/a");
        const std::u16string to = platform::Utf8ToUtf16(t.Path() + "/c/inner");
        ASSERT_EQ(DVOMoveFile(u"sub", from.c_str(), to.c_str()), DVO_OK);
        dumps[ahead][1] = RecordDump(t.Path());
        ASSERT_EQ(Search(t.Path()), DVO_OK);
        dumps[ahead][0] = RecordDump(t.Path());
    }
    EXPECT_NE(dumps[1][1].find("T/c/inner/sub | n49 1"), std::string::npos) << dumps[1][1];
    EXPECT_EQ(dumps[1][1], dumps[0][1]);
    EXPECT_EQ(dumps[1][0], dumps[0][0]);
    EXPECT_EQ(DVOSetRecordsAhead(0), DVO_OK);
}

TEST_F(EngineTest, LookupFindsEntriesByTheirReportedTexts) {
    TempDir t;
    BuildMixedTree(t);
    ASSERT_EQ(Search(t.Path()), DVO_OK);
    struct stat st = {};
    ASSERT_EQ(::lstat((t / "bad\xff\xfe").c_str(), &st), 0);

    FolderRecord* root = Folders()[0];
    FolderRecord* bad = nullptr;
    for (FolderRecord* c : Children(root)) {
        if (Utf8(c->name) == "bad\xff\xfe") {
            bad = c;
        }
    }
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->name[3], 0xDCFF); // the stray bytes arrive as lone surrogates
    dvo::EntryIdentity id;
    ASSERT_EQ(dvo::LookupEntry(bad->directory, bad->name, id), dvo::LookupResult::Found);
    EXPECT_EQ(id.inode, st.st_ino);
    EXPECT_EQ(id.device, st.st_dev);
    EXPECT_EQ(id.type, static_cast<std::uint32_t>(S_IFREG));

    const std::u16string dir = platform::Utf8ToUtf16(t / "a/sub");
    ASSERT_EQ(dvo::LookupEntry(dir, u"g", id), dvo::LookupResult::Found);
    ASSERT_EQ(::lstat((t / "a/sub/g").c_str(), &st), 0);
    EXPECT_EQ(id.inode, st.st_ino);
    ASSERT_EQ(dvo::LookupEntry(platform::Utf8ToUtf16(t.Path()), u"loop", id),
              dvo::LookupResult::Found);
    EXPECT_EQ(id.type, static_cast<std::uint32_t>(S_IFLNK));
    // The searched folder itself, by its containing folder and name.
    ASSERT_EQ(dvo::LookupEntry(root->directory, root->name, id), dvo::LookupResult::Found);
    EXPECT_EQ(id.type, static_cast<std::uint32_t>(S_IFDIR));

    EXPECT_EQ(dvo::LookupEntry(dir, u"missing", id), dvo::LookupResult::NotFound);
    EXPECT_EQ(dvo::LookupEntry(dir + u"/", u"g", id), dvo::LookupResult::NotFound);
    EXPECT_EQ(dvo::LookupEntry(platform::Utf8ToUtf16(t / "a/f1"), u"x", id),
              dvo::LookupResult::NotFound);
    EXPECT_EQ(dvo::LookupEntry(u"/elsewhere", u"g", id), dvo::LookupResult::NotFound);
    DVODestroyObj();
    EXPECT_EQ(dvo::LookupEntry(dir, u"g", id), dvo::LookupResult::NoObject);
}

TEST_F(EngineTest, OptionsChangeWhatIsCounted) {
    TempDir t;
    BuildMixedTree(t);
    // Every link counted: "b" now holds the second link's bytes too.
    ASSERT_EQ(Search(t.Path(), 1, 0, 0, 0), DVO_OK);
    EXPECT_EQ(Folders()[3]->size, 107);
    // No recursion: the direct subfolders are listed but not entered.
    ASSERT_EQ(Search(t.Path(), 0, 0, 1, 0), DVO_OK);
    const auto folders = Folders();
    ASSERT_EQ(folders.size(), 5u); // root, a, b, c, the accented folder
    EXPECT_EQ(folders[1]->size, 0);
    EXPECT_TRUE(Children(folders[1]).empty());
    EXPECT_EQ(folders[0]->size, 11 + 3 + 7 + 1); // files and links directly inside
}

TEST_F(EngineTest, FollowingLinksEntersEachFolderOnce) {
    TempDir t;
    BuildMixedTree(t);
    MakeDir(t / "d");
    ASSERT_EQ(::symlink("../a", (t / "d/to-a").c_str()), 0);
    ASSERT_EQ(Search(t.Path(), 1, 1, 1, 0), DVO_OK); // "loop" points back at the root
    const auto folders = Folders();
    ASSERT_FALSE(folders.empty());
    // a's contents counted once although reachable twice; the root is not entered again.
    EXPECT_EQ(folders[0]->size, 100 + 5000 + 7 + 11 + 3 + (1 << 20) + 7);
}

TEST_F(EngineTest, BadSearchPathsAreRefused) {
    TempDir t;
    MakeFile(t / "file", 1);
    EXPECT_EQ(DVOStartFileSearching(), DVO_OK);
    EXPECT_EQ(DVOAddSearchDirectory(u""), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOAddSearchDirectory(nullptr), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOExecFileSearch(1, 0, 1, 0), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(Search(t / "missing"), DVO_E_NOT_FOUND);
    EXPECT_EQ(DVOGetFolderInfoCount(), 0);
    EXPECT_EQ(DVOGetRootFolderInfo(), nullptr);
    EXPECT_EQ(Search(t / "file"), DVO_E_NOT_A_FOLDER);
    EXPECT_EQ(DVOGetFolderInfoCount(), 0);
    // A record of no search is refused rather than read.
    FolderRecord bogus{};
    EXPECT_EQ(DVOGetFirstFolderInfo(&bogus), nullptr);
    EXPECT_EQ(DVOGetFirstFolderInfo(nullptr), nullptr);
}

TEST_F(EngineTest, MountPointIsListedButNotEntered) {
    TempDir t;
    MakeDir(t / "inner");
    MakeFile(t / "outer-file", 10);
    if (::mount("tmpfs", (t / "inner").c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root and a mount namespace)";
    }
    MakeFile(t / "inner/hidden", 1000);
    const int rc = Search(t.Path());
    const auto folders = Folders();
    ::umount2((t / "inner").c_str(), MNT_DETACH);
    ASSERT_EQ(rc, DVO_OK);
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0]->size, 10);
    EXPECT_EQ(folders[1]->size, 0);
    EXPECT_TRUE(Children(folders[1]).empty());
    EXPECT_EQ(DVOGetErrorCount(), 0);
    // The window tells a mount point from an empty folder by the folder's state.
    EXPECT_EQ(DVOGetFolderState(folders[0]), DVO_FOLDER_READ);
    EXPECT_EQ(DVOGetFolderState(DVOGetRootFolderInfo()), DVO_FOLDER_READ);
    EXPECT_EQ(DVOGetFolderState(folders[1]), DVO_FOLDER_MOUNT_POINT);
}

// Scans `root` in a child process, after `prepare` ran there (false: cannot be done here).
// Writes the error count, the searched folder's total and its folder count into `out`.
template <typename Prepare>
bool ScanInChild(const std::string& root, long long out[3], Prepare prepare) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return false;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (!prepare()) {
            ::_exit(3);
        }
        dvo::Scanner scanner(dvo::ScanOptions{});
        if (scanner.Open(root) != DVO_OK) {
            ::_exit(4);
        }
        scanner.Run();
        const auto result = scanner.Finish();
        const long long values[3] = {result->errors, result->root->total,
                                     result->root->folderCount};
        const bool ok = ::write(fds[1], values, sizeof values) == sizeof values;
        ::_exit(ok ? 0 : 5);
    }
    ::close(fds[1]);
    const bool ok = ::read(fds[0], out, 3 * sizeof(long long)) == 3 * sizeof(long long);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(EngineScan, UnreadableFolderIsListedAndCounted) {
    TempDir t(true);
    MakeDir(t / "open");
    MakeFile(t / "open/f", 40);
    MakeDir(t / "locked");
    MakeFile(t / "locked/secret", 1000);
    MakeFile(t / "top", 2);
    ASSERT_EQ(::chmod((t / "locked").c_str(), 0), 0);
    long long values[3] = {};
    const auto dropPrivileges = [] {
        return ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
    };
    if (!ScanInChild(t.Path(), values, dropPrivileges)) {
        GTEST_SKIP() << "cannot scan as an unprivileged user here";
    }
    EXPECT_EQ(values[0], 1);  // the locked folder
    EXPECT_EQ(values[1], 42); // what could be read
    EXPECT_EQ(values[2], 2);  // both folders listed

    // Through the exports, the locked folder says it could not be read.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!dropPrivileges() || DVOCreateObj() != DVO_OK || DVOStartFileSearching() != DVO_OK ||
            DVOAddSearchDirectory(platform::Utf8ToUtf16(t.Path()).c_str()) != DVO_OK ||
            DVOExecFileSearch(1, 0, 1, 0) != DVO_OK)
            ::_exit(3);
        while (DVOIsSearching() != 0) {
        }
        std::vector<FolderRecord*> list(static_cast<std::size_t>(DVOGetFolderInfoCount()));
        DVOGetFolderInfo(list.data(), static_cast<int>(list.size()));
        int unreadable = 0;
        int read = 0;
        for (FolderRecord* f : list) {
            const int state = DVOGetFolderState(f);
            unreadable +=
                state == DVO_FOLDER_UNREADABLE && std::u16string_view(f->name) == u"locked";
            read += state == DVO_FOLDER_READ;
        }
        ::_exit(unreadable == 1 && read == 2 ? 0 : 6);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A chain where every level keeps its descriptor open until a late sibling is read holds more
// descriptors than a small limit allows: the walk then reopens folders from the searched one.
TEST(EngineScan, FewDescriptorsStillReachEveryFolder) {
    TempDir t;
    constexpr int kLevels = 60;
    std::string level = t.Path();
    for (int i = 0; i < kLevels; ++i) {
        MakeDir(level + "/a");
        MakeDir(level + "/b");
        MakeFile(level + "/b/f", 3);
        level += "/a";
    }
    long long values[3] = {};
    const auto fewDescriptors = [] {
        const rlimit limit{40, 40};
        return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
    };
    ASSERT_TRUE(ScanInChild(t.Path(), values, fewDescriptors));
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(values[1], 3 * kLevels);
    EXPECT_EQ(values[2], 2 * kLevels);
}

TEST_F(EngineTest, AbortLeavesConsistentRecords) {
    TempDir t;
    for (int i = 0; i < 200; ++i) {
        const std::string d = t / ("d" + std::to_string(i));
        MakeDir(d);
        MakeDir(d + "/inner");
        for (int f = 0; f < 20; ++f) {
            MakeFile(d + "/inner/f" + std::to_string(f), static_cast<std::size_t>(f));
        }
    }
    ASSERT_EQ(DVOStartFileSearching(), DVO_OK);
    ASSERT_EQ(DVOAddSearchDirectory(platform::Utf8ToUtf16(t.Path()).c_str()), DVO_OK);
    ASSERT_EQ(DVOExecFileSearch(1, 0, 1, 0), DVO_OK);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(DVOAbortFileSearching(), DVO_OK);
    // Generous: the bound that matters (100 ms) is measured by the benchmark, not here.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(DVOIsSearching(), 0);
    EXPECT_EQ(DVOIsActive(), 0);

    const auto folders = Folders();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(static_cast<int>(folders.size()), 1 + folders[0]->folderCount);
    ExpectConsistent(folders[0]);
    // Every folder says whether it was read whole; an abort this early leaves some unread.
    int unread = 0;
    for (FolderRecord* f : folders) {
        const int state = DVOGetFolderState(f);
        EXPECT_TRUE(state == DVO_FOLDER_READ || state == DVO_FOLDER_PARTIAL) << state;
        unread += state == DVO_FOLDER_PARTIAL ? 1 : 0;
    }
    if (folders.size() < 401u) {
        EXPECT_GT(unread, 0);
    }
    // Not a folder record of the search: a file's record, or none.
    for (FolderRecord* c : Children(folders[0])) {
        if (c->kind != 0) {
            EXPECT_EQ(DVOGetFolderState(c), DVO_E_NOT_FOUND);
        }
    }
    EXPECT_EQ(DVOGetFolderState(nullptr), DVO_E_NOT_FOUND);
    SearchProgress progress{};
    DVOGetCurrentSearchInfo(&progress);
    EXPECT_EQ(progress.size, folders[0]->size);
    EXPECT_EQ(progress.fileCount, folders[0]->fileCount);

    // A finished search of the same tree: the same consistency, and everything counted.
    ASSERT_EQ(Search(t.Path()), DVO_OK);
    const auto all = Folders();
    ASSERT_EQ(all.size(), 401u);
    ExpectConsistent(all[0]);
    EXPECT_EQ(all[0]->size, 200 * 190);
}

// Sparse files can claim sizes whose sum no 64-bit count holds: every total stops at the ceiling
// instead of wrapping to a folder smaller than its own files.
TEST_F(EngineTest, TotalsStopAtTheLargestSize) {
    constexpr long long kMax = INT64_MAX;
    const long long sizes[] = {kMax, kMax, 1LL << 62};
    std::string root;
    for (const char* base : {"/tmp", "/dev/shm"}) {
        std::string pattern = std::string(base) + "/engine-sparse-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            continue;
        }
        MakeDir(pattern + "/big");
        bool made = true;
        for (int i = 0; i < 3 && made; ++i) {
            const std::string file = pattern + "/big/f" + std::to_string(i);
            const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT, 0644);
            made = fd >= 0 && ::ftruncate(fd, sizes[i]) == 0;
            if (fd >= 0) {
                ::close(fd);
            }
        }
        if (made) {
            root = pattern;
            break;
        }
        RemoveTree(pattern);
    }
    if (root.empty()) {
        GTEST_SKIP() << "neither /tmp nor /dev/shm takes files of 2^63-1 bytes";
    }
    MakeFile(root + "/small", 5);

    ASSERT_EQ(Search(root), DVO_OK);
    const auto folders = Folders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0]->size, kMax);
    EXPECT_EQ(folders[1]->size, kMax);
    EXPECT_EQ(DVOGetRootFolderInfo()->size, kMax);
    SearchProgress progress{};
    ASSERT_EQ(DVOGetCurrentSearchInfo(&progress), DVO_OK);
    EXPECT_EQ(progress.size, kMax);

    // Taking one file away leaves more than the ceiling: the totals stay there, not wrapped.
    const std::u16string big = platform::Utf8ToUtf16(root + "/big");
    ASSERT_EQ(DVODeleteFilePermanently(u"f2", big.c_str()), DVO_OK);
    ASSERT_EQ(DVODeleteFilePermanently(u"small", platform::Utf8ToUtf16(root).c_str()), DVO_OK);
    EXPECT_EQ(folders[0]->size, kMax);
    EXPECT_EQ(folders[1]->size, kMax);
    ASSERT_EQ(DVOGetCurrentSearchInfo(&progress), DVO_OK);
    EXPECT_EQ(progress.size, kMax);
    RemoveTree(root);
}

// The path shown while searching is cut to 259 units, before a character rather than through
// one: a lone half of a surrogate pair is not a character.
TEST_F(EngineTest, ShownPathIsCutBetweenCharacters) {
    TempDir t;
    const std::size_t base = platform::Utf8ToUtf16(t.Path()).size() + 1;
    ASSERT_LT(base, 190u);
    // Padding so that a four-byte character (two units) starts at unit 258.
    const std::string pad(199 - base, 'p');
    std::string emoji;
    for (int i = 0; i < 60; ++i) {
        emoji += "\xF0\x9F\x98\x80";
    }
    const std::string deep = t / (pad + "/" + emoji);
    MakeDir(t / pad);
    MakeDir(deep);

    ASSERT_EQ(Search(deep), DVO_OK);
    SearchProgress progress{};
    ASSERT_EQ(DVOGetCurrentSearchInfo(&progress), DVO_OK);
    const std::u16string full = platform::Utf8ToUtf16(deep);
    const std::u16string shown = progress.currentPath;
    EXPECT_EQ(shown.size(), 258u);
    EXPECT_EQ(shown, full.substr(0, shown.size()));
}

TEST_F(EngineTest, TreeDeeperThanPathMaxIsScanned) {
    TempDir t;
    constexpr int kDepth = 500; // 26 bytes a level: about 13,000 bytes of path
    long long expected = 0;
    int fd = ::open(t.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 1; level <= kDepth; ++level) {
        ASSERT_EQ(::mkdirat(fd, "a-rather-long-folder-name", 0755), 0);
        const int next = ::openat(fd, "a-rather-long-folder-name", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        if (level % 50 == 0) {
            const int f = ::openat(fd, "file", O_WRONLY | O_CREAT, 0644);
            ASSERT_GE(f, 0);
            ASSERT_EQ(::ftruncate(f, level), 0);
            ::close(f);
            expected += level;
        }
    }
    ::close(fd);

    ASSERT_EQ(Search(t.Path()), DVO_OK);
    const auto folders = Folders();
    ASSERT_EQ(folders.size(), static_cast<std::size_t>(kDepth + 1));
    EXPECT_EQ(folders[0]->size, expected);
    EXPECT_EQ(folders[0]->fileCount, kDepth / 50);
    EXPECT_EQ(folders[kDepth]->depth, 255); // saturates
    EXPECT_EQ(DVOGetErrorCount(), 0);
    const FolderRecord* deepest = Children(folders[kDepth]).at(0);
    EXPECT_EQ(deepest->size, kDepth);
    EXPECT_GT(platform::Utf16Length(deepest->directory), 12000u);
    dvo::EntryIdentity id;
    EXPECT_EQ(dvo::LookupEntry(deepest->directory, deepest->name, id), dvo::LookupResult::Found);

    // And a search path of that length: the folder holding the last two levels.
    const std::string deepPath = Utf8(folders[kDepth - 1]->directory);
    ASSERT_EQ(Search(deepPath), DVO_OK);
    EXPECT_EQ(Folders().size(), 3u);
    EXPECT_EQ(Folders()[0]->size, kDepth);
}

} // namespace
