// The exported file operations on entries of a real search, by the names the engine reported.
#include "engine/DVOSUB.h"
#include "platform/Text.h"

#include "tests/engine/EngineRecords.h"
#include "tests/support/FileTree.h"
#include "tests/support/ScopedEnv.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

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

    void Scan(int followLinks = 0) {
        ASSERT_EQ(DVOStartFileSearching(), 0);
        ASSERT_EQ(DVOAddSearchDirectory(tree16.c_str()), 0);
        ASSERT_EQ(DVOExecFileSearch(1, followLinks, 1, 0), 0);
        while (DVOIsSearching() != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // The record the search made for tree/<name>, as the program would get it.
    const FolderRecord* Record(const std::string& name) {
        const std::u16string name16 = Utf8ToUtf16(name);
        std::function<const FolderRecord*(FolderRecord*)> find =
            [&](FolderRecord* parent) -> const FolderRecord* {
            for (FolderRecord* r = DVOGetFirstFolderInfo(parent); r != nullptr;
                 r = DVOGetNextFolderInfo(parent)) {
                if (r->name == name16 && r->directory == tree16)
                    return r;
                if (r->kind == 0 && r->depth == 0)
                    return find(r);
            }
            return nullptr;
        };
        return find(DVOGetRootFolderInfo());
    }

    // A fresh enumeration of the parent's children, as the program makes one.
    static std::vector<FolderRecord*> Children(FolderRecord* parent) {
        std::vector<FolderRecord*> out;
        for (FolderRecord* r = DVOGetFirstFolderInfo(parent); r != nullptr;
             r = DVOGetNextFolderInfo(parent))
            out.push_back(r);
        return out;
    }
    static std::string Names(const std::vector<FolderRecord*>& records) {
        std::string out;
        for (const FolderRecord* r : records)
            out += (out.empty() ? "" : " ") + Utf16ToUtf8(r->name);
        return out;
    }
    // The record of tree/<path> ("" for tree itself) found through the enumerations.
    static FolderRecord* At(const std::string& path) { return dvo::test::RecordAt(path); }

    static std::string LastError() { return dvo::test::LastErrorText(); }
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

// A folder above the entry moved out of the tree and replaced by a link to where it went: the
// entry is still the same file, but reaching it through the link would act outside the tree.
TEST_F(FileExports, RefusesAFolderAboveTheEntrySwappedForALink) {
    const std::string elsewhere = tmp / "elsewhere";
    const std::string dest = tmp / "dest";
    ::mkdir(dest.c_str(), 0755);
    ::mkdir((tree + "/a").c_str(), 0755);
    ::mkdir((tree + "/a/sub").c_str(), 0755);
    WriteFile(tree + "/a/x", "x");
    WriteFile(tree + "/a/sub/y", "y");
    Scan();
    ASSERT_EQ(::rename((tree + "/a").c_str(), elsewhere.c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), (tree + "/a").c_str()), 0);

    const std::u16string dest16 = Utf8ToUtf16(dest);
    for (const std::string& at : {std::string("a"), std::string("a/sub")}) {
        const std::u16string dir = Utf8ToUtf16(tree + "/" + at);
        const char16_t* name = at == "a" ? u"x" : u"y";
        const std::pair<const char*, std::function<int()>> calls[] = {
            {"delete", [&] { return DVODeleteFile(name, dir.c_str()); }},
            {"delete permanently", [&] { return DVODeleteFilePermanently(name, dir.c_str()); }},
            {"copy", [&] { return DVOCopyFile(name, dir.c_str(), dest16.c_str()); }},
            {"move", [&] { return DVOMoveFile(name, dir.c_str(), dest16.c_str()); }},
        };
        for (const auto& [what, call] : calls) {
            SCOPED_TRACE(at + " " + what);
            EXPECT_EQ(call(), DVO_E_CHANGED) << LastError();
            EXPECT_EQ(ReadFile(elsewhere + "/x"), "x");
            EXPECT_EQ(ReadFile(elsewhere + "/sub/y"), "y");
            EXPECT_FALSE(Exists(dest + "/x"));
            EXPECT_FALSE(Exists(dest + "/y"));
            EXPECT_FALSE(Exists(data + "/Trash/files/x"));
            EXPECT_FALSE(Exists(data + "/Trash/files/y"));
        }
    }
    // Put back, the tree is what the search saw and the calls work again.
    ASSERT_EQ(::unlink((tree + "/a").c_str()), 0);
    ASSERT_EQ(::rename(elsewhere.c_str(), (tree + "/a").c_str()), 0);
    EXPECT_EQ(DVOCopyFile(u"y", Utf8ToUtf16(tree + "/a/sub").c_str(), dest16.c_str()), DVO_OK)
        << LastError();
    EXPECT_EQ(DVODeleteFilePermanently(u"x", Utf8ToUtf16(tree + "/a").c_str()), DVO_OK)
        << LastError();
}

// A search that followed links reached these entries through one, so the calls may too; a link
// retargeted since leads to another folder and is refused.
TEST_F(FileExports, ActsThroughTheLinksASearchFollowed) {
    const std::string target = tmp / "target";
    const std::string other = tmp / "other";
    const std::string dest = tmp / "dest";
    for (const std::string& d : {target, other, dest})
        ::mkdir(d.c_str(), 0755);
    WriteFile(target + "/f", "f");
    WriteFile(target + "/g", "g");
    ::symlink(target.c_str(), (tree + "/link").c_str());
    Scan(1);
    const std::u16string link16 = Utf8ToUtf16(tree + "/link");
    EXPECT_EQ(DVOCopyFile(u"f", link16.c_str(), Utf8ToUtf16(dest).c_str()), DVO_OK) << LastError();
    EXPECT_EQ(ReadFile(dest + "/f"), "f");

    ASSERT_EQ(::rename((target + "/g").c_str(), (other + "/g").c_str()), 0);
    ASSERT_EQ(::unlink((tree + "/link").c_str()), 0);
    ASSERT_EQ(::symlink(other.c_str(), (tree + "/link").c_str()), 0);
    EXPECT_EQ(DVODeleteFilePermanently(u"g", link16.c_str()), DVO_E_CHANGED) << LastError();
    EXPECT_EQ(ReadFile(other + "/g"), "g");
}

// `rm -rf build && mkdir build && echo x > build/report.txt` after the search: whatever inode
// numbers the new entries got, they are not the searched ones.
TEST_F(FileExports, RefusesEntriesMadeAgainAfterTheSearch) {
    const std::string build = tree + "/build";
    ::mkdir(build.c_str(), 0755);
    WriteFile(build + "/report.txt", "old");
    Scan();
    // File times come from a clock that may lag by a tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::filesystem::remove_all(build);
    ::mkdir(build.c_str(), 0755);
    WriteFile(build + "/report.txt", "new");

    const std::u16string build16 = Utf8ToUtf16(build);
    EXPECT_EQ(DVODeleteFilePermanently(u"report.txt", build16.c_str()), DVO_E_CHANGED);
    EXPECT_EQ(DVODeleteFile(u"build", tree16.c_str()), DVO_E_CHANGED);
    EXPECT_EQ(ReadFile(build + "/report.txt"), "new");
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
    ASSERT_EQ(DVOMoveFile(u"seen", tree16.c_str(), Utf8ToUtf16(data).c_str()), DVO_OK)
        << LastError();
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
    expect("a link the search did not count again",
           {{1107, 2, 3}, {1107, 0, 3}, {10, 0, 1}, {0, 0, 0}});

    ASSERT_EQ(DVOMoveFile(u"h", a16.c_str(), outside16.c_str()), DVO_OK) << LastError();
    expect("moved out of the search", {{1100, 2, 2}, {1100, 0, 2}, {10, 0, 1}, {0, 0, 0}});

    // Gone for the engine too: a second call finds nothing to act on.
    EXPECT_EQ(DVODeleteFile(u"sub", a16.c_str()), DVO_E_NOT_FOUND);
    expect("nothing more", {{1100, 2, 2}, {1100, 0, 2}, {10, 0, 1}, {0, 0, 0}});
}

// A move into another folder of the search: the entry is listed, found and acted on at its new
// place only, with its contents below it; records the program already holds follow. Run with the
// records made before the move and with none made until after it.
TEST_F(FileExports, MovedEntriesLiveAtTheirNewPlace) {
    for (const bool enumeratedFirst : {true, false}) {
        SCOPED_TRACE(enumeratedFirst ? "records made before the move"
                                     : "no records before the move");
        std::filesystem::remove_all(tree);
        ::mkdir(tree.c_str(), 0755);
        // tree/src: file (5), dir/inner (3), dir/sub/deep (2); tree/dst: a (1), z (1)
        for (const char* d : {"src", "src/dir", "src/dir/sub", "dst"})
            ::mkdir((tree + "/" + d).c_str(), 0755);
        WriteFile(tree + "/src/file", std::string(5, 'f'));
        WriteFile(tree + "/src/dir/inner", std::string(3, 'i'));
        WriteFile(tree + "/src/dir/sub/deep", std::string(2, 'd'));
        WriteFile(tree + "/dst/a", "a");
        WriteFile(tree + "/dst/z", "z");
        const std::u16string src16 = tree16 + u"/src";
        const std::u16string dst16 = tree16 + u"/dst";
        Scan();
        ASSERT_EQ(DVOGetFolderInfoCount(), 5);
        FolderRecord* inner = nullptr;
        FolderRecord* deep = nullptr;
        if (enumeratedFirst) {
            ASSERT_EQ(Names(Children(At("dst"))), "a z");
            inner = At("src/dir/inner");
            deep = At("src/dir/sub/deep");
            ASSERT_NE(deep, nullptr);
        }

        ASSERT_EQ(DVOMoveFile(u"file", src16.c_str(), dst16.c_str()), DVO_OK) << LastError();
        ASSERT_EQ(DVOMoveFile(u"dir", src16.c_str(), (dst16 + u"/").c_str()), DVO_OK)
            << LastError();

        EXPECT_EQ(Names(Children(At("src"))), "");
        const std::vector<FolderRecord*> dst = Children(At("dst"));
        ASSERT_EQ(Names(dst), "a dir file z");
        for (const FolderRecord* r : dst) {
            EXPECT_EQ(r->directory, dst16);
            EXPECT_EQ(r->depth, 2);
        }
        FolderRecord* dir = dst[1];
        EXPECT_EQ(dir->kind, 0);
        EXPECT_EQ(dir->size, 5);
        EXPECT_EQ(dir->folderCount, 1);
        EXPECT_EQ(dir->fileCount, 2);
        EXPECT_EQ(dst[2]->kind, 1);
        EXPECT_EQ(dst[2]->size, 5);
        const std::vector<FolderRecord*> inDir = Children(dir);
        ASSERT_EQ(Names(inDir), "inner sub");
        for (const FolderRecord* r : inDir) {
            EXPECT_EQ(r->directory, dst16 + u"/dir");
            EXPECT_EQ(r->depth, 3);
        }
        const std::vector<FolderRecord*> inSub = Children(inDir[1]);
        ASSERT_EQ(Names(inSub), "deep");
        EXPECT_EQ(inSub[0]->directory, dst16 + u"/dir/sub");
        EXPECT_EQ(inSub[0]->depth, 4);
        if (enumeratedFirst) {
            EXPECT_EQ(inner, inDir[0]);
            EXPECT_EQ(deep, inSub[0]);
        }

        // Each folder once in the folder list, the moved one showing its new place.
        FolderRecord* folders[6] = {};
        ASSERT_EQ(DVOGetFolderInfoCount(), 5);
        ASSERT_EQ(DVOGetFolderInfo(folders, 6), 5);
        EXPECT_EQ(std::count(folders, folders + 5, dir), 1);
        EXPECT_EQ(std::count(folders, folders + 5, inDir[1]), 1);
        const FolderRecord* root = At("");
        EXPECT_EQ(root->size, 12);
        EXPECT_EQ(root->folderCount, 4);
        EXPECT_EQ(root->fileCount, 5);
        EXPECT_EQ(At("src")->size, 0);
        EXPECT_EQ(At("dst")->size, 12);
        EXPECT_EQ(At("dst")->fileCount, 5);

        // The old place is refused, the new one acts on the same entry.
        EXPECT_EQ(DVODeleteFile(u"file", src16.c_str()), DVO_E_NOT_FOUND);
        EXPECT_EQ(DVOMoveFile(u"dir", src16.c_str(), tree16.c_str()), DVO_E_NOT_FOUND);
        EXPECT_EQ(DVODeleteFilePermanently(u"deep", (src16 + u"/dir/sub").c_str()),
                  DVO_E_NOT_FOUND);
        EXPECT_TRUE(Exists(tree + "/dst/dir/sub/deep"));
        ASSERT_EQ(DVODeleteFilePermanently(u"deep", inSub[0]->directory), DVO_OK) << LastError();
        EXPECT_FALSE(Exists(tree + "/dst/dir/sub/deep"));
        EXPECT_EQ(dir->size, 3);
        EXPECT_EQ(At("dst")->size, 10);
        ASSERT_EQ(DVODeleteFile(u"file", dst16.c_str()), DVO_OK) << LastError();
        EXPECT_FALSE(Exists(tree + "/dst/file"));
        EXPECT_EQ(DVOMoveFile(u"file", dst16.c_str(), tree16.c_str()), DVO_E_NOT_FOUND);
        // A second move, up to the searched folder.
        ASSERT_EQ(DVOMoveFile(u"dir", dst16.c_str(), tree16.c_str()), DVO_OK) << LastError();
        EXPECT_EQ(Names(Children(At(""))), "dir dst src");
        EXPECT_EQ(Names(Children(At("dst"))), "a file z"); // a deleted entry is listed as before
        EXPECT_EQ(dir->directory, tree16);
        EXPECT_EQ(dir->depth, 1);
        EXPECT_EQ(inDir[0]->directory, tree16 + u"/dir");
        EXPECT_EQ(inDir[0]->depth, 2);
        EXPECT_EQ(At("dir/sub"), inDir[1]);
        EXPECT_EQ(At("dst")->size, 2);
        EXPECT_EQ(root->size, 5);
        ASSERT_EQ(DVOCopyFile(u"inner", (tree16 + u"/dir").c_str(), dst16.c_str()), DVO_OK)
            << LastError();
        EXPECT_EQ(ReadFile(tree + "/dst/inner"), "iii");
        EXPECT_EQ(DVOGetFolderInfoCount(), 5);
    }
}

// An entry moved away and back is listed once where it is; one moved in under the name of an
// entry deleted there takes that name's place.
TEST_F(FileExports, MovesBackAndOntoAFreedName) {
    // tree/a: x/f, n (1 byte); tree/b: n (2 bytes)
    for (const char* d : {"a", "a/x", "b"})
        ::mkdir((tree + "/" + d).c_str(), 0755);
    WriteFile(tree + "/a/x/f", "f");
    WriteFile(tree + "/a/n", "1");
    WriteFile(tree + "/b/n", "22");
    const std::u16string a16 = tree16 + u"/a";
    const std::u16string b16 = tree16 + u"/b";
    Scan();
    ASSERT_EQ(Names(Children(At("a"))), "n x");

    ASSERT_EQ(DVOMoveFile(u"x", a16.c_str(), b16.c_str()), DVO_OK) << LastError();
    ASSERT_EQ(DVOMoveFile(u"x", b16.c_str(), a16.c_str()), DVO_OK) << LastError();
    EXPECT_EQ(Names(Children(At("a"))), "n x");
    EXPECT_EQ(Names(Children(At("b"))), "n");
    EXPECT_EQ(At("a/x/f")->directory, a16 + u"/x");
    EXPECT_EQ(At("a")->size, 2);
    EXPECT_EQ(At("b")->size, 2);
    EXPECT_EQ(DVOCopyFile(u"x", b16.c_str(), tree16.c_str()), DVO_E_NOT_FOUND);

    ASSERT_EQ(DVODeleteFilePermanently(u"n", a16.c_str()), DVO_OK) << LastError();
    ASSERT_EQ(DVOMoveFile(u"n", b16.c_str(), a16.c_str()), DVO_OK) << LastError();
    const std::vector<FolderRecord*> a = Children(At("a"));
    ASSERT_EQ(Names(a), "n x");
    EXPECT_EQ(a[0]->size, 2);
    EXPECT_EQ(At("a")->size, 3);
    ASSERT_EQ(DVODeleteFilePermanently(u"n", a16.c_str()), DVO_OK) << LastError();
    EXPECT_FALSE(Exists(tree + "/a/n"));
    EXPECT_EQ(At("a")->size, 1);
    EXPECT_EQ(At("")->fileCount, 1);
}

// Moves of entries that were themselves moved, into folders that were moved: after each one the
// listing is the disk's, every record's directory and depth say where it is, and the totals add up.
TEST_F(FileExports, ChainedMovesKeepTheListingTrue) {
    // tree/a: f (1); tree/b: g/h (10); tree/c: k (100)
    for (const char* d : {"a", "b", "b/g", "c"})
        ::mkdir((tree + "/" + d).c_str(), 0755);
    WriteFile(tree + "/a/f", "f");
    WriteFile(tree + "/b/g/h", std::string(10, 'h'));
    WriteFile(tree + "/c/k", std::string(100, 'k'));
    Scan();
    // Pre-order "path size" lines, children in byte order; a folder's size is what lies below.
    std::function<long long(const std::string&, std::string&)> disk = [&](const std::string& rel,
                                                                          std::string& out) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(tree + rel))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        long long total = 0;
        for (const std::string& n : names) {
            const std::string path = rel + "/" + n;
            std::string below;
            const bool folder = std::filesystem::is_directory(tree + path);
            const long long size =
                folder ? disk(path, below)
                       : static_cast<long long>(std::filesystem::file_size(tree + path));
            out += path + " " + std::to_string(size) + "\n" + below;
            total += size;
        }
        return total;
    };
    std::function<void(FolderRecord*, const std::u16string&, int, std::string&)> listed =
        [&](FolderRecord* parent, const std::u16string& path, int depth, std::string& out) {
            for (FolderRecord* r : Children(parent)) {
                const std::u16string own = path + u"/" + r->name;
                EXPECT_EQ(r->directory, path) << Utf16ToUtf8(own);
                EXPECT_EQ(r->depth, depth) << Utf16ToUtf8(own);
                out +=
                    Utf16ToUtf8(own.substr(tree16.size())) + " " + std::to_string(r->size) + "\n";
                if (r->kind == 0)
                    listed(r, own, depth + 1, out);
            }
        };
    const auto check = [&](const char* step) {
        SCOPED_TRACE(step);
        std::string want;
        const long long total = disk("", want);
        std::string got;
        listed(At(""), tree16, 1, got);
        EXPECT_EQ(got, want);
        EXPECT_EQ(At("")->size, total);
    };
    check("searched");
    // Records made before the moves: the listing above made them all.
    ASSERT_EQ(DVOMoveFile(u"f", (tree16 + u"/a").c_str(), (tree16 + u"/b/g").c_str()), DVO_OK)
        << LastError();
    check("a file into a folder");
    ASSERT_EQ(DVOMoveFile(u"g", (tree16 + u"/b").c_str(), (tree16 + u"/c").c_str()), DVO_OK)
        << LastError();
    check("that folder, with the file moved in, elsewhere");
    ASSERT_EQ(DVOMoveFile(u"c", tree16.c_str(), (tree16 + u"/a").c_str()), DVO_OK) << LastError();
    check("the folder above it, down a level");
    ASSERT_EQ(DVOMoveFile(u"f", (tree16 + u"/a/c/g").c_str(), tree16.c_str()), DVO_OK)
        << LastError();
    check("the file by its latest place, up to the top");
    ASSERT_EQ(DVOMoveFile(u"k", (tree16 + u"/a/c").c_str(), (tree16 + u"/a/c/g").c_str()), DVO_OK)
        << LastError();
    check("a file the scan found in a moved folder, deeper");
    for (const char16_t* gone : {u"/a", u"/c", u"/a/c", u"/b/g"})
        EXPECT_EQ(DVOCopyFile(u"k", (tree16 + gone).c_str(), tree16.c_str()), DVO_E_NOT_FOUND)
            << Utf16ToUtf8(gone);
    EXPECT_EQ(DVOGetFolderInfoCount(), 5);
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

