// libTamsin.so as a program gets it: loaded with its load trace, used through its exports.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

using Init = int (*)(void**, int, int, int, int, int, const char*, const char*, const char*);
using Output = int (*)(void*, int, const char*, ...);
using Term = int (*)(void*);

// The three calls a program needs, from the library loaded by its file name.
struct Exports {
    void* library = ::dlopen(TAMSIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    Init init = library ? reinterpret_cast<Init>(::dlsym(library, "LOGInit")) : nullptr;
    Output output = library ? reinterpret_cast<Output>(::dlsym(library, "LOGOutput")) : nullptr;
    Term term = library ? reinterpret_cast<Term>(::dlsym(library, "LOGTerm")) : nullptr;
    [[nodiscard]] bool ok() const { return init && output && term; }
};

// The messages of a log file's lines ("tag time :: message suffix"), from the first line whose
// message is `first` on; the suffix " E" is taken off.
std::vector<std::string> MessagesFrom(const std::string& path, const std::string& first) {
    std::ifstream in(path);
    std::vector<std::string> messages;
    std::string line;
    while (std::getline(in, line)) {
        const auto at = line.find(" :: ");
        std::string message = at == std::string::npos ? "<torn> " + line : line.substr(at + 4);
        if (message.size() >= 2 && message.compare(message.size() - 2, 2, " E") == 0)
            message.resize(message.size() - 2);
        if (messages.empty() && message != first)
            continue;
        messages.push_back(message);
    }
    return messages;
}

TEST(TamsinLibrary, LoadTraceThenALogThroughTheExports) {
    const char* scratch = std::getenv("DVO_TEST_TMP");
    const std::string root = std::string(scratch != nullptr ? scratch : "/tmp") +
                             "/tamsin-library." + std::to_string(::getpid());
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    const std::string debugPath = root + "/debug.txt";
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    ::setenv("LUMETRA_DEBUG_OUTPUT", debugPath.c_str(), 1);

    void* library = ::dlopen(TAMSIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    EXPECT_EQ(ReadAll(debugPath), "TAMSIN.DLL ATTACED_TO_PROCESS:Called\n");

    using Init = int (*)(void**, int, int, int, int, int, const char*, const char*, const char*);
    using Output = int (*)(void*, int, const char*, ...);
    using Term = int (*)(void*);
    auto init = reinterpret_cast<Init>(::dlsym(library, "LOGInit"));
    auto output = reinterpret_cast<Output>(::dlsym(library, "LOGOutput"));
    auto term = reinterpret_cast<Term>(::dlsym(library, "LOGTerm"));
    ASSERT_TRUE(init && output && term);

    void* log = nullptr;
    EXPECT_EQ(init(&log, 0, 0, 1, 0, 0, "Lib", "TAG", "END"), 0);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(output(log, 0, "%d%%", 42), 0);
    EXPECT_EQ(term(log), 0);
    const std::string text = ReadAll(debugPath);
    EXPECT_NE(text.find(" :: Log Started - CLog Ver. 1.2 (Sep 2006) END\n"), std::string::npos);
    EXPECT_NE(text.find(" :: 42% END\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 18), " :: Log Ended END\n");
    ::dlclose(library);
    std::filesystem::remove_all(root);
}

// A program that logs in queued mode and ends without LOGTerm, by exit() or after unloading the
// library: every line it logged is in the file, whole and in order.
TEST(TamsinLibrary, QueuedLinesSurviveTheEndOfTheProcess) {
    const char* scratch = std::getenv("DVO_TEST_TMP");
    const std::string root = std::string(scratch != nullptr ? scratch : "/tmp") + "/tamsin-end." +
                             std::to_string(::getpid());
    constexpr int kLines = 20000;
    const std::string padding(200, 'p');
    for (const char* ending : {"exit", "dlclose"}) {
        SCOPED_TRACE(ending);
        const std::string data = root + "/" + ending;
        std::filesystem::remove_all(data);
        std::filesystem::create_directories(data);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::setenv("XDG_DATA_HOME", data.c_str(), 1);
            ::setenv("LUMETRA_DEBUG_OUTPUT", (data + "/debug.txt").c_str(), 1);
            void* library = ::dlopen(TAMSIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
            if (library == nullptr)
                ::_exit(3);
            using Init =
                int (*)(void**, int, int, int, int, int, const char*, const char*, const char*);
            using Output = int (*)(void*, int, const char*, ...);
            auto init = reinterpret_cast<Init>(::dlsym(library, "LOGInit"));
            auto output = reinterpret_cast<Output>(::dlsym(library, "LOGOutput"));
            void* log = nullptr;
            init(&log, 0, 1, 0, 0, 0, "Queued", "T", "E");
            for (int i = 0; i < kLines; ++i)
                output(log, 0, "line %06d %s", i, padding.c_str());
            if (std::string(ending) == "exit")
                std::exit(0); // never LOGTerm, as the program does
            ::dlclose(library);
            // Unloaded: nothing of the library may run any more, so end without exit handlers.
            if (::dlopen(TAMSIN_LIBRARY, RTLD_NOW | RTLD_NOLOAD) == nullptr)
                ::_exit(0);
            std::exit(0); // the library stays loaded (it cannot be unloaded here): ends at exit
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        std::string file;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(data))
            if (entry.path().filename() == "Queued.txt")
                file = entry.path();
        ASSERT_FALSE(file.empty());
        std::ifstream in(file);
        std::string line;
        int next = 0;
        int torn = 0;
        while (std::getline(in, line)) {
            const auto at = line.find(" :: line ");
            if (at == std::string::npos)
                continue;
            char expected[32];
            std::snprintf(expected, sizeof expected, " :: line %06d ", next);
            if (line.compare(at, std::strlen(expected), expected) != 0 ||
                line.substr(line.size() - padding.size() - 2) != padding + " E")
                ++torn;
            ++next;
        }
        EXPECT_EQ(next, kLines);
        EXPECT_EQ(torn, 0);
    }
    std::filesystem::remove_all(root);
}

// A child made by fork() while the parent logs in other threads: its lines through the logs it
// inherited reach the file whole and in order, LOGTerm returns, the lines the parent had queued
// are written once (by the parent), and the parent's logs go on working.
TEST(TamsinLibrary, ForkedChildLogsThroughTheInheritedLogs) {
#if defined(__SANITIZE_ADDRESS__)
    // This compiler's AddressSanitizer takes no lock of its allocator around fork(): a child
    // forked while another thread allocates can wait for that lock for ever. The ordinary build
    // runs the test.
    GTEST_SKIP() << "fork amid allocating threads is not safe under this AddressSanitizer";
#endif
    dvo::test::TempDir root;
    ScopedEnv data("XDG_DATA_HOME", (root / "data").c_str());
    ScopedEnv debug("LUMETRA_DEBUG_OUTPUT", (root / "debug.txt").c_str());
    Exports lib;
    ASSERT_TRUE(lib.ok()) << ::dlerror();

    void* log = nullptr;
    void* busy = nullptr;
    lib.init(&log, 0, 1, 0, 0, 0, "Forked", "T", "E");
    lib.init(&busy, 0, 1, 0, 0, 0, "Busy", "T", "E");
    ASSERT_TRUE(log != nullptr && busy != nullptr);
    std::string path;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root / "data"))
        if (entry.path().filename() == "Forked.txt")
            path = entry.path();
    ASSERT_FALSE(path.empty());

    // Another thread keeps the second log's queue and writer busy, so forks find its lock taken.
    dvo::test::BusyThread other([&](int n) { lib.output(busy, 0, "busy %d", n); });

    constexpr int kRounds = 3;
    constexpr int kParentLines = 300;
    constexpr int kChildLines = 5000;
    const std::string padding(100, 'p');
    std::vector<std::string> expected;
    char text[256];
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kParentLines; ++i) {
            std::snprintf(text, sizeof text, "parent %d %04d", round, i);
            lib.output(log, 0, "%s", text);
            expected.push_back(text);
        }
        const std::string lastParentLine = std::string(" :: ") + text + " E\n";
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // The parent's writer writes the lines it had queued; the child starts after them so
            // that the two processes never write into the file at the same time.
            for (int i = 0; ReadAll(path).find(lastParentLine) == std::string::npos; ++i) {
                if (i == 500)
                    ::_exit(4);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            for (int i = 0; i < kChildLines; ++i)
                lib.output(log, 0, "child %d %05d %s", round, i, padding.c_str());
            lib.output(busy, 0, "child %d", round);
            lib.term(busy);
            lib.term(log);
            ::_exit(0);
        }
        ASSERT_TRUE(dvo::test::EndsInTime(pid, 10)) << "round " << round;
        for (int i = 0; i < kChildLines; ++i) {
            std::snprintf(text, sizeof text, "child %d %05d %s", round, i, padding.c_str());
            expected.push_back(text);
        }
        expected.push_back("Log Ended");
    }
    other.Stop();

