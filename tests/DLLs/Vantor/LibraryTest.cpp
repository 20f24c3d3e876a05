// libVantor.so as another program gets it: loaded with its attach traces, used by name.
#include "tests/support/FileTree.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SearchPatterns.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <set>
#include <string>

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

template <typename F> F Find(void* library, const char* name) {
    return reinterpret_cast<F>(::dlsym(library, name));
}

TEST(VantorLibrary, AttachTracesThenTheExportsByName) {
    TempFolder tmp;
    const std::string debugPath = tmp / "debug.txt";
    ScopedEnv debug("LUMETRA_DEBUG_OUTPUT", debugPath.c_str());
    ScopedEnv config("XDG_CONFIG_HOME", (tmp / "config").c_str());

    void* library = ::dlopen(VANTOR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    EXPECT_EQ(ReadFile(debugPath), "VANTOR.DLL ATTACED_TO_PROCESS:Start\n"
                                   "VANTOR.DLL ATTACED_TO_PROCESS:Finished\n");

    auto writeDword =
        Find<int (*)(const char*, const char*, unsigned)>(library, "CMNWriteRegistryDWORDValue");
    auto readDword =
        Find<int (*)(const char*, const char*, unsigned*)>(library, "CMNReadRegistryDWORDValue");
    auto findFirst = Find<int (*)(char*, const char*, const char*)>(library, "SR_FileFindFirst");
    auto findNext = Find<int (*)(char*)>(library, "SR_FileFindNext");
    auto findClose = Find<int (*)()>(library, "SR_FileFindClose");
    auto makeCopyName = Find<int (*)(char*, const char*, int)>(library, "SRMakeCopyName");
    ASSERT_TRUE(writeDword && readDword && findFirst && findNext && findClose && makeCopyName);

    EXPECT_EQ(writeDword("App\\Settings", "Count", 42), 1);
    unsigned count = 0;
    EXPECT_EQ(readDword("App\\Settings", "Count", &count), 1);
    EXPECT_EQ(count, 42u);
    EXPECT_EQ(ReadFile(tmp / "config/lumetra-registry/HKEY_CURRENT_USER/Software/Lumetra/Lib/App/"
                             "Settings/values.reg"),
              "\"Count\"=dword:0000002a\n");

    WriteFile(tmp / "b.dat", "");
    WriteFile(tmp / "a.dat", "");
    char name[260];
    ASSERT_EQ(findFirst(name, tmp.path().c_str(), "*.dat"), 0);
    EXPECT_STREQ(name, "a.dat");
    ASSERT_EQ(findNext(name), 0);
    EXPECT_STREQ(name, "b.dat");
    EXPECT_EQ(findNext(name), -1);

    char copy[41];
    EXPECT_EQ(makeCopyName(copy, "報告書", 2), 24);
    EXPECT_STREQ(copy, "報告書のコピー(2)");

    // Unloading frees the list; a second load starts with a fresh, empty one.
    ASSERT_EQ(::dlclose(library), 0);
    library = ::dlopen(VANTOR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    findNext = Find<int (*)(char*)>(library, "SR_FileFindNext");
    findClose = Find<int (*)()>(library, "SR_FileFindClose");
    EXPECT_EQ(findNext(name), -1);
    EXPECT_EQ(findClose(), -1);
    EXPECT_EQ(ReadFile(debugPath).size(),
              2 * std::string("VANTOR.DLL ATTACED_TO_PROCESS:Start\n"
                              "VANTOR.DLL ATTACED_TO_PROCESS:Finished\n")
                      .size());
    ::dlclose(library);
}

// The same patterns find the same names as libBrindle's MFindFirst: '?' is one character and a
// trailing ".*" also takes the name without extension.
TEST(VantorLibrary, SearchPatternsMatchByCharacterAndWithoutExtension) {
    TempFolder tmp;
    ScopedEnv debug("LUMETRA_DEBUG_OUTPUT", (tmp / "debug.txt").c_str());
    const std::string dir = tmp / "d";
    std::filesystem::create_directories(dir);
    for (const char* name : dvo::test::kSearchSampleNames)
        WriteFile(dir + "/" + name, "x");

    void* library = ::dlopen(VANTOR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto findFirst = Find<int (*)(char*, const char*, const char*)>(library, "SR_FileFindFirst");
    auto findNext = Find<int (*)(char*)>(library, "SR_FileFindNext");
    auto findClose = Find<int (*)()>(library, "SR_FileFindClose");
    ASSERT_TRUE(findFirst && findNext && findClose);

    for (const auto& c : dvo::test::SearchPatternCases()) {
        std::set<std::string> found;
        char name[260];
        for (int r = findFirst(name, dir.c_str(), c.pattern); r == 0; r = findNext(name))
            found.insert(name);
        EXPECT_EQ(findClose(), 0) << c.pattern;
        EXPECT_EQ(found, c.names) << c.pattern;
    }
    ::dlclose(library);
}

// The data folder is named only when it exists: one that cannot be made leaves the buffer as it
// was, instead of naming a folder that would swallow every file written below it.
TEST(VantorLibrary, ApplicationDataPathNamesOnlyAFolderThatExists) {
    TempFolder tmp;
    WriteFile(tmp / "plain", "a file where the data folder would be");
    ScopedEnv debug("LUMETRA_DEBUG_OUTPUT", (tmp / "debug.txt").c_str());
    void* library = ::dlopen(VANTOR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    for (const char* name : {"CMNGetApplicationDataPath", "SRGetApplicationDataPath"}) {
        auto dataPath = Find<int (*)(char*)>(library, name);
        ASSERT_NE(dataPath, nullptr) << name;
        const struct {
            std::string data;
            std::string expected;
        } cases[] = {
            {tmp / "made/data", tmp / "made/data"},
            {tmp / "plain", "untouched"},
            {tmp / "plain/data", "untouched"},
        };
        for (const auto& c : cases) {
            ScopedEnv data("XDG_DATA_HOME", c.data.c_str());
            char buffer[260] = "untouched";
            EXPECT_EQ(dataPath(buffer), 0);
            EXPECT_EQ(std::string(buffer), c.expected) << name << " " << c.data;
        }
    }
    ::dlclose(library);
}

} // namespace
