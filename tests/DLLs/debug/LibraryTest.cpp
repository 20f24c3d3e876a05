// libdebug.so as another program gets it: loaded by name, used through its exports only, with
// the real clock and the real supervisor thread.
#include <gtest/gtest.h>

#include <chrono>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>

#include "tests/platform/TempDir.h"

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

template <typename F>
F Get(void* library, const char* name) {
    return reinterpret_cast<F>(::dlsym(library, name));
}

TEST(DebugLibrary, WritersAndQueuedLogThroughTheExports) {
    TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());

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
        std::regex(R"(##### \w{3} \w{3} \d\d \d\d:\d\d:\d\d:\d{3} #####   No File or Denied:     id=12\r\n)")));
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
    const std::string expected = "q=7\r\n 68 69" + std::string(43, ' ') + "hi" +
                                 std::string(15, ' ') + "\r\n";
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

} // namespace
