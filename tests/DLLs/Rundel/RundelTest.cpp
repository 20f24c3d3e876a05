#include "DLLs/Rundel/Rundel.h"
#include "DLLs/Rundel/DateText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// A field pre-filled with '#', so that bytes written past the described ones show.
struct Field {
    explicit Field(std::size_t size = 24) : bytes(size, '#') {}
    char* data() { return bytes.data(); }
    std::string bytes;
};

TEST(RundelNumbers, DecAndHexReadTheNumberAtTheFieldStart) {
    const struct {
        const char* text;
        int count;
        int dec;
        int hex;
    } cases[] = {
        {"  1234", 6, 1234, 0x1234},
        {"12AB", 4, 12, 0x12AB},
        {"      ", 6, 0, 0},
        {"1aF", 3, 1, 0x1AF}, // Hex of 1aF is 431
        {"-42", 3, 0, 0},     // no sign
        {"+42", 3, 0, 0},
        {"12 34", 5, 12, 0x12},
        {"123456", 3, 123, 0x123}, // count bounds the field
        {"   7", 2, 0, 0},         // blanks fill the whole count
        {"99", 0, 0, 0},
        {"99", -1, 0, 0},
        {"4294967297", 10, 1, static_cast<int>(0x94967297U)}, // 32-bit values wrap
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Dec(c.text, c.count), c.dec) << c.text;
        EXPECT_EQ(Hex(c.text, c.count), c.hex) << c.text;
    }
    EXPECT_EQ(Hex("1aF", 3), 431);
    EXPECT_EQ(Hex("100000001", 9), 1); // 0x100000001 wraps to 1
    EXPECT_EQ(PasInt(nullptr), 0);
    EXPECT_EQ(PasInt(" 250x"), 250);
    EXPECT_EQ(PasInt(""), 0);
}

TEST(RundelNumbers, FixedWidthDigitsAndHex) {
    const struct {
        int value;
        int width;
        const char* digits;
    } cases[] = {
        {7, 3, "007"},    {12345, 3, "345"},           {0, 2, "00"}, {2147483647, 10, "2147483647"},
        {-42, 4, "0042"}, {INT_MIN, 10, "2147483648"}, {5, 0, ""}};
    for (const auto& c : cases) {
        Field f;
        LStr(c.value, c.width, f.data());
        EXPECT_EQ(f.bytes.substr(0, std::strlen(c.digits) + 1), std::string(c.digits) + "#")
            << c.value;
    }
    Field f;
    ByteHex(0x1AB, f.data());
    EXPECT_EQ(f.bytes.substr(0, 3), "AB#");
    WordHex(0x12ABCD, f.data());
    EXPECT_EQ(f.bytes.substr(0, 5), "ABCD#");
    LongHex(-1, f.data());
    EXPECT_EQ(f.bytes.substr(0, 9), "FFFFFFFF#");
    LongHex(0x0badF00d, f.data());
    EXPECT_EQ(f.bytes.substr(0, 9), "0BADF00D#");
}

TEST(RundelNumbers, ZeroSuppressionAndBlankSwaps) {
    const struct {
        const char* in;
        int count;
        const char* out;
    } cases[] = {{"000120", 6, "   120"}, {"0000", 4, "    "}, {"0000", 2, "  00"},
                 {" 012", 4, " 012"},     {"0a0", 3, " a0"},   {"00", 0, "00"}};
    for (const auto& c : cases) {
        std::string field = c.in;
        ZSupr(c.count, field.data());
        EXPECT_EQ(field, c.out) << c.in;
    }
    const std::string withZeros("a\0b \0", 5);
    Field f;
    Zero2Space(withZeros.data(), f.data(), 5);
    EXPECT_EQ(f.bytes.substr(0, 6), "a b  #");
    Space2Zero(withZeros.data(), f.data(), 5);
    EXPECT_EQ(f.bytes.substr(0, 6), std::string("a\0b\0\0#", 6));
}

