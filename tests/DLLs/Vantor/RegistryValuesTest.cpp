// The settings store through the exports: what lands in the store's files and what reads back.
#include "DLLs/Vantor/Vantor.h"
#include "tests/DLLs/Vantor/VantorFixture.h"

#include <climits>
#include <cstring>

namespace {

using namespace vantor_test;

class RegistryValues : public VantorTest {
protected:
    std::string lib = tmp / "config/lumetra-registry/HKEY_CURRENT_USER/Software/Lumetra/Lib";
    std::string ValuesFile(const std::string& key) const { return lib + "/" + key + "/values.reg"; }
};

TEST_F(RegistryValues, FirstWriteCreatesTheKeyPathAndEachTypeReadsBack) {
    EXPECT_EQ(CMNWriteRegistryDWORDValue("Viewer\\Window", "Width", 42u), 1);
    EXPECT_EQ(CMNWriteRegistryLongValue("Viewer\\Window", "Offset", -2), 1);
    EXPECT_EQ(CMNWriteRegistryIntValue("Viewer\\Window", "Count", INT_MAX), 1);
    EXPECT_EQ(CMNWriteRegistryBoolValue("Viewer\\Window", "Shown", 0x100), 1);
    EXPECT_EQ(CMNWriteRegistryStringValue("Viewer\\Window", "Title", "報告書", 10), 1);

    // The hand-editable file of the store, one line a value.
    EXPECT_EQ(ReadFile(ValuesFile("Viewer/Window")), "\"Width\"=dword:0000002a\n"
                                                     "\"Offset\"=dword:fffffffe\n"
                                                     "\"Count\"=dword:7fffffff\n"
                                                     "\"Shown\"=dword:00000001\n"
                                                     "\"Title\"=\"報告書\"\n");

    unsigned width = 0;
    int offset = 0, count = 0, shown = 0;
    char title[260] = {};
    EXPECT_EQ(CMNReadRegistryDWORDValue("Viewer\\Window", "Width", &width), 1);
    EXPECT_EQ(CMNReadRegistryLongValue("Viewer\\Window", "Offset", &offset), 1);
    EXPECT_EQ(CMNReadRegistryIntValue("Viewer\\Window", "count", &count), 1); // names ignore case
    EXPECT_EQ(CMNReadRegistryBoolValue("Viewer\\Window", "Shown", &shown), 1);
    EXPECT_EQ(CMNReadRegistryStringValue("Viewer\\Window", "Title", title), 1);
    EXPECT_EQ(width, 42u);
    EXPECT_EQ(offset, -2);
    EXPECT_EQ(count, INT_MAX);
    EXPECT_EQ(shown, 1);
    EXPECT_STREQ(title, "報告書");
}

TEST_F(RegistryValues, ReadersNeverCreateKeysAndFailuresLeaveNoTrace) {
    unsigned number = 7;
    int flag = 7;
    char text[260] = "kept";
    EXPECT_EQ(CMNReadRegistryDWORDValue("Missing\\Key", "Width", &number), 0);
    EXPECT_EQ(CMNReadRegistryBoolValue("Missing", "Shown", &flag), 0);
    EXPECT_EQ(CMNReadRegistryStringValue("Missing", "Title", text), 0);
    EXPECT_EQ(CMNReadRegistryValue("Missing", "Raw", text, sizeof text), 0);
    EXPECT_FALSE(Exists(tmp / "config/lumetra-registry"));
    EXPECT_EQ(flag, 7);

    // Null arguments, a zero size or count: false before the store is touched.
    EXPECT_EQ(CMNWriteRegistryDWORDValue(nullptr, "Width", 1), 0);
    EXPECT_EQ(CMNWriteRegistryDWORDValue("K", nullptr, 1), 0);
    EXPECT_EQ(CMNWriteRegistryStringValue("K", "S", nullptr, 4), 0);
    EXPECT_EQ(CMNWriteRegistryStringValue("K", "S", "abc", 0), 0);
    EXPECT_EQ(CMNReadRegistryValue("K", "S", text, 0), 0);
    EXPECT_EQ(CMNReadRegistryDWORDValue("K", "S", nullptr), 0);
    EXPECT_EQ(CMNReadRegistryDWORDValue(nullptr, "S", &number), 0);
    EXPECT_FALSE(Exists(tmp / "config/lumetra-registry"));

    // A subkey may not climb out of the library's root.
    EXPECT_EQ(CMNWriteRegistryDWORDValue("..\\..\\DVO", "Level", 3), 0);
    EXPECT_EQ(CMNWriteRegistryDWORDValue("a/b", "Level", 3), 0);
    EXPECT_FALSE(Exists(tmp / "config/lumetra-registry/HKEY_CURRENT_USER/Software/Lumetra/DVO"));

    // A value that exists in a key that exists, but not the one asked for.
    ASSERT_EQ(CMNWriteRegistryDWORDValue("K", "Other", 1), 1);
    EXPECT_EQ(CMNReadRegistryDWORDValue("K", "Width", &number), 0);
    EXPECT_EQ(number, 7u);
}

TEST_F(RegistryValues, StringsLongerThanThreeCharactersReadWithinTheTextBuffer) {
    const std::string long259(259, 'x');
    const std::string long260(260, 'y');
    ASSERT_EQ(CMNWriteRegistryStringValue("S", "abc", "abc", 4), 1);
    ASSERT_EQ(CMNWriteRegistryStringValue("S", "fits", long259.c_str(), 260), 1);
    ASSERT_EQ(CMNWriteRegistryStringValue("S", "over", long260.c_str(), 261), 1);
    // Stored without its terminating zero, as the caller chose.
    ASSERT_EQ(CMNWriteRegistryStringValue("S", "bare", "abcdef", 6), 1);

    char text[300];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(CMNReadRegistryStringValue("S", "abc", text), 1);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(CMNReadRegistryStringValue("S", "fits", text), 1);
    EXPECT_EQ(std::string(text), long259);
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(CMNReadRegistryStringValue("S", "bare", text), 1);
    EXPECT_STREQ(text, "abcdef");
    EXPECT_EQ(CMNReadRegistryStringValue("S", "over", text), 0);
    EXPECT_EQ(text[260], '#'); // nothing written past the buffer's 260 bytes

    // The raw reader gives the bytes as stored and refuses a buffer that is too small.
    char raw[8] = {};
    EXPECT_EQ(CMNReadRegistryValue("S", "bare", raw, 6), 1);
    EXPECT_EQ(std::string(raw, 6), "abcdef");
    EXPECT_EQ(CMNReadRegistryValue("S", "bare", raw, 5), 0);
    // A 4-byte reader of a longer value fails; its own 4 bytes fit ("abc" and its zero).
    unsigned number = 0;
    EXPECT_EQ(CMNReadRegistryDWORDValue("S", "bare", &number), 0);
    EXPECT_EQ(CMNReadRegistryDWORDValue("S", "abc", &number), 1);
    EXPECT_EQ(std::memcmp(&number, "abc", 4), 0);
}

TEST_F(RegistryValues, BoolsAreAnyNonZeroNumberAndAFailedReadKeepsTheTarget) {
    ASSERT_EQ(CMNWriteRegistryDWORDValue("B", "Two", 2), 1);
    ASSERT_EQ(CMNWriteRegistryDWORDValue("B", "Zero", 0), 1);
    ASSERT_EQ(CMNWriteRegistryBoolValue("B", "Minus", -1), 1);
    int flag = 5;
    EXPECT_EQ(CMNReadRegistryBoolValue("B", "Two", &flag), 1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(CMNReadRegistryBoolValue("B", "Zero", &flag), 1);
    EXPECT_EQ(flag, 0);
    unsigned stored = 0;
    EXPECT_EQ(CMNReadRegistryDWORDValue("B", "Minus", &stored), 1);
    EXPECT_EQ(stored, 1u);
    flag = 5;
    EXPECT_EQ(CMNReadRegistryBoolValue("B", "Absent", &flag), 0);
    EXPECT_EQ(flag, 5);
}

TEST_F(RegistryValues, HandEditedValuesFileIsRead) {
    std::filesystem::create_directories(lib + "/Edited");
    WriteFile(ValuesFile("Edited"), "; by hand\r\n\"Level\" = dword:00000003\r\n"
                                    "\"Path\"=\"C:\\\\data \\\"x\\\"\"\r\nbroken line\r\n");
    unsigned level = 0;
    char path[260] = {};
    EXPECT_EQ(CMNReadRegistryDWORDValue("Edited", "Level", &level), 1);
    EXPECT_EQ(level, 3u);
    EXPECT_EQ(CMNReadRegistryStringValue("Edited", "Path", path), 1);
    EXPECT_STREQ(path, "C:\\data \"x\"");
}

} // namespace
