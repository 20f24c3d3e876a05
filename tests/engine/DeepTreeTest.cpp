// Deep trees under few descriptors, bind mounts below the searched folder, and the descriptor
// limit the engine raises for itself but not for the helpers it starts.
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "TreeFixture.h"
#include "engine/DVOSUB.h"
#include "engine/Scanner.h"
#include "platform/Text.h"

using namespace enginetest;

namespace {

int OpenDescriptors() {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dirent* e = ::readdir(dir)) {
        count += e->d_name[0] != '.';
    }
    ::closedir(dir);
    return count - 1; // the one opendir holds
}

// Sets the soft descriptor limit for the scope of a test.
class SoftFileLimit {
public:
    explicit SoftFileLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = soft;
        m_ok = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~SoftFileLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }
    SoftFileLimit(const SoftFileLimit&) = delete;
    SoftFileLimit& operator=(const SoftFileLimit&) = delete;
    [[nodiscard]] bool Ok() const { return m_ok; }

private:
    rlimit m_saved{};
    bool m_ok = false;
};

// `chains` combs of `levels` levels below root: each level holds the next level "a", an empty
// folder "b" read only after everything below "a", and one file of 3 bytes. Made through
// descriptors, so depth costs nothing here.
void MakeCombs(const std::string& root, int chains, int levels) {
    const int top = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(top, 0);
    for (int c = 0; c < chains; ++c) {
        const std::string name = "c" + std::to_string(c);
        ASSERT_EQ(::mkdirat(top, name.c_str(), 0755), 0);
        int fd = ::openat(top, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int l = 0; l < levels; ++l) {
            ASSERT_EQ(::mkdirat(fd, "a", 0755), 0);
            ASSERT_EQ(::mkdirat(fd, "b", 0755), 0);
            const int file = ::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_EQ(::write(file, "xyz", 3), 3);
            ::close(file);
            const int next = ::openat(fd, "a", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        ::close(fd);
    }
    ::close(top);
}

// A scratch folder in memory where the machine has one: removing thousands of nested folders
// from a disk took seconds here.
class MemoryTempDir {
public:
    MemoryTempDir() {
        std::string pattern = "/dev/shm/engine-deep-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        } else {
            m_fallback = std::make_unique<TempDir>();
        }
    }
    ~MemoryTempDir() {
        if (!m_path.empty()) {
            RemoveTree(m_path);
        }
    }
    MemoryTempDir(const MemoryTempDir&) = delete;
    MemoryTempDir& operator=(const MemoryTempDir&) = delete;
    [[nodiscard]] const std::string& Path() const {
        return m_fallback ? m_fallback->Path() : m_path;
    }

private:
    std::string m_path;
    std::unique_ptr<TempDir> m_fallback;
};

struct ScanFigures {
    long long total = -1;
    long long folders = -1;
    long long files = -1;
    long long errors = -1;
    double seconds = 0;
};

ScanFigures Scan(const std::string& root) {
    const auto start = std::chrono::steady_clock::now();
    dvo::Scanner scanner(dvo::ScanOptions{});
    ScanFigures f;
    if (scanner.Open(root) != DVO_OK) {
        return f;
    }
    scanner.Run();
    const auto result = scanner.Finish();
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.total = result->root->total;
    f.folders = result->root->folderCount;
    f.files = result->root->fileCount;
    f.errors = result->errors;
    return f;
}

// Deep combs keep one folder a level waiting for its late sibling: far more than 64 descriptors
// allow. Every folder is still read, nothing stays open, and the walk costs about what it costs
// with descriptors to spare, instead of a walk down from the top for every folder.
TEST(DeepTree, CombsUnderFewDescriptorsAreReadInLinearTime) {
    MemoryTempDir t;
    constexpr int kChains = 4;
    constexpr int kLevels = 600;
    MakeCombs(t.Path(), kChains, kLevels);
    const ScanFigures plenty = Scan(t.Path());

    const int before = OpenDescriptors();
    ScanFigures few;
    {
        SoftFileLimit limit(64);
        ASSERT_TRUE(limit.Ok());
        few = Scan(t.Path());
    }
    EXPECT_EQ(OpenDescriptors(), before);

    for (const ScanFigures& f : {plenty, few}) {
        EXPECT_EQ(f.errors, 0);
        EXPECT_EQ(f.total, 3LL * kChains * kLevels);
        EXPECT_EQ(f.folders, kChains * (1LL + 2LL * kLevels));
        EXPECT_EQ(f.files, 1LL * kChains * kLevels);
    }
    // Reopening every folder from the top took some hundred times as long here.
    EXPECT_LT(few.seconds, 5 * plenty.seconds + 0.5)
        << "few descriptors: " << few.seconds << " s, plenty: " << plenty.seconds << " s";
}

// Unmounts in every case, also when an assertion ends the test early.
class BindMount {
public:
    BindMount(const std::string& source, const std::string& target) : m_target(target) {
        m_ok = ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BindMount() {
        if (m_ok) {
            ::umount2(m_target.c_str(), MNT_DETACH);
        }
    }
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;
    [[nodiscard]] bool Ok() const { return m_ok; }

private:
    std::string m_target;
    bool m_ok = false;
};

// A folder bound onto its own subfolder has no other device to give it away: counted through
// the bind, the tree would count twice (and a delete would empty the bind's source).
TEST(DeepTree, BindMountOfTheSameFileSystemIsAMountPoint) {
    TempDir t;
    const std::string tree = t / "tree";
    MakeDir(tree);
    MakeFile(tree + "/f", 100);
    MakeDir(tree + "/sub");
    MakeDir(tree + "/other");
    MakeFile(tree + "/other/g", 10);
    BindMount bind(tree, tree + "/sub");
    if (!bind.Ok()) {
        GTEST_SKIP() << "cannot bind-mount here (needs root in a mount namespace)";
    }
    ASSERT_EQ(DVOCreateObj(), DVO_OK);
    const std::u16string tree16 = platform::Utf8ToUtf16(tree);
    const std::u16string top16 = platform::Utf8ToUtf16(t.Path());
    ASSERT_EQ(DVOStartFileSearching(), DVO_OK);
    ASSERT_EQ(DVOAddSearchDirectory(tree16.c_str()), DVO_OK);
    ASSERT_EQ(DVOExecFileSearch(1, 0, 1, 0), DVO_OK);
    while (DVOIsSearching() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::vector<FolderRecord*> list(static_cast<std::size_t>(DVOGetFolderInfoCount()));
    DVOGetFolderInfo(list.data(), static_cast<int>(list.size()));
    ASSERT_EQ(list.size(), 3u); // tree, other, sub
    EXPECT_EQ(list[0]->size, 110);
    EXPECT_EQ(list[0]->folderCount, 2);
    EXPECT_EQ(list[0]->fileCount, 2);
    EXPECT_EQ(platform::Utf16ToUtf8(list[2]->name), "sub");
    EXPECT_EQ(DVOGetFolderState(list[2]), DVO_FOLDER_MOUNT_POINT);
    EXPECT_EQ(list[2]->size, 0);
    EXPECT_EQ(DVOGetErrorCount(), 0);

    // Crossing file systems was asked for: then the bind is entered like any mount.
    ASSERT_EQ(DVOStartFileSearching(), DVO_OK);
    ASSERT_EQ(DVOAddSearchDirectory(tree16.c_str()), DVO_OK);
    ASSERT_EQ(DVOExecFileSearch(1, 0, 1, 1), DVO_OK);
    while (DVOIsSearching() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FolderRecord* crossed = nullptr;
    DVOGetFolderInfo(&crossed, 1);
    ASSERT_NE(crossed, nullptr);
    EXPECT_EQ(crossed->size, 220);

    // The search and the delete agree: the delete stops at the bind and says so.
    ASSERT_EQ(DVOStartFileSearching(), DVO_OK);
    ASSERT_EQ(DVOAddSearchDirectory(top16.c_str()), DVO_OK);
    ASSERT_EQ(DVOExecFileSearch(1, 0, 1, 0), DVO_OK);
    while (DVOIsSearching() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(DVODeleteFilePermanently(u"tree", top16.c_str()), DVO_E_MOUNT_POINT);
    struct stat st = {};
    EXPECT_EQ(::stat((tree + "/sub").c_str(), &st), 0);
    DVODestroyObj();
}

// The re-run of this binary for HelperLimit: started with a soft limit of 256, it checks that
// the engine raised its own limit and that a helper still gets 256.
TEST(HelperLimit, ChildSide) {
    const char* bin = std::getenv("DVO_TEST_HELPER_BIN");
    if (bin == nullptr) {
        GTEST_SKIP() << "run by HelperLimit.HelpersGetTheStartingLimitBack";
    }
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    ASSERT_EQ(limit.rlim_cur, 256u);
    ASSERT_EQ(DVOCreateObj(), DVO_OK);
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_EQ(limit.rlim_cur, limit.rlim_max);

    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::string text;
    struct Context {
        std::mutex* mutex;
        std::condition_variable* cv;
        bool* done;
        std::string* text;
    } context{&mutex, &cv, &done, &text};
    const std::u16string dir16 = platform::Utf8ToUtf16(bin);
    ASSERT_EQ(DVOShellExecuteEx(
                  0, u"xdg-open", dir16.c_str(), 2,
                  [](int, const char16_t* errorText, void* c) {
                      auto* ctx = static_cast<Context*>(c);
                      std::lock_guard lock(*ctx->mutex);
                      *ctx->text = platform::Utf16ToUtf8(errorText);
                      *ctx->done = true;
                      ctx->cv->notify_all();
                  },
                  &context),
              DVO_OK);
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return done; }));
    EXPECT_EQ(text, "256\n");
    DVODestroyObj();
}

// Programs that use select() break with descriptors above 1,024: what the engine raised for its
// walk must not reach the programs it starts.
TEST(HelperLimit, HelpersGetTheStartingLimitBack) {
    TempDir t;
    const std::string bin = t / "bin";
    MakeDir(bin);
    const std::string script = bin + "/xdg-open";
    const int fd = ::open(script.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0755);
    const std::string body = "#!/bin/sh\nulimit -Sn >&2\n";
    ASSERT_EQ(::write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
    ::close(fd);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= 256) {
        GTEST_SKIP() << "the hard descriptor limit leaves nothing to raise";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit low{256, limit.rlim_max};
        const std::string path = bin + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/bin");
        if (::setrlimit(RLIMIT_NOFILE, &low) != 0 || ::setenv("PATH", path.c_str(), 1) != 0 ||
            ::setenv("DVO_TEST_HELPER_BIN", bin.c_str(), 1) != 0) {
            ::_exit(3);
        }
        ::execl("/proc/self/exe", "engine_tests", "--gtest_filter=HelperLimit.ChildSide",
                static_cast<char*>(nullptr));
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