TEST(RundelPacked, DigitsPackBothWays) {
    const struct {
        const char* digits;
        int count;
        std::string packed;
    } cases[] = {
        {"203", 3, "\x2A\x30"},
        {"090", 3, "\xA9\xA0"},
        {"1234", 4, "\x12\x34"},
        {"9x0", 3, std::string("\x90\xA0", 2)}, // a byte that is no digit packs as a filler
        {"0", 1, "\xA0"},
    };
    for (const auto& c : cases) {
        Field f;
        Str2BCD(c.digits, reinterpret_cast<unsigned char*>(f.data()), c.count);
        EXPECT_EQ(f.bytes.substr(0, c.packed.size() + 1), c.packed + "#") << c.digits;
    }
    const unsigned char packed[] = {0xA9, 0xA0};
    Field text;
    BCD2Str(packed, text.data(), 4);
    EXPECT_EQ(text.bytes.substr(0, 5), std::string("090\0#", 5));
    BCD2Str2(packed, text.data(), 4);
    EXPECT_EQ(text.bytes.substr(0, 5), "090 #");
    // Values packing never makes still give a digit: v modulo 10.
    const unsigned char odd[] = {0xBF, 0x5C};
    BCD2Str(odd, text.data(), 4);
    EXPECT_EQ(text.bytes.substr(0, 5), "1552#");
    Field three;
    BCD2Str(odd, three.data(), 3);
    EXPECT_EQ(three.bytes.substr(0, 4), "155#"); // an odd count stops after a high half
}

