// Reading one folder again: what the program sees afterwards (folder list, enumerations, totals)
// must be what a new search of the whole tree shows, on both ways of statting entries.
#include "engine/DVOSUB.h"
#include "engine/FaultInjection.h"
#include "platform/Text.h"

#include "tests/engine/EngineRecords.h"
#include "tests/support/FileTree.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace testing_support;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

namespace {

struct Totals {
    long long size = 0;
    int folders = 0;
    int files = 0;
    bool operator==(const Totals&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Totals& t) {
    return out << t.size << " B, " << t.folders << " folders, " << t.files << " files";
}

// Everything of a result the program reads.
struct Seen {
    std::vector<std::pair<std::string, Totals>> list; // DVOGetFolderInfo, in its order
    std::map<std::string, Totals> entries;            // every entry the enumerations reach
    Totals search;                                    // DVOGetCurrentSearchInfo
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    out << "search " << s.search << "\n";
    for (const auto& [path, t] : s.list)
        out << "  list " << path << ": " << t << "\n";
    for (const auto& [path, t] : s.entries)
        out << "  entry " << path << ": " << t << "\n";
    return out;
}

std::string PathOf(const FolderRecord* r) {
    return Utf16ToUtf8(r->directory) + "/" + Utf16ToUtf8(r->name);
}

void Enumerate(FolderRecord* parent, std::map<std::string, Totals>& out) {
    for (FolderRecord* c = DVOGetFirstFolderInfo(parent); c != nullptr;
         c = DVOGetNextFolderInfo(parent)) {
        out[PathOf(c)] = {c->size, c->folderCount, c->fileCount};
        if (c->kind == DVO_KIND_FOLDER) {
            // Next continues per parent, so a nested enumeration does not disturb this one.
            Enumerate(c, out);
        }
    }
}

Seen SeenNow() {
    Seen s;
    std::vector<FolderRecord*> records(static_cast<std::size_t>(DVOGetFolderInfoCount()));
    const int n = DVOGetFolderInfo(records.data(), static_cast<int>(records.size()));
    for (int i = 0; i < n; ++i)
        s.list.emplace_back(PathOf(records[i]), Totals{records[i]->size, records[i]->folderCount,
                                                       records[i]->fileCount});
    Enumerate(DVOGetRootFolderInfo(), s.entries);
    SearchProgress progress{};
    DVOGetCurrentSearchInfo(&progress);
    s.search = {progress.size, progress.folderCount, progress.fileCount};
    return s;
}

void WaitForEnd() {
    while (DVOIsSearching() != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void Link(const std::string& from, const std::string& to) {
    ASSERT_EQ(::link(from.c_str(), to.c_str()), 0) << from << " -> " << to;
}

class Rescan : public ::testing::Test {
protected:
    TempFolder tmp;
    std::string tree = tmp / "tree";
    std::u16string tree16 = Utf8ToUtf16(tree);

    void SetUp() override {
        ::mkdir(tree.c_str(), 0755);
        ASSERT_EQ(DVOCreateObj(), 0);
    }
    void TearDown() override {
        dvo::faults::FailRingSetup(false);
        dvo::faults::SetInlineStatsPerRun(-1);
        dvo::faults::FailFolderReadsAfter(-1);
        dvo::faults::AbortFolderReadAfter(-1);
        DVODestroyObj();
    }

    void Scan() {
        ASSERT_EQ(DVOStartFileSearching(), 0);
        ASSERT_EQ(DVOAddSearchDirectory(tree16.c_str()), 0);
        ASSERT_EQ(DVOExecFileSearch(1, 0, 1, 0), 0);
        WaitForEnd();
    }

    // Reads tree/<path> again and waits for the end; the call's result.
    static int RescanAt(const std::string& path) {
        FolderRecord* r = At(path);
        EXPECT_NE(r, nullptr) << path;
        const int rc = DVORescanFolder(r);
        WaitForEnd();
        return rc;
    }

    // What a new search of the whole tree shows.
    Seen FreshSearch() {
        Scan();
        return SeenNow();
    }

    static FolderRecord* At(const std::string& path) { return dvo::test::RecordAt(path); }
};

void BuildTree(const std::string& tree) {
    std::filesystem::create_directories(tree + "/a/b/c/d");
    std::filesystem::create_directories(tree + "/a/b/e");
    std::filesystem::create_directories(tree + "/z");
    WriteFile(tree + "/top", std::string(7, 't'));
    WriteFile(tree + "/a/f", std::string(11, 'f'));
    WriteFile(tree + "/a/b/g", std::string(13, 'g'));
    WriteFile(tree + "/a/b/c/h", std::string(17, 'h'));
    WriteFile(tree + "/a/b/c/d/i", std::string(19, 'i'));
    WriteFile(tree + "/z/j", std::string(23, 'j'));
}

TEST_F(Rescan, ChangesBelowTheFolderGiveTheTotalsOfANewSearch) {
    const std::string b = tree + "/a/b";
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"nothing", [] {}},
        {"file added", [&] { WriteFile(b + "/new", std::string(100, 'n')); }},
        {"file removed", [&] { ::unlink((b + "/c/h").c_str()); }},
        {"file grown", [&] { WriteFile(b + "/c/d/i", std::string(5000, 'i')); }},
        {"folder added",
         [&] {
             std::filesystem::create_directories(b + "/new/deeper");
             WriteFile(b + "/new/deeper/k", std::string(29, 'k'));
         }},
        {"folder removed", [&] { std::filesystem::remove_all(b + "/c"); }},
        {"folder made anew",
         [&] {
             std::filesystem::remove_all(b);
             std::filesystem::create_directories(b + "/other");
             WriteFile(b + "/other/m", std::string(31, 'm'));
         }},
    };
    // Both stat paths, and both counts: the disk usage of small files differs from their size.
    for (const auto& [ring, mode] :
         {std::pair{true, DVO_SIZE_APPARENT}, std::pair{false, DVO_SIZE_APPARENT},
          std::pair{true, DVO_SIZE_DISK}}) {
        dvo::faults::FailRingSetup(!ring);
        dvo::faults::SetInlineStatsPerRun(ring ? 0 : -1); // the ring for every run
        ASSERT_EQ(DVOSetSizeMode(mode), DVO_OK);
        for (const auto& [name, change] : changes) {
            SCOPED_TRACE(std::string(name) + (ring ? " (io_uring)" : " (one by one)") +
                         (mode == DVO_SIZE_DISK ? " (disk usage)" : ""));
            std::filesystem::remove_all(tree);
            BuildTree(tree);
            Scan();
            FolderRecord* before = At("a/b");
            ASSERT_NE(before, nullptr);
            change();
            ASSERT_EQ(RescanAt("a/b"), DVO_OK) << dvo::test::LastErrorText();
            // The folder keeps its record, the one the program holds.
            EXPECT_EQ(At("a/b"), before);
            const Seen rescanned = SeenNow();
            EXPECT_EQ(rescanned, FreshSearch());
        }
    }
}

TEST_F(Rescan, SearchedFolderItselfCanBeReadAgain) {
    BuildTree(tree);
    Scan();
    FolderRecord* root = At("");
    WriteFile(tree + "/z/more", std::string(41, 'x'));
    ASSERT_EQ(RescanAt(""), DVO_OK);
    EXPECT_EQ(At(""), root);
    const Seen rescanned = SeenNow();
    EXPECT_EQ(rescanned, FreshSearch());
}

TEST_F(Rescan, OldRecordsStayReadableButAreNoLongerListed) {
    BuildTree(tree);
    Scan();
    FolderRecord* oldC = At("a/b/c");
    FolderRecord* oldD = At("a/b/c/d");
    FolderRecord* b = At("a/b");
    ASSERT_NE(oldC, nullptr);
    ASSERT_NE(oldD, nullptr);
    FolderRecord* oldFile = nullptr;
    for (FolderRecord* r = DVOGetFirstFolderInfo(b); r != nullptr; r = DVOGetNextFolderInfo(b))
        if (std::u16string(r->name) == u"g")
            oldFile = r;
    ASSERT_NE(oldFile, nullptr);

    ASSERT_EQ(RescanAt("a/b"), DVO_OK);

    // Readable as they were: the program may still hold them.
    EXPECT_EQ(std::u16string(oldC->name), u"c");
    EXPECT_EQ(oldC->size, 17 + 19);
    EXPECT_EQ(std::u16string(oldFile->name), u"g");
    EXPECT_EQ(Utf16ToUtf8(oldD->directory), tree + "/a/b/c");
    // But no longer folder records of the result.
    EXPECT_EQ(DVOGetFolderState(oldC), DVO_E_NOT_FOUND);
    EXPECT_EQ(DVOGetFirstFolderInfo(oldC), nullptr);
    EXPECT_EQ(DVORescanFolder(oldD), DVO_E_NOT_FOUND);
    std::vector<FolderRecord*> list(static_cast<std::size_t>(DVOGetFolderInfoCount()));
    list.resize(
        static_cast<std::size_t>(DVOGetFolderInfo(list.data(), static_cast<int>(list.size()))));
    EXPECT_EQ(std::count(list.begin(), list.end(), oldC), 0);
    EXPECT_EQ(std::count(list.begin(), list.end(), oldD), 0);
    FolderRecord* newC = At("a/b/c");
    ASSERT_NE(newC, nullptr);
    EXPECT_NE(newC, oldC);
    EXPECT_EQ(DVOGetFolderState(newC), DVO_FOLDER_READ);
    EXPECT_EQ(std::count(list.begin(), list.end(), newC), 1);
}

TEST_F(Rescan, VanishedFolderLeavesTheResult) {
    BuildTree(tree);
    Scan();
    FolderRecord* c = At("a/b/c");
    std::filesystem::remove_all(tree + "/a/b/c");
    EXPECT_EQ(RescanAt("a/b/c"), DVO_E_NOT_FOUND);
    EXPECT_EQ(At("a/b/c"), nullptr); // not enumerated under its folder any more
    EXPECT_EQ(DVOGetFolderState(c), DVO_E_NOT_FOUND);
    EXPECT_EQ(std::u16string(c->name), u"c"); // still readable
    const Seen after = SeenNow();
    EXPECT_EQ(after, FreshSearch());

    // Something else in its place is no folder of the search either.
    BuildTree(tree);
    Scan();
    std::filesystem::remove_all(tree + "/a/b");
    ASSERT_EQ(::symlink((tree + "/z").c_str(), (tree + "/a/b").c_str()), 0);
    EXPECT_EQ(RescanAt("a/b"), DVO_E_NOT_FOUND);
    EXPECT_EQ(At("a/b"), nullptr);
    // What is there now is an entry of "a", which was not read again: only the folder went.
    const Seen replaced = SeenNow();
    EXPECT_EQ(replaced.search, (Totals{7 + 11 + 23, 2, 3}));
    EXPECT_EQ(replaced.entries.at(tree + "/a"), (Totals{11, 0, 1}));
    EXPECT_EQ(replaced.list.size(), 3u);

    // The searched folder itself: its record stays, empty.
    std::filesystem::remove_all(tree);
    EXPECT_EQ(RescanAt(""), DVO_E_NOT_FOUND);
    FolderRecord* root = At("");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->size, 0);
    EXPECT_EQ(DVOGetFirstFolderInfo(root), nullptr);
    EXPECT_EQ(DVOGetFolderInfoCount(), 1);
    SearchProgress progress{};
    DVOGetCurrentSearchInfo(&progress);
    EXPECT_EQ(progress.size, 0);
    EXPECT_EQ(progress.fileCount, 0);
}

// A file with links inside and outside the folder counts once, at its first name in record
// order, as a new search counts it: "a" comes before "m", "m" before "z".
TEST_F(Rescan, HardLinksInsideAndOutsideCountOnce) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> before; // the tree as first searched
        std::function<void(const std::string&)> change; // then, before the rescan of "m"
    };
    const std::vector<Case> cases = {
        {"new link inside to a file counted before it", [](const std::string&) {},
         [](const std::string& t) { Link(t + "/a/x", t + "/m/x2"); }},
        {"new link inside to a file counted after it", [](const std::string&) {},
         [](const std::string& t) { Link(t + "/z/y", t + "/m/y2"); }},
        {"link inside removed, the one after counts again",
         [](const std::string& t) { Link(t + "/z/y", t + "/m/y2"); },
         [](const std::string& t) { ::unlink((t + "/m/y2").c_str()); }},
        {"both names inside, one removed",
         [](const std::string& t) {
             WriteFile(t + "/m/p", std::string(300, 'p'));
             Link(t + "/m/p", t + "/m/q");
         },
         [](const std::string& t) { ::unlink((t + "/m/p").c_str()); }},
        {"unchanged links both ways",
         [](const std::string& t) {
             Link(t + "/a/x", t + "/m/x2");
             Link(t + "/z/y", t + "/m/y2");
         },
         [](const std::string&) {}},
    };
    for (const Case& c : cases)
        for (const int mode : {DVO_SIZE_APPARENT, DVO_SIZE_DISK}) {
            SCOPED_TRACE(std::string(c.name) + (mode == DVO_SIZE_DISK ? " (disk usage)" : ""));
            ASSERT_EQ(DVOSetSizeMode(mode), DVO_OK);
            std::filesystem::remove_all(tree);
            std::filesystem::create_directories(tree + "/a");
            std::filesystem::create_directories(tree + "/m/sub");
            std::filesystem::create_directories(tree + "/z");
            WriteFile(tree + "/a/x", std::string(1000, 'x'));
            WriteFile(tree + "/z/y", std::string(2000, 'y'));
            WriteFile(tree + "/m/sub/s", std::string(5, 's'));
            c.before(tree);
            Scan();
            c.change(tree);
            ASSERT_EQ(RescanAt("m"), DVO_OK);
            const Seen rescanned = SeenNow();
            EXPECT_EQ(rescanned, FreshSearch());
        }
}

