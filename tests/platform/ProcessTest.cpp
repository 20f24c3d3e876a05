// Single-instance lock, debugger output and page allocation: the process-level facilities.
#include "ScopedEnv.h"
#include "TempDir.h"
#include "platform/DebugOutput.h"
#include "platform/InstanceLock.h"
#include "platform/Memory.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstDies) {
    TempDir tmp;
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

    struct stat st{};
    ASSERT_EQ(::stat(platform::InstanceLockPath(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(InstanceLock, FallsBackToTmpWithoutRuntimeDir) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(platform::InstanceLockPath("dvo"), "/tmp/dvo-" + std::to_string(::getuid()) + ".lock");
}

TEST(DebugOutput, FileSinkAppendsEachMessageWhole) {
    TempDir tmp;
    const std::string file = tmp / "debug.txt";
    ScopedEnv sink("LUMETRA_DEBUG_OUTPUT", file.c_str());
    platform::DebugOutput("TAMSIN.DLL ATTACED_TO_PROCESS:Called\n");
    platform::DebugOutput(std::string_view("no line end\0tail", 16));
    EXPECT_EQ(ReadFile(file), std::string("TAMSIN.DLL ATTACED_TO_PROCESS:Called\nno line end\0tail", 53));
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
