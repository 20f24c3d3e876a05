#include "platform/FileCopy.h"

#include "tests/support/FileTree.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace testing_support;

namespace {

const std::string kLatin1Name = "caf\xE9"; // not valid UTF-8

// A folder with one of each kind of entry, odd modes and old times.
void BuildSample(const std::string& root) {
    ::mkdir(root.c_str(), 0750);
    WriteFile(root + "/plain.txt", "hello", 0640);
    WriteFile(root + "/empty", "", 0604);
    WriteFile(root + "/run.sh", "#!/bin/sh\n", 0755);
    std::string big(300 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 4096);
    WriteFile(root + "/big.bin", big, 0600);
    WriteFile(root + "/" + kLatin1Name, "latin", 0644);
    ::mkdir((root + "/sub").c_str(), 0711);
    ::symlink("../plain.txt", (root + "/sub/link").c_str());
    ::symlink("/nonexistent/dvo-target", (root + "/sub/dangling").c_str());
    ::mkfifo((root + "/sub/fifo").c_str(), 0620);
    ::chmod((root + "/sub/fifo").c_str(), 0620);
    time_t t = 1'000'000'000;
    for (const char* rel : {"plain.txt", "empty", "run.sh", "big.bin", "sub/link", "sub/dangling",
                            "sub/fifo", "sub", ""})
        SetMtime(root + (rel[0] != '\0' ? "/" : "") + rel, t += 3600);
    SetMtime(root + "/" + kLatin1Name, 1'234'567'890);
}

// Every entry below `root` by relative path: type, mode, mtime and contents or link target.
std::map<std::string, std::string> Describe(const std::string& root) {
    std::map<std::string, std::string> out;
    std::function<void(const std::string&)> walk = [&](const std::string& rel) {
        const std::string path = rel.empty() ? root : root + "/" + rel;
        const struct stat st = Lstat(path);
        std::string d = std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                        std::to_string(st.st_mtim.tv_nsec) + " ";
        if (S_ISREG(st.st_mode)) {
            const std::string content = ReadFile(path);
            d += content.size() < 64 ? content : std::to_string(std::hash<std::string>{}(content));
        } else if (S_ISLNK(st.st_mode))
            d += LinkTarget(path);
        out[rel] = d;
        if (!S_ISDIR(st.st_mode))
            return;
        DIR* dir = ::opendir(path.c_str());
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(dir);
        for (const auto& n : names)
            walk(rel.empty() ? n : rel + "/" + n);
    };
    walk("");
    return out;
}

int OpenDir(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

struct DirFd {
    explicit DirFd(const std::string& path) : fd(OpenDir(path)) {}
    ~DirFd() {
        if (fd >= 0)
            ::close(fd);
    }
    int fd;
};

platform::ExpectedEntry Expect(const std::string& path) {
    const struct stat st = Lstat(path);
    return {true, st.st_dev, st.st_ino, static_cast<mode_t>(st.st_mode & S_IFMT)};
}

int Copy(const std::string& srcDir, const std::string& name, const std::string& dstDir,
         platform::FileOpError* error = nullptr) {
    DirFd s(srcDir), d(dstDir);
    return platform::CopyEntryAt(s.fd, name, d.fd, name, {}, {}, error);
}

int Move(const std::string& srcDir, const std::string& name, const std::string& dstDir,
         platform::FileOpError* error = nullptr) {
    DirFd s(srcDir), d(dstDir);
    return platform::MoveEntryAt(s.fd, name, d.fd, name, {}, error);
}

using Operation = int (*)(const std::string&, const std::string&, const std::string&,
                          platform::FileOpError*);
const std::pair<const char*, Operation> kCopyAndMove[] = {{"copy", Copy}, {"move", Move}};

// A folder on another file system than the build tree, for moves that must copy.
std::string OtherFileSystem() {
    struct stat shm = {};
    struct stat here = {};
    const char* scratch = std::getenv("DVO_TEST_TMP");
    if (::stat("/dev/shm", &shm) != 0 || ::stat(scratch ? scratch : "/tmp", &here) != 0 ||
        shm.st_dev == here.st_dev)
        return {};
    return "/dev/shm";
}

TEST(FileCopy, CopiesTreeWithModesTimesLinksAndFifos) {
    std::vector<std::string> destinations = {""};
    if (!OtherFileSystem().empty())
        destinations.push_back(OtherFileSystem());
    for (const auto& base : destinations) {
        TempFolder src, dst(base);
        SCOPED_TRACE(dst.path());
        BuildSample(src / "tree");
        const auto before = Describe(src / "tree");
        platform::FileOpError error;
        ASSERT_EQ(Copy(src.path(), "tree", dst.path(), &error), 0)
            << error.step << " " << error.path;
        EXPECT_EQ(Describe(dst / "tree"), before);
        EXPECT_EQ(Describe(src / "tree"), before);
    }
}

TEST(FileCopy, NeverReplacesAnExistingTarget) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> makeSource, makeTarget;
    };
    const auto file = [](const char* text) {
        return [text](const std::string& p) { WriteFile(p, text); };
    };
    const auto folder = [](const std::string& p) {
        ::mkdir(p.c_str(), 0755);
        WriteFile(p + "/inner", "source inner");
    };
    const auto emptyFolder = [](const std::string& p) { ::mkdir(p.c_str(), 0755); };
    const auto link = [](const char* to) {
        return [to](const std::string& p) { ::symlink(to, p.c_str()); };
    };
    const Case cases[] = {
        {"file over file", file("new"), file("old")},
        {"folder over empty folder", folder, emptyFolder},
        {"file over link to a file", file("new"), link("victim")},
        {"folder over dangling link", folder, link("nowhere")},
        {"link over file", link("elsewhere"), file("old")},
    };
    for (const auto& [opName, op] : kCopyAndMove) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(opName) + ": " + c.what);
            TempFolder src, dst;
            WriteFile(dst / "victim", "victim");
            c.makeSource(src / "e");
            c.makeTarget(dst / "e");
            const auto sourceBefore = Describe(src.path());
            const auto targetBefore = Describe(dst.path());
            platform::FileOpError error;
            EXPECT_EQ(op(src.path(), "e", dst.path(), &error), EEXIST);
            EXPECT_EQ(error.error, EEXIST);
            EXPECT_EQ(Describe(src.path()), sourceBefore);
            EXPECT_EQ(Describe(dst.path()), targetBefore);
        }
    }
}