// Entries the engine moved after the search are where the disk has them: those moved into the
// folder are read there again, those moved out of it stay listed where they went.
TEST_F(Rescan, EntriesMovedSinceTheSearch) {
    BuildTree(tree);
    Scan();
    const std::u16string b16 = tree16 + u"/a/b";
    const std::u16string z16 = tree16 + u"/z";
    ASSERT_EQ(DVOMoveFile(u"j", z16.c_str(), b16.c_str()), DVO_OK) << dvo::test::LastErrorText();
    ASSERT_EQ(DVOMoveFile(u"c", b16.c_str(), z16.c_str()), DVO_OK) << dvo::test::LastErrorText();
    const Seen moved = SeenNow(); // the enumerations made the moved entries' records
    ASSERT_EQ(moved.entries.count(tree + "/z/c/d/i"), 1u);
    ASSERT_EQ(RescanAt("a/b"), DVO_OK);
    const Seen rescanned = SeenNow();
    const Seen fresh = FreshSearch();
    // The folder list keeps the search's order for the folder moved out, so only its set of
    // folders is the same as a new search's.
    EXPECT_EQ(rescanned.entries, fresh.entries);
    EXPECT_EQ(rescanned.search, fresh.search);
    EXPECT_EQ(rescanned.list.size(), fresh.list.size());
}

