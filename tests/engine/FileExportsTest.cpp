// The exported file operations on entries of a real search, by the names the engine reported.
#include "engine/DVOSUB.h"
#include "platform/Text.h"

#include "tests/platform/ScopedEnv.h"
#include "tests/support/FileTree.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using namespace testing_support;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

namespace {

const std::string kNotUtf8 = "caf\xE9 \xFF";

class FileExports : public ::testing::Test {
protected:
    TempFolder tmp;
    std::string data = tmp / "data";
    ScopedEnv dataHome{"XDG_DATA_HOME", data.c_str()};
    std::string tree = tmp / "tree";
    std::u16string tree16 = Utf8ToUtf16(tree);

    void SetUp() override {
        ::mkdir(data.c_str(), 0700);
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

    // The record the search made for tree/<name>, as the program would get it.
    const FolderRecord* Record(const std::string& name) {
        const std::u16string name16 = Utf8ToUtf16(name);
        std::function<const FolderRecord*(FolderRecord*)> find = [&](FolderRecord* parent) -> const FolderRecord* {
            for (FolderRecord* r = DVOGetFirstFolderInfo(parent); r != nullptr; r = DVOGetNextFolderInfo(parent)) {
                if (r->name == name16 && r->directory == tree16)
                    return r;
                if (r->kind == 0 && r->depth == 0)
                    return find(r);
            }
            return nullptr;
        };
        return find(DVOGetRootFolderInfo());
    }

    static std::string LastError() {
        char16_t text[512];
        const int n = DVOGetLastErrorText(text, sizeof text);
        return n < 0 ? "<error>" : Utf16ToUtf8({text, static_cast<std::size_t>(n)});
    }
};

TEST_F(FileExports, TrashesANameThatIsNotUtf8ByTheReportedName) {
    WriteFile(tree + "/" + kNotUtf8, "bytes");
    Scan();
    const FolderRecord* record = Record(kNotUtf8);
    ASSERT_NE(record, nullptr);
    EXPECT_NE(std::u16string(record->name).find(u'\xDCE9'), std::u16string::npos);

    ASSERT_EQ(DVODeleteFile(record->name, record->directory), DVO_OK) << LastError();
    EXPECT_EQ(LastError(), "");
    EXPECT_FALSE(Exists(tree + "/" + kNotUtf8));
    EXPECT_EQ(ReadFile(data + "/Trash/files/" + kNotUtf8), "bytes");
    EXPECT_TRUE(Exists(data + "/Trash/info/" + kNotUtf8 + ".trashinfo"));
    // Gone since: a second call finds nothing and says so.
    EXPECT_EQ(DVODeleteFile(record->name, record->directory), DVO_E_NOT_FOUND);
    EXPECT_NE(LastError(), "");
}

TEST_F(FileExports, RefusesNamesThatAreNotOneEntry) {
    WriteFile(tree + "/a", "a");
    Scan();
    const std::u16string dest = Utf8ToUtf16(tmp.path());
    for (const char16_t* name : {u"", u".", u"..", u"a/..", u"../tree", u"/a"}) {
        SCOPED_TRACE(Utf16ToUtf8(name));
        const std::pair<const char*, std::function<int()>> calls[] = {
            {"delete", [&] { return DVODeleteFile(name, tree16.c_str()); }},
            {"delete permanently", [&] { return DVODeleteFilePermanently(name, tree16.c_str()); }},
            {"copy", [&] { return DVOCopyFile(name, tree16.c_str(), dest.c_str()); }},
            {"move", [&] { return DVOMoveFile(name, tree16.c_str(), dest.c_str()); }},
            {"open", [&] { return DVOShellExecute(0, name, tree16.c_str(), 2); }},
        };
        for (const auto& [what, call] : calls) {
            SCOPED_TRACE(what);
            EXPECT_EQ(call(), DVO_E_INVALID_ARGUMENT);
            EXPECT_NE(LastError(), "");
        }
    }
    EXPECT_EQ(DVODeleteFile(nullptr, tree16.c_str()), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOCopyFile(u"a", tree16.c_str(), nullptr), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(ReadFile(tree + "/a"), "a");
}

// A folder swapped for a link to an outside folder after the search: every call refuses it and
// the outside folder survives.
TEST_F(FileExports, RefusesAFolderReplacedByALinkAfterTheSearch) {
    const std::string outside = tmp / "outside";
    const std::string dest = tmp / "dest";
    ::mkdir(outside.c_str(), 0755);
    ::mkdir(dest.c_str(), 0755);
    WriteFile(outside + "/keep", "keep");
    ::mkdir((tree + "/folder").c_str(), 0755);
    WriteFile(tree + "/folder/inner", "inner");
    Scan();
    std::filesystem::remove_all(tree + "/folder");
    ::symlink(outside.c_str(), (tree + "/folder").c_str());

    const std::u16string dest16 = Utf8ToUtf16(dest);
    const std::pair<const char*, std::function<int()>> calls[] = {
        {"delete", [&] { return DVODeleteFile(u"folder", tree16.c_str()); }},
        {"delete permanently", [&] { return DVODeleteFilePermanently(u"folder", tree16.c_str()); }},
        {"copy", [&] { return DVOCopyFile(u"folder", tree16.c_str(), dest16.c_str()); }},
        {"move", [&] { return DVOMoveFile(u"folder", tree16.c_str(), dest16.c_str()); }},
    };
    for (const auto& [what, call] : calls) {
        SCOPED_TRACE(what);
        EXPECT_EQ(call(), DVO_E_CHANGED);
        EXPECT_NE(LastError().find("folder"), std::string::npos) << LastError();
        EXPECT_EQ(ReadFile(outside + "/keep"), "keep");
        EXPECT_EQ(LinkTarget(tree + "/folder"), outside);
        EXPECT_FALSE(Exists(dest + "/folder"));
    }
}

TEST_F(FileExports, ActsOnlyOnWhatTheSearchSaw) {
    WriteFile(tree + "/seen", "seen");
    Scan();
    WriteFile(tree + "/new", "new");
    const std::u16string dest = Utf8ToUtf16(tmp.path());
    EXPECT_EQ(DVOCopyFile(u"new", tree16.c_str(), dest.c_str()), DVO_E_NOT_FOUND);
    EXPECT_FALSE(Exists(tmp / "new"));

    ASSERT_EQ(DVOCopyFile(u"seen", tree16.c_str(), dest.c_str()), DVO_OK) << LastError();
    EXPECT_EQ(DVOCopyFile(u"seen", tree16.c_str(), dest.c_str()), DVO_E_EXISTS);
    ASSERT_EQ(DVOMoveFile(u"seen", tree16.c_str(), Utf8ToUtf16(data).c_str()), DVO_OK) << LastError();
    EXPECT_EQ(ReadFile(data + "/seen"), "seen");
    EXPECT_EQ(DVODeleteFilePermanently(u"seen", tree16.c_str()), DVO_E_NOT_FOUND);

    DVODestroyObj();
    EXPECT_EQ(DVODeleteFilePermanently(u"seen", tree16.c_str()), DVO_E_NO_OBJECT);
}

// After a delete or a move the folders above the entry stop counting it, so sizes and counts
// stay true for what is left on disk; a copy changes nothing.
TEST_F(FileExports, TotalsFollowDeletesAndMoves) {
    // tree/a: f (100), h (7, hard link counted here first), sub/g (10); tree/b: big (1000),
    // h2 (the same file as a/h, not counted again).
    ::mkdir((tree + "/a").c_str(), 0755);
    ::mkdir((tree + "/a/sub").c_str(), 0755);
    ::mkdir((tree + "/b").c_str(), 0755);
    WriteFile(tree + "/a/f", std::string(100, 'f'));
    WriteFile(tree + "/a/h", std::string(7, 'h'));
    WriteFile(tree + "/a/sub/g", std::string(10, 'g'));
    WriteFile(tree + "/b/big", std::string(1000, 'b'));
    ASSERT_EQ(::link((tree + "/a/h").c_str(), (tree + "/b/h2").c_str()), 0);
    const std::string outside = tmp / "outside";
    ::mkdir(outside.c_str(), 0755);
    const std::u16string outside16 = Utf8ToUtf16(outside);
    const std::u16string a16 = tree16 + u"/a";
    const std::u16string b16 = tree16 + u"/b";
    Scan();
    FolderRecord* records[4] = {};
    ASSERT_EQ(DVOGetFolderInfoCount(), 4); // tree, a, a/sub, b
    ASSERT_EQ(DVOGetFolderInfo(records, 4), 4);
    FolderRecord* top = DVOGetRootFolderInfo();
    ASSERT_NE(top, nullptr);
    struct Totals {
        long long size;
        int folders;
        int files;
    };
    const auto expect = [&](const char* step, std::initializer_list<Totals> want) {
        SCOPED_TRACE(step);
        const Totals* w = want.begin();
        for (int i = 0; i < 4; ++i, ++w) {
            SCOPED_TRACE(Utf16ToUtf8(records[i]->name));
            EXPECT_EQ(records[i]->size, w->size);
            EXPECT_EQ(records[i]->folderCount, w->folders);
            EXPECT_EQ(records[i]->fileCount, w->files);
        }
        EXPECT_EQ(top->size, records[0]->size);
        EXPECT_EQ(top->fileCount, records[0]->fileCount);
        EXPECT_EQ(top->folderCount, records[0]->folderCount + 1);
        SearchProgress progress{};
        ASSERT_EQ(DVOGetCurrentSearchInfo(&progress), 0);
        EXPECT_EQ(progress.size, records[0]->size);
        EXPECT_EQ(progress.fileCount, records[0]->fileCount);
        EXPECT_EQ(progress.folderCount, records[0]->folderCount);
    };
    //                      tree            a              a/sub         b
    expect("searched", {{1117, 3, 5}, {117, 1, 3}, {10, 0, 1}, {1000, 0, 2}});

    ASSERT_EQ(DVOCopyFile(u"big", b16.c_str(), outside16.c_str()), DVO_OK) << LastError();
    expect("a copy changes nothing", {{1117, 3, 5}, {117, 1, 3}, {10, 0, 1}, {1000, 0, 2}});

    ASSERT_EQ(DVODeleteFilePermanently(u"sub", a16.c_str()), DVO_OK) << LastError();
    expect("a folder deleted", {{1107, 2, 4}, {107, 0, 2}, {10, 0, 1}, {1000, 0, 2}});

    ASSERT_EQ(DVOMoveFile(u"big", b16.c_str(), a16.c_str()), DVO_OK) << LastError();
    expect("moved within the search", {{1107, 2, 4}, {1107, 0, 3}, {10, 0, 1}, {0, 0, 1}});

    ASSERT_EQ(DVODeleteFile(u"h2", b16.c_str()), DVO_OK) << LastError();
    expect("a link the search did not count again", {{1107, 2, 3}, {1107, 0, 3}, {10, 0, 1}, {0, 0, 0}});

    ASSERT_EQ(DVOMoveFile(u"h", a16.c_str(), outside16.c_str()), DVO_OK) << LastError();
    expect("moved out of the search", {{1100, 2, 2}, {1100, 0, 2}, {10, 0, 1}, {0, 0, 0}});

    // Gone for the engine too: a second call finds nothing to act on.
    EXPECT_EQ(DVODeleteFile(u"sub", a16.c_str()), DVO_E_NOT_FOUND);
    expect("nothing more", {{1100, 2, 2}, {1100, 0, 2}, {10, 0, 1}, {0, 0, 0}});
}

TEST_F(FileExports, LastErrorTextFitsTheBuffer) {
    Scan();
    ASSERT_EQ(DVODeleteFile(u"missing", tree16.c_str()), DVO_E_NOT_FOUND);
    char16_t full[512];
    const int length = DVOGetLastErrorText(full, sizeof full);
    ASSERT_GT(length, 8);
    EXPECT_EQ(full[length], u'\0');
    char16_t small[6] = {u'x', u'x', u'x', u'x', u'x', u'x'};
    EXPECT_EQ(DVOGetLastErrorText(small, 8), 3);
    EXPECT_EQ(std::u16string(small), std::u16string(full, 3));
    EXPECT_EQ(small[4], u'x'); // never written past the given size
    EXPECT_EQ(DVOGetLastErrorText(small, 1), DVO_E_INVALID_ARGUMENT);
}

} // namespace
