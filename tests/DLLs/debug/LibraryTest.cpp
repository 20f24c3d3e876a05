// libdebug.so as another program gets it: loaded by name, used through its exports only, with
// the real clock and the real supervisor thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The one file in the folder whose name starts with prefix (day-stamped names vary by date).
std::filesystem::path FindFile(const std::string& prefix) {
    for (const auto& entry : std::filesystem::directory_iterator("."))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            return entry.path();
    return {};
}

int ThreadCount() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                          std::filesystem::directory_iterator()));
}

template <typename F> F Get(void* library, const char* name) {
    return reinterpret_cast<F>(::dlsym(library, name));
}

TEST(DebugLibrary, WritersAndQueuedLogThroughTheExports) {
    dvo::test::TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());

    // ThreadSanitizer starts its own background thread at the process's first pthread_create;
    // one thread started and joined here lets that happen now, so only the library's is counted.
    std::thread([] {}).join();
    const int threadsBefore = ThreadCount();
    void* library = ::dlopen(DEBUG_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    // Loading wrote nothing and started nothing.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(ThreadCount(), threadsBefore);

    auto verDebug = Get<int (*)()>(library, "VerDebug");
    auto error = Get<int (*)(int, const char*, int)>(library, "Error");
    auto log = Get<int (*)(const char*, int, int)>(library, "Log");
    auto cdr = Get<int (*)(const void*, int)>(library, "CDR");
    auto extLogInit = Get<int (*)(const char*)>(library, "ExtLogInit");
    auto extLog = Get<void (*)(int, const char*, int, int)>(library, "ExtLog");
    auto extDump = Get<void (*)(int, const void*, int)>(library, "ExtDump");
    ASSERT_TRUE(verDebug && error && log && cdr && extLogInit && extLog && extDump);

    EXPECT_EQ(verDebug(), 20041219);
    EXPECT_EQ(error(-7, "id=%d", 12), 0);
    EXPECT_TRUE(std::regex_match(
        ReadAll("Error.txt"),
        std::regex(
            R"(##### \w{3} \w{3} \d\d \d\d:\d\d:\d\d:\d{3} #####   No File or Denied:     id=12\r\n)")));
    EXPECT_EQ(log("%d%%", 99, 1), 0);
    EXPECT_EQ(ReadAll(FindFile("Log")), "99%\r\n");
    EXPECT_EQ(cdr("r\0r", 3), 0);
    EXPECT_EQ(ReadAll(FindFile("CDR")), std::string("r\0r\r\n", 5));

    // The supervisor writes the queue within about a second.
    const int handle = extLogInit("ext.txt");
    ASSERT_EQ(handle, 1);
    EXPECT_EQ(ThreadCount(), threadsBefore + 1);
    extLog(handle, "q=%d", 7, 1);
    extDump(handle, "hi", 2);
    const std::string expected =
        "q=7\r\n 68 69" + std::string(43, ' ') + "hi" + std::string(15, ' ') + "\r\n";
    std::string text;
    for (int i = 0; i < 50 && text.size() < expected.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto file = FindFile("ext");
        if (!file.empty())
            text = ReadAll(file);
    }
    EXPECT_EQ(text, expected);

    // The supervisor keeps running after dlclose, so the library must stay mapped: a cycle
    // after the close would otherwise run code that is gone.
    EXPECT_EQ(::dlclose(library), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    std::filesystem::current_path(previous);
}

// Waits until the file whose name starts with prefix holds text, for at most `seconds`.
bool WaitForText(const std::string& prefix, const std::string& text, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto file = FindFile(prefix);
        if (!file.empty() && ReadAll(file).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// A child made by fork() while another thread keeps a queue full and writes directly: more
// entries than a queue holds reach the child's file whole and in order, the entries the parent
// had queued are written once (by the parent), and the parent's log goes on working.
TEST(DebugLibrary, ForkedChildQueuesMoreThanAQueueHolds) {
#if defined(__SANITIZE_ADDRESS__)
    // This compiler's AddressSanitizer takes no lock of its allocator around fork(): a child
    // forked while another thread allocates can wait for that lock for ever. The ordinary build
    // runs the test.
    GTEST_SKIP() << "fork amid allocating threads is not safe under this AddressSanitizer";
#endif
    dvo::test::TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    void* library = ::dlopen(DEBUG_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto log = Get<int (*)(const char*, int, int)>(library, "Log");
    auto extLogInit = Get<int (*)(const char*)>(library, "ExtLogInit");
    auto extLog = Get<void (*)(int, const char*, int, int)>(library, "ExtLog");
    ASSERT_TRUE(log && extLogInit && extLog);
    const int handle = extLogInit("fork.txt");
    const int busy = extLogInit("busy.txt");
    ASSERT_TRUE(handle > 0 && busy > 0);

    dvo::test::BusyThread other([&](int n) {
        extLog(busy, "busy %d", n, 1); // waits for room most of the time
        if (n % 64 == 0)
            log("direct %d", n, 1);
    });

    constexpr int kParentLines = 300;
    constexpr int kChildLines = 3000; // more than two full queues
    for (int i = 0; i < kParentLines; ++i)
        extLog(handle, "parent %04d", i, 1);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The parent's supervisor writes what it had queued; the child starts after it, so that
        // the two never write into the file at the same time.
        if (!WaitForText("fork", "parent 0299\r\n", 5))
            ::_exit(4);
        for (int i = 0; i < kChildLines; ++i)
            extLog(handle, "child %04d", i, 1);
        extLog(busy, "child", 0, 1);
        log("child direct", 0, 1);
        ::_exit(WaitForText("fork", "child 2999\r\n", 8) ? 0 : 5);
    }
    EXPECT_TRUE(dvo::test::EndsInTime(pid, 15));
    other.Stop();

    extLog(handle, "parent after", 0, 1);
    EXPECT_TRUE(WaitForText("fork", "parent after\r\n", 5));
    std::string expected;
    char line[64];
    for (int i = 0; i < kParentLines; ++i) {
        std::snprintf(line, sizeof line, "parent %04d\r\n", i);
        expected += line;
    }
    for (int i = 0; i < kChildLines; ++i) {
        std::snprintf(line, sizeof line, "child %04d\r\n", i);
        expected += line;
    }
    expected += "parent after\r\n";
    const std::string text = ReadAll(FindFile("fork"));
    EXPECT_EQ(text.size(), expected.size());
    const auto [mismatch, ignored] =
        std::mismatch(expected.begin(), expected.end(), text.begin(), text.end());
    EXPECT_TRUE(mismatch == expected.end())
        << "first difference at byte " << (mismatch - expected.begin()) << ": "
        << text.substr(static_cast<std::size_t>(mismatch - expected.begin()), 40);
    std::filesystem::current_path(previous);
}

} // namespace