TEST(FileCopy, RefusesToCopyAFolderIntoItself) {
    TempFolder tmp;
    BuildSample(tmp / "tree");
    const auto before = Describe(tmp.path());
    for (const char* inside : {"tree", "tree/sub"}) {
        for (const auto& [opName, op] : kCopyAndMove) {
            SCOPED_TRACE(std::string(opName) + " into " + inside);
            EXPECT_EQ(op(tmp.path(), "tree", tmp / inside, nullptr), EINVAL);
            EXPECT_EQ(Describe(tmp.path()), before);
        }
    }
}

// Callers word the failure by its kind, so each refusal must carry its own kind, not only errno.
TEST(FileCopy, FailureKindTellsARefusalFromAFailedCall) {
    TempFolder tmp;
    BuildSample(tmp / "tree");
    for (const auto& [opName, op] : kCopyAndMove) {
        SCOPED_TRACE(opName);
        platform::FileOpError error;
        EXPECT_EQ(op(tmp.path(), "tree", tmp / "tree/sub", &error), EINVAL);
        EXPECT_EQ(error.kind, platform::FileOpFailure::IntoItself);
        error = {};
        EXPECT_EQ(op(tmp.path(), "missing", tmp.path(), &error), ENOENT);
        EXPECT_EQ(error.kind, platform::FileOpFailure::Call);
    }
    platform::FileOpError error;
    const platform::CopyProgress stop = [](long long, long long, const std::string&) {
        return false;
    };
    DirFd s(tmp.path());
    ::mkdir((tmp / "out").c_str(), 0755);
    DirFd d(tmp / "out");
    EXPECT_EQ(platform::CopyEntryAt(s.fd, "tree", d.fd, "tree", {.progress = &stop}, {}, &error),
              ECANCELED);
    EXPECT_EQ(error.kind, platform::FileOpFailure::Cancelled);
}