TEST_F(Rescan, StoppedShortKeepsWhatTheFolderHad) {
    BuildTree(tree);
    Scan();
    WriteFile(tree + "/a/b/c/later", std::string(50, 'l'));
    const Seen before = SeenNow();

    // Memory runs out while the folders are read: the old contents stay, and the reason is told.
    dvo::faults::FailFolderReadsAfter(1);
    ASSERT_EQ(RescanAt("a/b"), DVO_OK);
    dvo::faults::FailFolderReadsAfter(-1);
    EXPECT_FALSE(dvo::test::LastErrorText().empty());
    EXPECT_EQ(SeenNow(), before);
    EXPECT_EQ(DVOGetFolderState(At("a/b/c")), DVO_FOLDER_READ);

    // A cancel that comes while the last folder still queued is listed (here the first, which
    // leaves no other queued): the reading is cut short all the same, and the old one stays.
    dvo::faults::AbortFolderReadAfter(0);
    ASSERT_EQ(RescanAt("a/b"), DVO_OK);
    dvo::faults::AbortFolderReadAfter(-1);
    EXPECT_EQ(SeenNow(), before);
    EXPECT_EQ(DVOGetFolderState(At("a/b")), DVO_FOLDER_READ);

    // A cancel: either the old contents, or, when the rescan had already finished, the new.
    for (int i = 0; i < 300; ++i)
        std::filesystem::create_directories(tree + "/a/b/many/d" + std::to_string(i) + "/e");
    Scan();
    WriteFile(tree + "/a/b/many/d0/e/late", std::string(60, 'l'));
    const Seen old = SeenNow();
    ASSERT_EQ(DVORescanFolder(At("a/b")), DVO_OK);
    ASSERT_EQ(DVOAbortFileSearching(), DVO_OK);
    EXPECT_EQ(DVOIsSearching(), 0);
    const Seen cancelled = SeenNow();
    const Seen fresh = FreshSearch();
    EXPECT_TRUE(cancelled == old || cancelled == fresh) << cancelled;
}