// What a transfer's progress callback was told; cancels at the report numbered cancelAt.
struct Reports {
    struct Report {
        long long done, total;
        std::string name;
    };
    std::vector<Report> seen;
    std::size_t cancelAt = SIZE_MAX;

    static int Callback(long long done, long long total, const char16_t* name, void* context) {
        auto* self = static_cast<Reports*>(context);
        self->seen.push_back({done, total, Utf16ToUtf8(name)});
        return self->seen.size() > self->cancelAt ? 1 : 0;
    }
};

TEST_F(FileExports, CopyCancelledAtTheFirstReportLeavesNoTarget) {
    const std::string dest = tmp / "dest";
    ::mkdir(dest.c_str(), 0755);
    ::mkdir((tree + "/folder").c_str(), 0755);
    ::mkdir((tree + "/folder/deep").c_str(), 0755);
    WriteFile(tree + "/folder/a", std::string(1000, 'a'));
    WriteFile(tree + "/folder/deep/b", std::string(3 << 20, 'b'));
    WriteFile(tree + "/file", std::string(3 << 20, 'f'));
    Scan();
    const std::u16string dest16 = Utf8ToUtf16(dest);
    for (const char16_t* name : {u"file", u"folder"}) {
        SCOPED_TRACE(Utf16ToUtf8(name));
        Reports reports;
        reports.cancelAt = 0;
        // On a thread of its own, as the window runs it; the reason is read here afterwards.
        int result = 0;
        std::thread([&] {
            result =
                DVOCopyFileEx(name, tree16.c_str(), dest16.c_str(), &Reports::Callback, &reports);
        }).join();
        EXPECT_EQ(result, DVO_E_CANCELLED);
        EXPECT_EQ(reports.seen.size(), 1u);
        EXPECT_NE(LastError().find("キャンセル"), std::string::npos) << LastError();
        EXPECT_FALSE(Exists(dest + "/" + Utf16ToUtf8(name)));
    }
    // Cancelled halfway through the folder: what was copied of it goes as well.
    Reports later;
    later.cancelAt = 2;
    EXPECT_EQ(DVOCopyFileEx(u"folder", tree16.c_str(), dest16.c_str(), &Reports::Callback, &later),
              DVO_E_CANCELLED);
    EXPECT_FALSE(Exists(dest + "/folder"));
    EXPECT_EQ(ReadFile(tree + "/folder/a"), std::string(1000, 'a'));
}

