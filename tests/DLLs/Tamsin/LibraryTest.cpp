// libTamsin.so as a program gets it: loaded with its load trace, used through its exports.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

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

} // namespace