TEST(FileCopy, MovesWithinAFileSystemByRenaming) {
    TempFolder src, dst;
    BuildSample(src / "tree");
    const struct stat before = Lstat(src / "tree");
    const auto content = Describe(src / "tree");
    ASSERT_EQ(Move(src.path(), "tree", dst.path()), 0);
    EXPECT_FALSE(Exists(src / "tree"));
    EXPECT_EQ(Lstat(dst / "tree").st_ino, before.st_ino);
    EXPECT_EQ(Describe(dst / "tree"), content);
}

TEST(FileCopy, MovesAcrossFileSystemsByCopying) {
    const std::string other = OtherFileSystem();
    if (other.empty())
        GTEST_SKIP() << "no /dev/shm on another file system than the build tree";
    TempFolder src, dst(other);
    BuildSample(src / "tree");
    const auto content = Describe(src / "tree");
    platform::FileOpError error;
    ASSERT_EQ(Move(src.path(), "tree", dst.path(), &error), 0) << error.step << " " << error.path;
    EXPECT_FALSE(Exists(src / "tree"));
    EXPECT_EQ(Describe(dst / "tree"), content);
}

// A move across file systems that fails part-way keeps the source and leaves no partial copy.
TEST(FileCopy, FailedCrossDeviceMoveKeepsSourceAndRemovesPartialCopy) {
    struct Case {
        const char* what;
        const char* tmpfsOptions;
        bool readOnly;
    };
    const Case cases[] = {
        {"read-only destination", "size=4m", true},
        {"destination fills up half-way", "size=256k", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder src, dst;
        std::string reason;
        ::mkdir((dst / "mnt").c_str(), 0755);
        if (!dst.MountTmpfs(dst / "mnt", c.tmpfsOptions, &reason) ||
            (c.readOnly && !dst.MakeReadOnly(dst / "mnt", &reason)))
            GTEST_SKIP() << reason;
        BuildSample(src / "tree");
        for (int i = 0; i < 8; ++i)
            WriteFile(src / ("tree/sub/part" + std::to_string(i)), std::string(64 * 1024, 'x'));
        const auto before = Describe(src / "tree");
        platform::FileOpError error;
        EXPECT_NE(Move(src.path(), "tree", dst / "mnt", &error), 0);
        EXPECT_EQ(error.error, c.readOnly ? EROFS : ENOSPC) << error.step << " " << error.path;
        EXPECT_EQ(Describe(src / "tree"), before);
        EXPECT_FALSE(Exists(dst / "mnt/tree"));
    }
}

TEST(FileCopy, RemovesTreeWithoutFollowingLinksOrCrossingMounts) {
    TempFolder tmp;
    BuildSample(tmp / "tree");
    ::mkdir((tmp / "outside").c_str(), 0755);
    WriteFile(tmp / "outside/keep", "keep");
    ::symlink((tmp / "outside").c_str(), (tmp / "tree/sub/to-outside").c_str());
    ::mkdir((tmp / "tree/mnt").c_str(), 0755);
    std::string reason;
    const bool mounted = tmp.MountTmpfs(tmp / "tree/mnt", "size=1m", &reason);
    if (mounted)
        WriteFile(tmp / "tree/mnt/on-other-fs", "keep");

    DirFd dir(tmp.path());
    platform::FileOpError error;
    const int result = platform::RemoveTreeAt(dir.fd, "tree", Expect(tmp / "tree"), &error);
    EXPECT_EQ(ReadFile(tmp / "outside/keep"), "keep");
    if (!mounted) {
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(Exists(tmp / "tree"));
        GTEST_SKIP() << "mount point part: " << reason;
    }
    EXPECT_EQ(result, EXDEV);
    EXPECT_EQ(error.path, "tree/mnt");
    EXPECT_EQ(ReadFile(tmp / "tree/mnt/on-other-fs"), "keep");
    // Everything beside the mount point went.
    std::vector<std::string> left;
    for (const auto& [rel, _] : Describe(tmp / "tree"))
        left.push_back(rel);
    EXPECT_EQ(left, (std::vector<std::string>{"", "mnt", "mnt/on-other-fs"}));

    // A mount point itself is never emptied.
    DirFd tree(tmp / "tree");
    EXPECT_EQ(platform::RemoveTreeAt(tree.fd, "mnt", {}, nullptr), EXDEV);
    EXPECT_TRUE(Exists(tmp / "tree/mnt/on-other-fs"));
}

// Every operation refuses an entry that is not the one the caller saw (here a folder swapped for
// a link to another folder) and touches nothing.
TEST(FileCopy, RefusesAnEntryReplacedSinceItWasSeen) {
    using Act = std::function<int(int, int, const platform::ExpectedEntry&)>;
    const std::pair<const char*, Act> acts[] = {
        {"copy",
         [](int s, int d, const auto& e) { return platform::CopyEntryAt(s, "e", d, "e", {}, e); }},
        {"move",
         [](int s, int d, const auto& e) { return platform::MoveEntryAt(s, "e", d, "e", e); }},
        {"remove", [](int s, int, const auto& e) { return platform::RemoveTreeAt(s, "e", e); }},
    };
    for (const auto& [what, act] : acts) {
        SCOPED_TRACE(what);
        TempFolder tmp;
        for (const char* d : {"src", "dst", "outside"})
            ::mkdir((tmp / d).c_str(), 0755);
        WriteFile(tmp / "outside/keep", "keep");
        ::mkdir((tmp / "src/e").c_str(), 0755);
        const auto seen = Expect(tmp / "src/e");
        ::rmdir((tmp / "src/e").c_str());
        ::symlink((tmp / "outside").c_str(), (tmp / "src/e").c_str());
        DirFd s(tmp / "src"), d(tmp / "dst");
        EXPECT_EQ(act(s.fd, d.fd, seen), ESTALE);
        EXPECT_EQ(LinkTarget(tmp / "src/e"), tmp / "outside");
        EXPECT_EQ(ReadFile(tmp / "outside/keep"), "keep");
        EXPECT_FALSE(Exists(tmp / "dst/e"));
    }
}

TEST(FileCopy, PathFormsCopyAndMoveAFile) {
    TempFolder tmp;
    WriteFile(tmp / "a", "data", 0600);
    SetMtime(tmp / "a", 1'500'000'000);
    ASSERT_EQ(platform::CopyPath(tmp / "a", tmp / "b"), 0);
    EXPECT_EQ(platform::CopyPath(tmp / "a", tmp / "b"), EEXIST);
    ASSERT_EQ(platform::MovePath(tmp / "b", tmp / "c"), 0);
    EXPECT_FALSE(Exists(tmp / "b"));
    EXPECT_EQ(ReadFile(tmp / "c"), "data");
    EXPECT_EQ(Lstat(tmp / "c").st_mtim.tv_sec, 1'500'000'000);
    EXPECT_EQ(Lstat(tmp / "c").st_mode & 07777, 0600u);
}

} // namespace

namespace {

// Runs `body` in a forked child and returns its exit status (-1 when it did not exit).
int ExitStatusOf(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Drops root to nobody, so that modes count; true when the process is (now) unprivileged.
bool Unprivileged() { return ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0); }

} // namespace

// Far deeper than the descriptors the process may open: copied and removed whole all the same.
TEST(FileCopy, TreeDeeperThanTheDescriptorLimitIsCopiedAndRemoved) {
    TempFolder tmp;
    constexpr int kDepth = 300;
    ::mkdir((tmp / "src").c_str(), 0755);
    ::mkdir((tmp / "dst").c_str(), 0755);
    {
        int fd = OpenDir(tmp / "src");
        for (int level = 0; level < kDepth; ++level) {
            ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
            const int file = ::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            const std::string text = std::to_string(level);
            ASSERT_EQ(::write(file, text.data(), text.size()), static_cast<ssize_t>(text.size()));
            ::close(file);
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        ::close(fd);
    }
    const int status = ExitStatusOf([&] {
        const rlimit limit{32, 32};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return 3;
        platform::FileOpError error;
        if (Copy(tmp.path(), "src", tmp / "dst", &error) != 0)
            return 1;
        DirFd top(tmp.path());
        return platform::RemoveTreeAt(top.fd, "src", {}, &error) == 0 ? 0 : 2;
    });
    ASSERT_EQ(status, 0) << "1: copy failed, 2: removal failed, 3: no limit";
    EXPECT_FALSE(Exists(tmp / "src"));
    std::string level = tmp / "dst/src";
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(ReadFile(level + "/f"), std::to_string(i)) << "level " << i;
        level += "/d";
    }
    EXPECT_TRUE(Exists(level));
    EXPECT_FALSE(Exists(level + "/d"));
}

// A copied folder that already has the read-only mode of its source does not keep the failed
// copy's clean-up from removing it.
TEST(FileCopy, FailedCopyRemovesReadOnlyFoldersItMade) {
    TempFolder tmp;
    ::chmod(tmp.path().c_str(), 0777);
    const std::string src = tmp / "src";
    const std::string dst = tmp / "dst";
    const int status = ExitStatusOf([&] {
        if (!Unprivileged())
            return 77;
        // Folders in the order the copy will meet them: the first is read-only, the last
        // cannot be read, so the copy fails after the read-only one is complete.
        if (::mkdir(src.c_str(), 0755) != 0 || ::mkdir(dst.c_str(), 0755) != 0)
            return 3;
        for (int i = 0; i < 6; ++i) {
            const std::string folder = src + "/d" + std::to_string(i);
            ::mkdir(folder.c_str(), 0755);
            WriteFile(folder + "/file", "x");
        }
        std::vector<std::string> order;
        DIR* dir = ::opendir(src.c_str());
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.')
                order.push_back(e->d_name);
        ::closedir(dir);
        ::chmod((src + "/" + order.front()).c_str(), 0555);
        ::chmod((src + "/" + order.back()).c_str(), 0);
        platform::FileOpError error;
        if (Copy(tmp.path(), "src", dst, &error) != EACCES)
            return 1;
        return Exists(dst + "/src") ? 2 : 0;
    });
    if (status == 77)
        GTEST_SKIP() << "cannot drop to an unprivileged user here";
    EXPECT_EQ(status, 0) << "1: the copy did not fail as planned, 2: the failed copy was left";
}

namespace {

// Bytes the file really takes on its file system.
long long Allocated(const std::string& path) {
    return static_cast<long long>(Lstat(path).st_blocks) * 512;
}

std::string ReadAt(const std::string& path, off_t offset, std::size_t size) {
    std::string out(size, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = ::pread(fd, out.data(), size, offset);
    ::close(fd);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

} // namespace

// A 1 GiB file with a few KiB of data keeps its holes in the copy; progress counts the holes as
// done, and a cancel still removes the partial copy.
TEST(FileCopy, SparseFileCopiesOnlyItsData) {
    constexpr off_t kSize = off_t{1} << 30;
    const std::pair<off_t, std::string> runs[] = {
        {0, std::string(4096, 'a')},
        {kSize / 2 + 100, std::string(5000, 'm')},
        {kSize - 4096, std::string(4096, 'z')},
    };
    std::vector<std::string> destinations = {""};
    if (!OtherFileSystem().empty())
        destinations.push_back(OtherFileSystem());
    for (const auto& base : destinations) {
        TempFolder src, dst(base);
        SCOPED_TRACE(dst.path());
        {
            const int fd = ::open((src / "sparse").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            for (const auto& [offset, data] : runs)
                ASSERT_EQ(::pwrite(fd, data.data(), data.size(), offset),
                          static_cast<ssize_t>(data.size()));
            ASSERT_EQ(::ftruncate(fd, kSize), 0);
            ::close(fd);
        }
        long long lastDone = -1, lastTotal = -1;
        const platform::CopyProgress progress = [&](long long done, long long total,
                                                    const std::string&) {
            lastDone = done;
            lastTotal = total;
            return true;
        };
        DirFd s(src.path()), d(dst.path());
        platform::FileOpError error;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(platform::CopyEntryAt(s.fd, "sparse", d.fd, "sparse", {.progress = &progress}, {},
                                        &error),
                  0)
            << error.step;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string copy = dst / "sparse";
        std::printf("sparse copy to %s: %.3f s, %lld bytes allocated (source %lld)\n",
                    dst.path().c_str(), seconds, Allocated(copy), Allocated(src / "sparse"));
        EXPECT_EQ(Lstat(copy).st_size, kSize);
        EXPECT_LT(Allocated(copy), 4 << 20);
        EXPECT_EQ(lastDone, kSize);
        EXPECT_EQ(lastTotal, kSize);
        for (const auto& [offset, data] : runs) {
            EXPECT_EQ(ReadAt(copy, offset, data.size()), data) << offset;
            // What lies around the data reads as zeros, as in the source.
            EXPECT_EQ(ReadAt(copy, offset + data.size(), 8192),
                      ReadAt(src / "sparse", offset + data.size(), 8192));
            if (offset > 0) {
                EXPECT_EQ(ReadAt(copy, offset - 8192, 8192), std::string(8192, '\0'));
            }
        }

        const platform::CopyProgress cancel = [](long long done, long long, const std::string&) {
            return done == 0;
        };
        EXPECT_EQ(platform::CopyEntryAt(s.fd, "sparse", d.fd, "again", {.progress = &cancel}),
                  ECANCELED);
        EXPECT_FALSE(Exists(dst / "again"));
    }
}

// Names of one file inside a copied folder stay names of one copy, for a copy and for a move
// across file systems; a name whose other links lie outside the folder gets a file of its own.
TEST(FileCopy, HardLinksInsideACopiedFolderStayLinks) {
    std::vector<std::pair<std::string, Operation>> runs = {{"copy", Copy}};
    if (!OtherFileSystem().empty()) {
        runs.emplace_back("copy across", Copy);
        runs.emplace_back("move across", Move);
    }
    for (const auto& [what, op] : runs) {
        SCOPED_TRACE(what);
        TempFolder src, dst(what == "copy" ? std::string() : OtherFileSystem());
        ::mkdir((src / "tree").c_str(), 0755);
        ::mkdir((src / "tree/sub").c_str(), 0755);
        WriteFile(src / "tree/a", "shared");
        ::link((src / "tree/a").c_str(), (src / "tree/sub/b").c_str());
        ::link((src / "tree/a").c_str(), (src / "tree/c").c_str());
        WriteFile(src / "tree/half", "half");
        ::link((src / "tree/half").c_str(), (src / "outside").c_str());
        platform::FileOpError error;
        ASSERT_EQ(op(src.path(), "tree", dst.path(), &error), 0) << error.step << " " << error.path;
        const struct stat a = Lstat(dst / "tree/a");
        EXPECT_EQ(a.st_nlink, 3u);
        EXPECT_EQ(Lstat(dst / "tree/sub/b").st_ino, a.st_ino);
        EXPECT_EQ(Lstat(dst / "tree/c").st_ino, a.st_ino);
        EXPECT_EQ(ReadFile(dst / "tree/sub/b"), "shared");
        EXPECT_EQ(Lstat(dst / "tree/half").st_nlink, 1u);
        EXPECT_EQ(ReadFile(dst / "tree/half"), "half");
        EXPECT_EQ(Exists(src / "tree"), what != "move across");
        EXPECT_EQ(ReadFile(src / "outside"), "half");
    }
}

// Without privileges the links are made another way: the copies still share one inode.
TEST(FileCopy, HardLinksStayLinksForAnUnprivilegedCopy) {
    TempFolder tmp;
    ::chmod(tmp.path().c_str(), 0777);
    const int status = ExitStatusOf([&] {
        if (!Unprivileged())
            return 77;
        if (::mkdir((tmp / "tree").c_str(), 0755) != 0 || ::mkdir((tmp / "dst").c_str(), 0755) != 0)
            return 3;
        WriteFile(tmp / "tree/a", "shared");
        ::link((tmp / "tree/a").c_str(), (tmp / "tree/b").c_str());
        ::symlink("a", (tmp / "tree/l").c_str());
        ::link((tmp / "tree/l").c_str(), (tmp / "tree/l2").c_str());
        if (Copy(tmp.path(), "tree", tmp / "dst") != 0)
            return 1;
        const struct stat a = Lstat(tmp / "dst/tree/a");
        const struct stat l = Lstat(tmp / "dst/tree/l2");
        return a.st_nlink == 2 && Lstat(tmp / "dst/tree/b").st_ino == a.st_ino &&
                       S_ISLNK(l.st_mode) && l.st_nlink == 2 &&
                       Lstat(tmp / "dst/tree/l").st_ino == l.st_ino
                   ? 0
                   : 2;
    });
    if (status == 77)
        GTEST_SKIP() << "cannot drop to an unprivileged user here";
    EXPECT_EQ(status, 0) << "1: the copy failed, 2: the names are not one copy";
}

namespace {

std::string Attribute(const std::string& path, const char* name) {
    char value[4096];
    const ssize_t n = ::lgetxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? std::string("<") + std::strerror(errno) + ">"
                 : std::string(value, static_cast<std::size_t>(n));
}

bool SetAttribute(const std::string& path, const char* name, const std::string& value) {
    return ::lsetxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

} // namespace

// Extended attributes of files and folders go with a copy and with a move across file systems.
TEST(FileCopy, ExtendedAttributesSurviveCopyAndMove) {
    std::vector<std::pair<std::string, Operation>> runs = {{"copy", Copy}};
    if (!OtherFileSystem().empty()) {
        runs.emplace_back("copy across", Copy);
        runs.emplace_back("move across", Move);
    }
    for (const auto& [what, op] : runs) {
        SCOPED_TRACE(what);
        TempFolder src, dst(what == "copy" ? std::string() : OtherFileSystem());
        BuildSample(src / "tree");
        if (!SetAttribute(src / "tree/plain.txt", "user.origin", "scan") ||
            !SetAttribute(dst.path(), "user.probe", "x"))
            GTEST_SKIP() << "no user extended attributes here: " << std::strerror(errno);
        ASSERT_TRUE(SetAttribute(src / "tree/sub", "user.folder", std::string(1000, 'f')));
        ::chmod((src / "tree/plain.txt").c_str(), 0444); // attributes must not need a writable mode
        platform::FileOpError error;
        ASSERT_EQ(op(src.path(), "tree", dst.path(), &error), 0)
            << error.step << " " << error.path << " " << error.attribute;
        EXPECT_EQ(Attribute(dst / "tree/plain.txt", "user.origin"), "scan");
        EXPECT_EQ(Attribute(dst / "tree/sub", "user.folder"), std::string(1000, 'f'));
        EXPECT_EQ(Lstat(dst / "tree/plain.txt").st_mode & 07777, 0444u);
    }
}

// A target without extended attributes (ramfs): a copy goes on without them; a move fails
// naming the attribute, keeps its source and leaves no partial copy.
TEST(FileCopy, AttributeTheTargetCannotHoldFailsAMoveOnly) {
    TempFolder src, dst;
    std::string reason;
    ::mkdir((dst / "mnt").c_str(), 0755);
    if (!dst.Mount("dvo-test", dst / "mnt", "ramfs", 0, nullptr, &reason))
        GTEST_SKIP() << reason;
    BuildSample(src / "tree");
    if (!SetAttribute(src / "tree/sub", "user.origin", "scan"))
        GTEST_SKIP() << "no user extended attributes here: " << std::strerror(errno);
    const auto before = Describe(src / "tree");
    platform::FileOpError error;
    EXPECT_EQ(Move(src.path(), "tree", dst / "mnt", &error), EOPNOTSUPP);
    EXPECT_EQ(error.step, "xattr");
    EXPECT_EQ(error.kind, platform::FileOpFailure::Attribute);
    EXPECT_EQ(error.attribute, "user.origin");
    EXPECT_EQ(error.path, "tree/sub");
    EXPECT_EQ(Describe(src / "tree"), before);
    EXPECT_FALSE(Exists(dst / "mnt/tree"));

    ASSERT_EQ(Copy(src.path(), "tree", dst / "mnt"), 0);
    EXPECT_EQ(Describe(dst / "mnt/tree"), before);
}