TEST_F(FileExports, ProgressCountsUpToTheTotalNowAndThen) {
    const std::string dest = tmp / "dest";
    ::mkdir(dest.c_str(), 0755);
    ::mkdir((tree + "/folder").c_str(), 0755);
    ::mkdir((tree + "/folder/sub").c_str(), 0755);
    WriteFile(tree + "/folder/small", std::string(10, 's'));
    WriteFile(tree + "/folder/sub/big", std::string(24 << 20, 'b'));
    ::symlink("small", (tree + "/folder/link").c_str()); // a link adds no bytes
    const long long total = 10 + (24 << 20);
    Scan();
    Reports reports;
    ASSERT_EQ(DVOCopyFileEx(u"folder", tree16.c_str(), Utf8ToUtf16(dest).c_str(),
                            &Reports::Callback, &reports),
              DVO_OK)
        << LastError();
    EXPECT_EQ(ReadFile(dest + "/folder/sub/big").size(), std::size_t{24 << 20});
    ASSERT_FALSE(reports.seen.empty());
    long long previous = 0;
    for (const auto& r : reports.seen) {
        if (r.total < 0)
            continue; // still counting
        EXPECT_EQ(r.total, total);
        EXPECT_GE(r.done, previous);
        previous = r.done;
    }
    EXPECT_EQ(reports.seen.back().done, total);
    EXPECT_EQ(reports.seen.back().name, "folder/sub/big");
    // Told now and then, not per block: 24 MB in 128 KiB blocks would be 192 reports.
    EXPECT_LT(reports.seen.size(), 40u);
}

