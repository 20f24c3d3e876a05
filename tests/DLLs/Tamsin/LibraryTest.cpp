// libTamsin.so as a program gets it: loaded with its load trace, used through its exports.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
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
    const std::string root = std::string(scratch != nullptr ? scratch : "/tmp") +
                             "/tamsin-end." + std::to_string(::getpid());
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
            using Init = int (*)(void**, int, int, int, int, int, const char*, const char*, const char*);
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

} // namespace