TEST_F(Rescan, RefusedWhereItCannotRun) {
    BuildTree(tree);
    Scan();
    FolderRecord* b = At("a/b");
    FolderRecord* file = nullptr;
    for (FolderRecord* r = DVOGetFirstFolderInfo(b); r != nullptr; r = DVOGetNextFolderInfo(b))
        if (r->kind == DVO_KIND_FILE)
            file = r;
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(DVORescanFolder(nullptr), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVORescanFolder(file), DVO_E_NOT_FOUND);

    // Deleted through the engine: no longer an entry of the search.
    const std::u16string a16 = tree16 + u"/a";
    ASSERT_EQ(DVODeleteFilePermanently(u"b", a16.c_str()), DVO_OK);
    EXPECT_EQ(DVORescanFolder(b), DVO_E_NOT_FOUND);

    // While a search runs (a tree large enough to take longer than one call).
    for (int i = 0; i < 200; ++i) {
        const std::string d = tree + "/w/d" + std::to_string(i);
        std::filesystem::create_directories(d);
        for (int f = 0; f < 20; ++f)
            WriteFile(d + "/f" + std::to_string(f), "x");
    }
    FolderRecord* z = At("z");
    ASSERT_EQ(DVOStartFileSearching(), 0);
    ASSERT_EQ(DVOAddSearchDirectory(tree16.c_str()), 0);
    ASSERT_EQ(DVOExecFileSearch(1, 0, 1, 0), 0);
    EXPECT_EQ(DVORescanFolder(z), DVO_E_BUSY);
    WaitForEnd();

    // An opened result: its folders may be on another machine.
    const std::string file16 = tmp / "result.json";
    ASSERT_EQ(DVOExportResult(Utf8ToUtf16(file16).c_str()), DVO_OK);
    ASSERT_EQ(DVOOpenResult(Utf8ToUtf16(file16).c_str()), DVO_OK);
    EXPECT_EQ(DVORescanFolder(At("z")), DVO_E_OPENED_RESULT);
}

TEST_F(Rescan, MountPointIsNotEntered) {
    std::filesystem::create_directories(tree + "/mnt");
    std::string reason;
    if (!tmp.MountTmpfs(tree + "/mnt", "size=1m", &reason))
        GTEST_SKIP() << reason;
    WriteFile(tree + "/mnt/inside", std::string(10, 'i'));
    Scan();
    EXPECT_EQ(RescanAt("mnt"), DVO_E_MOUNT_POINT);
    EXPECT_EQ(DVOGetFolderState(At("mnt")), DVO_FOLDER_MOUNT_POINT);
}

} // namespace
