#include "DLLs/Brindle/Brindle.h"
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using brindle_test::ScratchDirTest;

using ChangeExt2Test = ScratchDirTest;

TEST_F(ChangeExt2Test, RenamesARealFile) {
    WriteFile(Path("data.txt"), "payload");
    EXPECT_EQ(ChangeExt2(Path("data.txt").c_str(), "csv"), 0);
    EXPECT_FALSE(fs::exists(Path("data.txt")));
    EXPECT_EQ(ReadFile(Path("data.csv")), "payload");
}

TEST_F(ChangeExt2Test, ReturnsTheErrnoOfAFailedRename) {
    WriteFile(Path("a.txt"), "old");
    WriteFile(Path("a.csv"), "taken");
    EXPECT_EQ(ChangeExt2(Path("a.txt").c_str(), "csv"), EEXIST);
    EXPECT_EQ(ReadFile(Path("a.txt")), "old");
    EXPECT_EQ(ReadFile(Path("a.csv")), "taken");

    EXPECT_EQ(ChangeExt2(Path("missing.txt").c_str(), "csv"), ENOENT);

    // Without a dot the new name is empty, so the rename cannot succeed. Relative, because the
    // scratch folder's own path may hold a dot.
    WriteFile(Path("plain"), "x");
    const int noDot = InScratch([] { return ChangeExt2("plain", "csv"); });
    EXPECT_EQ(noDot, ENOENT);
    EXPECT_TRUE(fs::exists(Path("plain")));
}

TEST_F(ChangeExt2Test, RefusesANewNameLongerThan255Bytes) {
    // Each component is short enough for the file system; only the whole new name is too long.
    const std::string dir = Path(std::string(120, 'd'));
    fs::create_directories(dir);
    const std::string file = dir + "/x.txt";
    WriteFile(file, "stay");
    const std::string ext(150, 'e');
    EXPECT_EQ(ChangeExt2(file.c_str(), ext.c_str()), ENAMETOOLONG);
    EXPECT_EQ(ReadFile(file), "stay");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

using MkDirTest = ScratchDirTest;

TEST_F(MkDirTest, CreatesNestedFoldersWithOrWithoutTrailingSeparator) {
    for (const std::string relative : {"a/b/c/", "x/y/z"}) {
        const std::string path = Path(relative);
        EXPECT_EQ(MkDir(path.c_str()), 0) << relative;
        EXPECT_TRUE(fs::is_directory(path)) << relative;
        // Again: nothing to create, still success.
        EXPECT_EQ(MkDir(path.c_str()), 0) << relative;
    }
    EXPECT_EQ(MkDir("/"), 0);
}

TEST_F(MkDirTest, RelativePathsNeverCreateTheirFirstComponent) {
    const int missingFirst = InScratch([] { return MkDir("new/sub"); });
    fs::create_directory(Path("old"));
    const int existingFirst = InScratch([] { return MkDir("old/sub/deeper/"); });

    EXPECT_EQ(missingFirst, -1);
    EXPECT_FALSE(fs::exists(Path("new")));
    EXPECT_EQ(existingFirst, 0);
    EXPECT_TRUE(fs::is_directory(Path("old/sub/deeper")));
}

TEST_F(MkDirTest, FailsWhereNoDirectoryCanBe) {
    WriteFile(Path("file"), "x");
    EXPECT_EQ(MkDir(Path("file").c_str()), -1); // a file holds the name
    EXPECT_EQ(MkDir(Path("file/sub").c_str()), -1);
    EXPECT_EQ(MkDir(""), -1);

    // Too long for the 1023-byte limit: refused whole rather than cut and created elsewhere.
    std::string longPath = Path("long");
    while (longPath.size() <= 1023)
        longPath += "/" + std::string(60, 'l');
    EXPECT_EQ(MkDir(longPath.c_str()), -1);
    EXPECT_FALSE(fs::exists(Path("long")));
}

TEST_F(MkDirTest, KeepsTheLevelsMadeBeforeAFailure) {
    // A component longer than the file system allows fails after "made" was created.
    const std::string path = Path("made/" + std::string(300, 'x') + "/end");
    EXPECT_EQ(MkDir(path.c_str()), -1);
    EXPECT_TRUE(fs::is_directory(Path("made")));
}

using RenameTest = ScratchDirTest;

TEST_F(RenameTest, MovesFilesAndFolders) {
    WriteFile(Path("one"), "1");
    EXPECT_EQ(Rename(Path("one").c_str(), Path("two").c_str()), 0);
    EXPECT_EQ(ReadFile(Path("two")), "1");
    EXPECT_FALSE(fs::exists(Path("one")));

    fs::create_directories(Path("dir/inner"));
    EXPECT_EQ(Rename(Path("dir").c_str(), Path("moved").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(Path("moved/inner")));
}

TEST_F(RenameTest, RefusesToOverwrite) {
    WriteFile(Path("src"), "source");
    WriteFile(Path("dst"), "target");
    fs::create_directory(Path("emptydir"));
    fs::create_directory(Path("otherdir"));

    errno = 0;
    EXPECT_EQ(Rename(Path("src").c_str(), Path("dst").c_str()), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFile(Path("src")), "source");
    EXPECT_EQ(ReadFile(Path("dst")), "target");

    // rename(2) would replace an empty folder by another folder.
    EXPECT_EQ(Rename(Path("otherdir").c_str(), Path("emptydir").c_str()), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_TRUE(fs::exists(Path("otherdir")));

    errno = 0;
    EXPECT_EQ(Rename(Path("absent").c_str(), Path("new").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
}

} // namespace