    lib.output(log, 0, "parent after");
    expected.push_back("parent after");
    expected.push_back("Log Ended");
    lib.term(log);
    lib.term(busy);

    const std::vector<std::string> messages = MessagesFrom(path, expected.front());
    EXPECT_EQ(messages.size(), expected.size());
    for (std::size_t i = 0; i < std::min(messages.size(), expected.size()); ++i) {
        if (messages[i] != expected[i]) {
            ADD_FAILURE() << "line " << i << ": " << messages[i] << ", expected " << expected[i];
            break;
        }
    }
}

// With a data folder that cannot be made, the log lies in the current folder instead of being
// lost.
TEST(TamsinLibrary, WithoutADataFolderTheLogLiesInTheCurrentFolder) {
    dvo::test::TempDir root;
    std::ofstream(root / "plain") << "a file where the data folder would be";
    std::filesystem::create_directory(root / "here");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(root / "here");
    ScopedEnv data("XDG_DATA_HOME", (root / "plain/data").c_str());
    ScopedEnv debug("LUMETRA_DEBUG_OUTPUT", (root / "debug.txt").c_str());
    Exports lib;
    ASSERT_TRUE(lib.ok()) << ::dlerror();

    for (int direct : {0, 1}) {
        void* log = nullptr;
        const std::string name = direct ? "Direct" : "Queued";
        lib.init(&log, 0, 1, 0, direct, 0, name.c_str(), "T", "E");
        ASSERT_NE(log, nullptr);
        lib.output(log, 0, "kept %d", 7);
        lib.term(log);
        const std::vector<std::string> messages = MessagesFrom(
            root / ("here/" + name + ".txt"), "Log Started - CLog Ver. 1.2 (Sep 2006)");
        ASSERT_GE(messages.size(), 3u) << name;
        EXPECT_EQ(messages[messages.size() - 2], "kept 7") << name;
        EXPECT_EQ(messages.back(), "Log Ended") << name;
    }
    std::filesystem::current_path(previous);
}

} // namespace
