// MFindFirst through dlopen finds what libVantor's SR_FileFindFirst finds for the same patterns:
// '?' is one character and a trailing ".*" also takes the name without extension.
#include "SearchCalls.h"
#include "tests/support/SearchPatterns.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

namespace {

TEST(BrindleLibrary, SearchPatternsMatchByCharacterAndWithoutExtension) {
    const dvo::test::TempDir tmp;
    const std::filesystem::path root = tmp.path();
    for (const char* name : dvo::test::kSearchSampleNames)
        std::ofstream((root / name).string()) << "x";

    void* library = ::dlopen(BRINDLE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    const auto [findFirst, findNext, findEnd] = LoadSearchCalls(library);
    ASSERT_TRUE(findFirst && findNext && findEnd);

    for (const auto& c : dvo::test::SearchPatternCases()) {
        std::set<std::string> found;
        char name[260];
        void* search = findFirst(root.c_str(), c.pattern, name);
        for (; name[0] != '\0'; findNext(search, name))
            found.insert(name);
        if (search != nullptr) {
            EXPECT_EQ(findEnd(search), 0) << c.pattern;
        }
        EXPECT_EQ(found, c.names) << c.pattern;
    }
    ::dlclose(library);
}

} // namespace
