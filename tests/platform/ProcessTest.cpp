// Single-instance lock, debugger output and page allocation: the process-level facilities.
#include "platform/DebugOutput.h"
#include "platform/InstanceLock.h"
#include "platform/Memory.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool Exists(const std::string& path) {
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstDies) {
    dvo::test::TempDir tmp;
    ScopedEnv runtime("XDG_RUNTIME_DIR", tmp.path().c_str());
    const std::string name = "{5A0C7E21-TEST}";
    EXPECT_EQ(platform::InstanceLockPath(name), tmp / (name + ".lock"));

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool taken = platform::TakeInstanceLock(name) == platform::InstanceLockResult::Taken;
        const char c = taken ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        ::pause(); // hold the lock until killed
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    EXPECT_EQ(platform::TakeInstanceLock(name), platform::InstanceLockResult::TakenByAnother);

    // A lock left by a process that died is simply taken over.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(platform::TakeInstanceLock(name), platform::InstanceLockResult::Taken);
    ::close(ready[0]);
    ::close(ready[1]);

    struct stat st = {};
    ASSERT_EQ(::stat(platform::InstanceLockPath(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(InstanceLock, FallsBackToTmpWithoutRuntimeDir) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(platform::InstanceLockPath("dvo"),
              "/tmp/dvo-" + std::to_string(::getuid()) + ".lock");
}

// Takes the lock in a child that then holds it until killed; `result` is what it got.
pid_t TakeLockInChild(const std::string& name, platform::InstanceLockResult& result) {
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        const char c = static_cast<char>(platform::TakeInstanceLock(name));
        (void)!::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c = -1;
    if (child < 0 || ::read(ready[0], &c, 1) != 1)
        c = -1;
    result = static_cast<platform::InstanceLockResult>(c);
    ::close(ready[0]);
    ::close(ready[1]);
    return child;
}

void EndChild(pid_t child) {
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

// Without a runtime folder, a file another user put at the /tmp fallback (theirs, a link, or
// open to all) and holds locked neither keeps the program from starting nor lets a second one
// start once it is taken away; a link is never followed.
TEST(InstanceLock, ForeignFallbackFileNeitherBlocksNorDisablesTheGuard) {
    dvo::test::TempDir tmp;
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv data("XDG_DATA_HOME", (tmp / "data").c_str());
    const std::string name = "dvo-lock-test-" + std::to_string(::getpid());
    const std::string fallback = platform::InstanceLockPath(name);
    const std::string target = tmp / "target";
    struct Case {
        const char* what;
        bool needsRoot;
        void (*plant)(const std::string& fallback, const std::string& target);
    };
    const Case cases[] = {
        {"another user's file", true,
         [](const std::string& path, const std::string&) {
             const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
             (void)!::fchown(fd, 65534, 65534);
             ::close(fd);
         }},
        {"a link to a file of ours", false,
         [](const std::string& path, const std::string& to) {
             const int fd = ::open(to.c_str(), O_RDWR | O_CREAT | O_EXCL, 0640);
             ::close(fd);
             (void)!::symlink(to.c_str(), path.c_str());
         }},
        {"a file open to all", false,
         [](const std::string& path, const std::string&) {
             const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
             (void)!::fchmod(fd, 0666);
             ::close(fd);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && ::geteuid() != 0)
            continue; // only root can make a file another user's
        ::unlink(fallback.c_str());
        ::unlink(target.c_str());
        c.plant(fallback, target);
        // The planter holds a lock on it, as a live instance would.
        const int held = ::open(fallback.c_str(), O_RDONLY);
        ASSERT_GE(held, 0);
        ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

        platform::InstanceLockResult first{};
        const pid_t firstChild = TakeLockInChild(name, first);
        EXPECT_EQ(first, platform::InstanceLockResult::Taken);
        // Taken away again: a second instance still finds the first.
        ::close(held);
        ::unlink(fallback.c_str());
        platform::InstanceLockResult second{};
        const pid_t secondChild = TakeLockInChild(name, second);
        EXPECT_EQ(second, platform::InstanceLockResult::TakenByAnother);
        EndChild(secondChild);
        EndChild(firstChild);
        if (Exists(target)) {
            EXPECT_EQ(ModeOf(target), 0640u); // the link's target was never touched
        }
    }
    ::unlink(fallback.c_str());
}

TEST(DebugOutput, FileSinkAppendsEachMessageWhole) {
    dvo::test::TempDir tmp;
    const std::string file = tmp / "debug.txt";
    ScopedEnv sink("LUMETRA_DEBUG_OUTPUT", file.c_str());
    platform::DebugOutput("TAMSIN.DLL ATTACED_TO_PROCESS:Called\n");
    platform::DebugOutput(std::string_view("no line end\0tail", 16));
    EXPECT_EQ(ReadFile(file),
              std::string("TAMSIN.DLL ATTACED_TO_PROCESS:Called\nno line end\0tail", 53));
}

TEST(DebugOutput, DashMeansStandardError) {
    ScopedEnv sink("LUMETRA_DEBUG_OUTPUT", "-");
    testing::internal::CaptureStderr();
    platform::DebugOutput("to stderr\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\n");
}

TEST(DebugOutput, UnwritableFileIsIgnored) {
    ScopedEnv sink("LUMETRA_DEBUG_OUTPUT", "/nonexistent-dir/debug.txt");
    platform::DebugOutput("lost quietly\n"); // must neither throw nor crash
}

TEST(Memory, PagesAreZeroedWritableAndReturned) {
    EXPECT_EQ(platform::PageAlloc(0), nullptr);
    EXPECT_TRUE(platform::PageFree(nullptr, 0));
    const std::size_t size = 3 * 4096 + 1;
    auto* p = static_cast<unsigned char*>(platform::PageAlloc(size));
    ASSERT_NE(p, nullptr);
    for (std::size_t i = 0; i < size; ++i)
        ASSERT_EQ(p[i], 0) << i;
    p[0] = 1;
    p[size - 1] = 2;
    EXPECT_TRUE(platform::PageFree(p, size));
}

} // namespace
