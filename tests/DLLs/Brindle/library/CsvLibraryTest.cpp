// libBrindle.so as another program gets it: the folder search, the CSV calls and the keyed
// tables through dlopen and dlsym, in the calling order callers use.
#include "SearchCalls.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

namespace {

TEST(BrindleLibrary, SearchCsvAndKeyedTablesThroughTheExports) {
    const dvo::test::TempDir tmp;
    const std::filesystem::path root = tmp.path();
    const std::string csv = (root / "prices.csv").string();
    std::ofstream(csv, std::ios::binary) << "; item,price\r\napple,120\r\npear,95\r\n";
    std::ofstream((root / "notes.txt").string()) << "x";

    void* library = ::dlopen(BRINDLE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    const auto [findFirst, findNext, findEnd] = LoadSearchCalls(library);
    const auto readCsv =
        reinterpret_cast<int (*)(const char*, char*, int, int, int)>(::dlsym(library, "ReadCSV"));
    const auto hInit = reinterpret_cast<int (*)(const char*)>(::dlsym(library, "CSVHInit"));
    const auto getLine = reinterpret_cast<int (*)(int, char*, int)>(::dlsym(library, "CSVGetLine"));
    const auto hTerm = reinterpret_cast<void (*)(int)>(::dlsym(library, "CSVHTerm"));
    const auto column2 =
        reinterpret_cast<int (*)(const char*, int, char*, int)>(::dlsym(library, "CSVReadColumn2"));
    const auto sshInit =
        reinterpret_cast<int (*)(const char*, int, int, int)>(::dlsym(library, "SSHInit"));
    const auto sshSearch =
        reinterpret_cast<int (*)(int, const char*, int, char*)>(::dlsym(library, "SSHSearch"));
    const auto sshTerm = reinterpret_cast<void (*)(int)>(::dlsym(library, "SSHTerm"));
    ASSERT_TRUE(findFirst && findNext && findEnd && readCsv && hInit && getLine && hTerm &&
                column2 && sshInit && sshSearch && sshTerm);

    char name[260];
    std::set<std::string> names;
    void* search = findFirst(root.c_str(), "*.csv", name);
    ASSERT_NE(search, nullptr);
    for (; name[0] != '\0'; findNext(search, name))
        names.insert(name);
    EXPECT_EQ(findEnd(search), 0);
    EXPECT_EQ(names, std::set<std::string>{"prices.csv"});

    char table[2][2][8];
    EXPECT_EQ(readCsv(csv.c_str(), &table[0][0][0], 8, 2, 2), 1);
    EXPECT_STREQ(table[0][0], ""); // the comment line is row 0
    EXPECT_STREQ(table[1][0], "apple");
    EXPECT_STREQ(table[1][1], "120");

    const int text = hInit(csv.c_str());
    ASSERT_EQ(text, 1);
    char line[64];
    char field[16];
    int n = getLine(text, line, sizeof line - 1);
    ASSERT_EQ(n, 12); // "; item,price"
    n = getLine(text, line, sizeof line - 1);
    ASSERT_EQ(n, 9);
    line[n] = '\0';
    EXPECT_EQ(column2(line, 2, field, 15), 3);
    EXPECT_STREQ(field, "120");
    hTerm(text);
    EXPECT_EQ(getLine(text, line, sizeof line), 0);

    const int keyed = sshInit(csv.c_str(), 8, 2, 4);
    ASSERT_EQ(keyed, 1);
    char cell[8];
    EXPECT_EQ(sshSearch(keyed, "pear", 2, cell), 0);
    EXPECT_STREQ(cell, "95");
    EXPECT_EQ(sshSearch(keyed, "plum", 2, cell), -11);
    EXPECT_EQ(sshSearch(keyed, "pear", 3, cell), -14);
    sshTerm(keyed);
    EXPECT_EQ(sshSearch(keyed, "pear", 2, cell), -10);

    ::dlclose(library);
}

} // namespace
