// After a delete, trash or move, the totals the engine shows must be those a new search of the
// same folder finds: each case acts on a real tree and then searches it again to compare.
#include "engine/DVOSUB.h"
#include "platform/Text.h"

#include "tests/engine/EngineRecords.h"
#include "tests/support/FileTree.h"
#include "tests/support/ScopedEnv.h"

#include <chrono>
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
    long long size;
    int folders;
    int files;
    bool operator==(const Totals&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Totals& t) {
    return out << t.size << " B, " << t.folders << " folders, " << t.files << " files";
}

class ActionTotals : public ::testing::Test {
protected:
    TempFolder tmp;
    std::string tree = tmp / "tree";
    std::u16string tree16 = Utf8ToUtf16(tree);

    void SetUp() override {
        ::mkdir(tree.c_str(), 0755);
        ASSERT_EQ(DVOCreateObj(), 0);
    }
    void TearDown() override { DVODestroyObj(); }

    void Scan() {
        ASSERT_EQ(DVOStartFileSearching(), 0);
        ASSERT_EQ(DVOAddSearchDirectory(tree16.c_str()), 0);
        ASSERT_EQ(DVOExecFileSearch(1, 0, 1, 0), 0);
        while (DVOIsSearching() != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // Every folder record's totals by its path, the searched folder's also as the search info.
    static std::map<std::string, Totals> Shown() {
        std::map<std::string, Totals> out;
        std::vector<FolderRecord*> records(static_cast<std::size_t>(DVOGetFolderInfoCount()));
        const int n = DVOGetFolderInfo(records.data(), static_cast<int>(records.size()));
        for (int i = 0; i < n; ++i)
            out[Utf16ToUtf8(records[i]->directory) + "/" + Utf16ToUtf8(records[i]->name)] = {
                records[i]->size, records[i]->folderCount, records[i]->fileCount};
        SearchProgress progress{};
        DVOGetCurrentSearchInfo(&progress);
        out["(search)"] = {progress.size, progress.folderCount, progress.fileCount};
        return out;
    }

    // Searches the tree again and compares every folder both searches list (the new one may
    // list folders the action made; the old one keeps listing what went).
    void ExpectSameAsNewSearch(const std::string& step) {
        SCOPED_TRACE(step);
        const std::map<std::string, Totals> adjusted = Shown();
        Scan();
        const std::map<std::string, Totals> fresh = Shown();
        ASSERT_TRUE(adjusted.contains(tree));
        for (const auto& [path, totals] : fresh) {
            if (const auto it = adjusted.find(path); it != adjusted.end()) {
                EXPECT_EQ(it->second, totals) << path;
            }
        }
        EXPECT_EQ(adjusted.at("(search)"), fresh.at("(search)"));
    }

    // The record of tree/<path>, found through the enumerations.
    static FolderRecord* At(const std::string& path) { return dvo::test::RecordAt(path); }

    static std::string LastError() { return dvo::test::LastErrorText(); }
};

// Searching a home folder: the home trash lies below it, so a trash moves the entry within the
// search and adds an info file, and may make the trash's folders first.
TEST_F(ActionTotals, TrashInsideTheSearchIsAMoveWithin) {
    enum class Trash { Missing, Empty, NameTaken };
    for (const Trash trash : {Trash::Missing, Trash::Empty, Trash::NameTaken}) {
        SCOPED_TRACE(static_cast<int>(trash));
        TempFolder home;
        tree = home / "home";
        tree16 = Utf8ToUtf16(tree);
        const std::string data = tree + "/.local/share";
        ScopedEnv dataHome{"XDG_DATA_HOME", data.c_str()};
        std::filesystem::create_directories(data);
        if (trash != Trash::Missing) {
            std::filesystem::create_directories(data + "/Trash/files");
            std::filesystem::create_directories(data + "/Trash/info");
        }
        if (trash == Trash::NameTaken) {
            WriteFile(data + "/Trash/files/f", std::string(3, 'x'));
            WriteFile(data + "/Trash/info/f.trashinfo", "[Trash Info]\n");
        }
        std::filesystem::create_directories(tree + "/a/sub");
        WriteFile(tree + "/a/f", std::string(100, 'f'));
        WriteFile(tree + "/a/sub/g", std::string(10, 'g'));
        Scan();

        const std::u16string a16 = tree16 + u"/a";
        ASSERT_EQ(DVODeleteFile(u"f", a16.c_str()), DVO_OK) << LastError();
        if (trash == Trash::Empty) {
            // Kept its name: listed in the trash from now on.
            const FolderRecord* files = At(".local/share/Trash/files");
            ASSERT_NE(files, nullptr);
            const FolderRecord* f = DVOGetFirstFolderInfo(const_cast<FolderRecord*>(files));
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(std::u16string(f->name), u"f");
        }
        ASSERT_EQ(DVODeleteFile(u"sub", a16.c_str()), DVO_OK) << LastError();
        ExpectSameAsNewSearch("a file and a folder trashed");
        DVODestroyObj();
        ASSERT_EQ(DVOCreateObj(), 0);
    }
}

// However the destination is spelled, it is the folder of the search that it names on disk.
TEST_F(ActionTotals, MoveDestinationIsFoundByIdentity) {
    ::symlink((tree + "/b").c_str(), (tmp / "link").c_str());
    for (const std::string& destination :
         {tree + "//b", tree + "/./b", tree + "/a/../b/", tmp / "link"}) {
        SCOPED_TRACE(destination);
        std::filesystem::create_directories(tree + "/a");
        std::filesystem::create_directories(tree + "/b");
        WriteFile(tree + "/a/f", std::string(100, 'f'));
        Scan();
        const std::u16string a16 = tree16 + u"/a";
        ASSERT_EQ(DVOMoveFile(u"f", a16.c_str(), Utf8ToUtf16(destination).c_str()), DVO_OK)
            << LastError();
        const FolderRecord* moved = DVOGetFirstFolderInfo(At("b"));
        ASSERT_NE(moved, nullptr);
        EXPECT_EQ(std::u16string(moved->name), u"f");
        EXPECT_EQ(DVOGetFirstFolderInfo(At("a")), nullptr);
        ExpectSameAsNewSearch("moved");
        std::filesystem::remove(tree + "/b/f");
    }
}

// Bytes of a file with several names stay counted while one of its names remains in the search,
// at the name a new search would count first.
TEST_F(ActionTotals, RemovingOneNameOfAHardLinkedFile) {
    struct Case {
        const char* what;
        const char* directory; // below tree
        const char* name;
        bool trash;
    };
    const Case cases[] = {
        {"the counted name, deleted", "a", "h", false},
        {"the counted name, trashed", "a", "h", true},
        {"the folder holding the counted name", "", "a", false},
        {"a name not counted", "b", "h2", false},
        {"the only name in the search", "c", "solo", false},
    };
    const std::string data = tmp / "data";
    ::mkdir(data.c_str(), 0700);
    ScopedEnv dataHome{"XDG_DATA_HOME", data.c_str()};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(tree);
        std::filesystem::create_directories(tree + "/a");
        std::filesystem::create_directories(tree + "/b/deep");
        std::filesystem::create_directories(tree + "/c");
        WriteFile(tree + "/a/h", std::string(7, 'h'));
        ASSERT_EQ(::link((tree + "/a/h").c_str(), (tree + "/b/h2").c_str()), 0);
        ASSERT_EQ(::link((tree + "/a/h").c_str(), (tree + "/b/deep/h3").c_str()), 0);
        WriteFile(tree + "/c/solo", std::string(50, 's'));
        ASSERT_EQ(
            ::link((tree + "/c/solo").c_str(), (tmp / ("outside-" + std::string(c.what))).c_str()),
            0);
        Scan();
        const std::u16string dir16 =
            *c.directory ? tree16 + u"/" + Utf8ToUtf16(c.directory) : tree16;
        const std::u16string name16 = Utf8ToUtf16(c.name);
        ASSERT_EQ(c.trash ? DVODeleteFile(name16.c_str(), dir16.c_str())
                          : DVODeleteFilePermanently(name16.c_str(), dir16.c_str()),
                  DVO_OK)
            << LastError();
        ExpectSameAsNewSearch("removed once");
        if (c.directory == std::string("a") && !c.trash) {
            // Then the name now counted goes too: the bytes pass on to the last one.
            const std::u16string b16 = tree16 + u"/b";
            ASSERT_EQ(DVODeleteFilePermanently(u"h2", b16.c_str()), DVO_OK) << LastError();
            ExpectSameAsNewSearch("removed twice");
        }
    }
}

// A delete that stops part way (here at a mount point it must not empty) takes off what it
// removed, not nothing and not the whole folder.
TEST_F(ActionTotals, DeleteStoppedPartWayTakesOffWhatWentOnly) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    std::filesystem::create_directories(tree + "/d/m");
    std::filesystem::create_directories(tree + "/d/sub");
    WriteFile(tree + "/d/a", std::string(100, 'a'));
    WriteFile(tree + "/d/sub/b", std::string(10, 'b'));
    WriteFile(tree + "/d/z", std::string(5, 'z'));
    WriteFile(tree + "/keep", std::string(1, 'k'));
    std::string reason;
    if (!tmp.MountTmpfs(tree + "/d/m", "size=1m", &reason))
        GTEST_SKIP() << reason;
    WriteFile(tree + "/d/m/inside", std::string(20, 'i'));
    Scan();
    EXPECT_EQ(DVODeleteFilePermanently(u"d", tree16.c_str()), DVO_E_MOUNT_POINT);
    ASSERT_TRUE(Exists(tree + "/d/m"));
    ASSERT_FALSE(Exists(tree + "/d/a"));
    ExpectSameAsNewSearch("stopped at the mount point");
}

} // namespace