TEST_F(FileExports, CancelledMoveAcrossFileSystemsKeepsTheSource) {
    TempFolder shm("/dev/shm");
    struct stat a = {};
    struct stat b = {};
    if (shm.path().empty() || ::stat(shm.path().c_str(), &a) != 0 ||
        ::stat(tree.c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "/dev/shm is not another file system than " << tree;
    ::mkdir((tree + "/folder").c_str(), 0755);
    WriteFile(tree + "/folder/a", std::string(5 << 20, 'a'));
    WriteFile(tree + "/folder/b", std::string(5 << 20, 'b'));
    Scan();
    const std::u16string into = Utf8ToUtf16(shm.path());
    for (std::size_t cancelAt : {0u, 2u}) {
        SCOPED_TRACE(cancelAt);
        Reports reports;
        reports.cancelAt = cancelAt;
        EXPECT_EQ(
            DVOMoveFileEx(u"folder", tree16.c_str(), into.c_str(), &Reports::Callback, &reports),
            DVO_E_CANCELLED);
        EXPECT_EQ(ReadFile(tree + "/folder/a"), std::string(5 << 20, 'a'));
        EXPECT_EQ(ReadFile(tree + "/folder/b"), std::string(5 << 20, 'b'));
        EXPECT_FALSE(Exists(shm / "folder"));
    }
    // Still the search's entry: the move itself goes through afterwards.
    Reports reports;
    ASSERT_EQ(DVOMoveFileEx(u"folder", tree16.c_str(), into.c_str(), &Reports::Callback, &reports),
              DVO_OK)
        << LastError();
    EXPECT_FALSE(Exists(tree + "/folder"));
    EXPECT_EQ(ReadFile(shm / "folder/b"), std::string(5 << 20, 'b'));
}

// Helpers that fail, as xdg-open and lp do: the callback gets their status and error text.
TEST_F(FileExports, ShellDoneTellsHowTheHelperEnded) {
    const std::string bin = tmp / "bin";
    ::mkdir(bin.c_str(), 0755);
    ScopedEnv path{"PATH", bin.c_str()};
    ScopedEnv noBus{"DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + tmp / "no-bus").c_str()};
    WriteFile(tree + "/doc.pdf", "pdf");
    Scan();
    struct Done {
        std::mutex mutex;
        std::condition_variable changed;
        bool called = false;
        int status = -1;
        std::string text;
        static void Callback(int status, const char16_t* text, void* context) {
            auto* self = static_cast<Done*>(context);
            std::lock_guard lock(self->mutex);
            self->called = true;
            self->status = status;
            self->text = Utf16ToUtf8(text);
            self->changed.notify_all();
        }
    };
    struct Case {
        const char* program;
        int op;
        std::string script; // after #!/bin/sh
        int status;
        std::string text;
    } cases[] = {
        {"lp", 3, "echo 'lp: No default destination.' >&2; exit 1", 1,
         "lp: No default destination.\n"},
        {"xdg-open", 2, "echo \"xdg-open: no method available for opening '$1'\" >&2; exit 3", 3,
         "xdg-open: no method available for opening '" + tree + "/doc.pdf'\n"},
        {"xdg-open", 2, "exit 0", 0, ""},
        {"xdg-open", 2, "kill -TERM $$", 128 + SIGTERM, ""},
        // A viewer it leaves running keeps the pipe open: the end is still told at once.
        {"xdg-open", 2, "/bin/sleep 5 >/dev/null & echo started >&2; exit 4", 4, "started\n"},
        // A flood is cut to the first 4 KiB.
        {"lp", 3, "/usr/bin/head -c 100000 /dev/zero | /usr/bin/tr '\\0' x >&2; exit 1", 1,
         std::string(4096, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        WriteFile(bin + "/" + c.program, std::string("#!/bin/sh\n") + c.script + "\n", 0755);
        Done done;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(DVOShellExecuteEx(0, u"doc.pdf", tree16.c_str(), c.op, &Done::Callback, &done),
                  DVO_OK)
            << LastError();
        std::unique_lock lock(done.mutex);
        ASSERT_TRUE(
            done.changed.wait_for(lock, std::chrono::seconds(10), [&] { return done.called; }));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(done.status, c.status);
        EXPECT_EQ(done.text, c.text);
    }
    // A helper that cannot be started is the call's own failure; the callback is not called.
    ::unlink((bin + "/lp").c_str());
    Done never;
    EXPECT_EQ(DVOShellExecuteEx(0, u"doc.pdf", tree16.c_str(), 3, &Done::Callback, &never),
              DVO_E_UNSUPPORTED);
    EXPECT_FALSE(never.called);
}

} // namespace