TEST(RundelStrings, StrMatchComparesExactlyCountPositions) {
    const struct {
        const char* text;
        const char* pattern;
        int count;
        int result;
    } cases[] = {
        {"AB12", "A?1*", 4, 1},   {"AB13", "AB12", 4, 0},   {"AB13", "AB1*", 4, 1},
        {"ABCD", "AB", 2, 1},     {"AB\0D", "AB\0X", 3, 1}, // terminators are compared like any byte
        {"AB\0D", "AB\0X", 4, 0}, {"xyz", "*", 3, 1},       {"xyz", "abc", 0, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StrMatch(c.text, c.pattern, c.count), c.result) << c.pattern << " " << c.count;
}

TEST(RundelStrings, CCopyAndNCopyWithNullAndLongStrings) {
    const std::string abc("\x03"
                          "abc",
                          4);
    const std::string longer("\x07"
                             "abcdefg",
                             8);
    const std::string withNul("\x03"
                              "a\0c",
                              4);
    const struct {
        const char* what;
        void (*copy)(char*, const char*, int);
        const char* source;
        int width;
        std::string field; // the first 8 bytes afterwards
    } cases[] = {
        {"CCopy short", CCopy, abc.c_str(), 5, "abc#####"},
        {"CCopy long", CCopy, longer.c_str(), 5, "abcde###"},
        {"CCopy with a zero byte", CCopy, withNul.c_str(), 5, std::string("a\0\0#####", 8)},
        {"CCopy null", CCopy, nullptr, 5, "     ###"},
        {"NCopy short", NCopy, abc.c_str(), 5, "##abc###"},
        {"NCopy exact", NCopy, abc.c_str(), 3, "abc#####"},
        {"NCopy long", NCopy, longer.c_str(), 5, "abcde###"},
        {"NCopy with a zero byte", NCopy, withNul.c_str(), 5, std::string("##a\0\0###", 8)},
        {"NCopy null", NCopy, nullptr, 5, "     ###"},
    };
    for (const auto& c : cases) {
        Field f(8);
        c.copy(f.data(), c.source, c.width);
        EXPECT_EQ(f.bytes, c.field) << c.what;
    }
}

TEST(RundelStrings, StrCopyStopsAtCountZeroOrStopByte) {
    const struct {
        const char* source;
        int count;
        int stop;
        const char* copied;
    } cases[] = {{"abc,def", 10, ',', "abc"},
                 {"abcdef", 4, ',', "abcd"},
                 {"ab", 10, ',', "ab"},
                 {"a\xFF"
                  "b",
                  10, 0xFF, "a"},
                 {"abc", 10, 0, "abc"},
                 {"abc", 0, ',', ""}};
    for (const auto& c : cases) {
        Field f(12);
        StrCopy(f.data(), c.source, c.count, c.stop);
        EXPECT_EQ(f.bytes.substr(0, std::strlen(c.copied) + 1), std::string(c.copied) + "#")
            << c.source;
    }
}

TEST(RundelStrings, FindStringAtAnyAndAtEvenOffsets) {
    const char data[] = "abcdefcd";
    const struct {
        const char* key;
        int length;
        int found;
        int found2;
        int after;  // offset of *position for FindString, -1 for null
        int after2; // the same for FindString2
    } cases[] = {
        {"cd", 6, 1, 1, 4, 4},
        {"de", 6, 1, 0, 5, -1}, // offset 3 is odd
        {"bc", 8, 1, 0, 3, -1},
        {"fc", 8, 1, 0, 7, -1},
        {"dc", 8, 0, 0, -1, -1},
        {"cd", 3, 0, 0, -1, -1}, // the second "cd" lies beyond the length
        {"ef", 6, 1, 1, 6, 6},   // a key that ends exactly at the length
        {"", 8, 1, 1, 0, 0},     // the empty key is found at the start
        {"abcdefcdx", 8, 0, 0, -1, -1},
    };
    for (const auto& c : cases) {
        char* position = reinterpret_cast<char*>(1);
        EXPECT_EQ(FindString(data, c.key, c.length, &position), c.found) << c.key;
        EXPECT_EQ(position, c.after < 0 ? nullptr : data + c.after) << c.key;
        position = reinterpret_cast<char*>(1);
        EXPECT_EQ(FindString2(data, c.key, c.length, &position), c.found2) << c.key;
        EXPECT_EQ(position, c.after2 < 0 ? nullptr : data + c.after2) << c.key;
    }
    // An odd hit before an even one: FindString2 keeps looking.
    const char pairs[] = "xabab";
    char* position = nullptr;
    EXPECT_EQ(FindString2(pairs, "ab", 5, &position), 0);
    EXPECT_EQ(FindString2("xaab"
                          "ab",
                          "ab", 6, &position),
              1);
    EXPECT_EQ(FindString("ab", "ab", 2, nullptr), 1);
}

TEST(RundelDates, FieldsFromAFixedClock) {
    platform::LocalTime t;
    t.year = 2004;
    t.month = 3;
    t.day = 9;
    t.hour = 7;
    t.minute = 5;
    t.second = 3;
    // The field and the byte after it.
    const auto format = [](void (*f)(const platform::LocalTime&, char*),
                           const platform::LocalTime& at, std::size_t size) {
        Field field;
        f(at, field.data());
        return field.bytes.substr(0, size + 1);
    };
    EXPECT_EQ(format(rundel::FormatDate, t, 10), "03/09/2004#");
    EXPECT_EQ(format(rundel::FormatDate2, t, 8), "03/09/04#");
    EXPECT_EQ(format(rundel::FormatTime, t, 8), "07:05:03#");
    t = {2026, 12, 31, 4, 23, 59, 58, 999};
    EXPECT_EQ(format(rundel::FormatDate, t, 10), "12/31/2026#");
    EXPECT_EQ(format(rundel::FormatDate2, t, 8), "12/31/26#");
    EXPECT_EQ(format(rundel::FormatTime, t, 8), "23:59:58#");
    t = {2000, 1, 1, 6, 0, 0, 0, 0};
    EXPECT_EQ(format(rundel::FormatDate2, t, 8), "01/01/00#");
}

TEST(RundelDates, TheExportsUseTheLocalClock) {
    // Read before and after: the calls' answers must lie between the two readings.
    const platform::LocalTime before = platform::LocalNow();
    Field date, date2, time;
    GetDate(date.data());
    GetDate2(date2.data());
    GetTime(time.data());
    const platform::LocalTime after = platform::LocalNow();
    Field lo, hi, loTime, hiTime;
    rundel::FormatDate(before, lo.data());
    rundel::FormatDate(after, hi.data());
    EXPECT_TRUE(date.bytes.substr(0, 11) == lo.bytes.substr(0, 11) ||
                date.bytes.substr(0, 11) == hi.bytes.substr(0, 11))
        << date.bytes;
    rundel::FormatTime(before, loTime.data());
    rundel::FormatTime(after, hiTime.data());
    EXPECT_TRUE(time.bytes.substr(0, 9) == loTime.bytes.substr(0, 9) ||
                time.bytes.substr(0, 9) == hiTime.bytes.substr(0, 9))
        << time.bytes;
    EXPECT_EQ(date2.bytes.substr(0, 6), date.bytes.substr(0, 6));
    EXPECT_EQ(date2.bytes.substr(6, 3), date.bytes.substr(8, 2) + "#");
}

TEST(RundelPaths, ChangeExtAndGetFileName) {
    const struct {
        const char* path;
        const char* ext;
        const char* result;
    } ext[] = {{"report.txt", "csv", "report.csv"},
               {"report.txt", "", "report"},
               {"report", "csv", "csv"},
               {"report", "", ""},
               {"report.", "csv", "report.csv"},
               {"old.dir/report", "csv", "old.csv"},
               {"", "csv", "csv"}};
    for (const auto& c : ext) {
        Field f;
        EXPECT_EQ(ChangeExt(c.path, c.ext, f.data()), 0) << c.path;
        EXPECT_STREQ(f.data(), c.result) << c.path;
    }
    char inPlace[32] = "/data/report.txt";
    ChangeExt(inPlace, "csv", inPlace);
    EXPECT_STREQ(inPlace, "/data/report.csv");

    const struct {
        const char* path;
        int result;
        const char* name;
    } names[] = {{"/dir/file.txt", 0, "file.txt"},
                 {"/name", 0, "name"},
                 {"name", 0, "name"},
                 {"/dir/", 0, ""},
                 {"a\\b", 0, "a\\b"},
                 {"", -1, ""}};
    for (const auto& c : names) {
        Field f;
        EXPECT_EQ(GetFileName(c.path, f.data()), c.result) << c.path;
        EXPECT_STREQ(f.data(), c.name) << c.path;
    }
}

class RundelCurrentPath : public ::testing::Test {
protected:
    void SetUp() override { m_before = std::filesystem::current_path(); }
    void TearDown() override { std::filesystem::current_path(m_before); }
    std::filesystem::path m_before;
};

TEST_F(RundelCurrentPath, EndsInOneSlashAndRefusesWhatDoesNotFit) {
    char path[256];
    std::filesystem::current_path("/");
    EXPECT_EQ(GetCurrentPath(path), 0);
    EXPECT_STREQ(path, "/");
    std::filesystem::current_path("/tmp");
    EXPECT_EQ(GetCurrentPath(path), 0);
    EXPECT_STREQ(path, (std::filesystem::canonical("/tmp").string() + "/").c_str());

    // A folder of 255 bytes fills the buffer without its '/'; one of 256 cannot be had.
    const char* tmp = std::getenv("DVO_TEST_TMP");
    std::string base =
        std::filesystem::canonical(tmp != nullptr ? tmp : "/tmp").string() + "/rundel-cwd";
    std::filesystem::create_directories(base);
    base = std::filesystem::canonical(base).string();
    std::string exact = base + "/" + std::string(255 - base.size() - 1, 'x');
    std::filesystem::create_directories(exact);
    std::filesystem::current_path(exact);
    EXPECT_EQ(GetCurrentPath(path), 0);
    EXPECT_EQ(std::string(path), exact);
    std::filesystem::create_directories(exact + "/y");
    std::filesystem::current_path(exact + "/y");
    std::strcpy(path, "stale");
    EXPECT_EQ(GetCurrentPath(path), -1);
    EXPECT_STREQ(path, "");
    std::filesystem::current_path(m_before);
    std::filesystem::remove_all(base);
}

} // namespace
