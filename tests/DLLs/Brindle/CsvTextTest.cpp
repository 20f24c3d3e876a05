#include "DLLs/Brindle/Brindle.h"
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The text slots are process-wide: every test hands back what it took.
class CsvText : public brindle_test::ScratchDirTest {
protected:
    void TearDown() override {
        for (int h = 1; h <= 16; ++h)
            CSVHTerm(h);
        ScratchDirTest::TearDown();
    }

    int Open(const std::string& content, const std::string& file = "in.csv") {
        WriteFile(Path(file), content);
        return CSVHInit(Path(file).c_str());
    }

    // Every line until CSVGetLine returns 0.
    static std::vector<std::string> Lines(int handle) {
        std::vector<std::string> lines;
        char buffer[64];
        for (int n; (n = CSVGetLine(handle, buffer, sizeof buffer)) > 0 && lines.size() < 100;)
            lines.emplace_back(buffer, static_cast<std::size_t>(n));
        return lines;
    }
};

TEST_F(CsvText, LinesSkipEmptyOnesAndEndAtAnyCrOrLf) {
    using Lines_ = std::vector<std::string>;
    const struct {
        std::string content;
        Lines_ lines;
    } cases[] = {
        {"\r\n\r\nabc\r\n", {"abc"}},
        {"a,b\n\n\nc\rd", {"a,b", "c", "d"}},
        {"no line end", {"no line end"}},
        {"\n\r\n\r", {}},
        {std::string("nul\0inside\n", 11), {std::string("nul\0inside", 10)}},
    };
    for (const auto& c : cases) {
        const int handle = Open(c.content);
        ASSERT_GE(handle, 1);
        EXPECT_EQ(Lines(handle), c.lines) << c.content;
        char buffer[4];
        EXPECT_EQ(CSVGetLine(handle, buffer, sizeof buffer), 0) << "stays at the end";
        CSVHTerm(handle);
    }
}

TEST_F(CsvText, AShortBufferGetsTheStartAndTheWholeLength) {
    const int handle = Open("0123456789\nnext\n");
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(CSVGetLine(handle, buffer, 2), 10);
    EXPECT_EQ(std::string(buffer, 4), "01xx");
    EXPECT_EQ(CSVGetLine(handle, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "next");
    EXPECT_EQ(CSVGetLine(handle, nullptr, 0), 0);
}

TEST_F(CsvText, SixteenSlotsThenRefusal) {
    int handles[16];
    for (int i = 0; i < 16; ++i) {
        handles[i] = Open("line" + std::to_string(i), "f" + std::to_string(i));
        EXPECT_EQ(handles[i], i + 1);
    }
    EXPECT_EQ(Open("seventeenth", "f17"), -1);
    CSVHTerm(5);
    EXPECT_EQ(Open("again", "f5b"), 5); // the lowest free slot
    EXPECT_EQ(Lines(5), std::vector<std::string>{"again"});
    EXPECT_EQ(Lines(6), std::vector<std::string>{"line5"}); // the others keep their texts
}

TEST_F(CsvText, AnEmptyFileGivesAHandleButKeepsItsSlotFree) {
    const int empty = Open("", "empty.csv");
    ASSERT_GE(empty, 1);
    char buffer[8];
    EXPECT_EQ(CSVGetLine(empty, buffer, sizeof buffer), 0);
    EXPECT_EQ(Open("", "empty2.csv"), empty);
    EXPECT_EQ(Open("full", "full.csv"), empty);
    EXPECT_EQ(Lines(empty), std::vector<std::string>{"full"});
}

TEST_F(CsvText, FilesThatCannotBeReadTakeNoSlot) {
    std::filesystem::create_directory(Path("folder"));
    EXPECT_EQ(CSVHInit(Path("missing.csv").c_str()), -1);
    EXPECT_EQ(CSVHInit(Path("folder").c_str()), -1);
    EXPECT_EQ(CSVHInit(nullptr), -1);
    EXPECT_EQ(Open("x"), 1);
}

TEST_F(CsvText, FilesWhoseSizeIsUnknownAreReadWhole) {
    // /proc files report size 0 but have content; reading to the end finds it.
    const int handle = CSVHInit("/proc/self/status");
    ASSERT_GE(handle, 1);
    char buffer[64];
    const int n = CSVGetLine(handle, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, 5), "Name:");
    EXPECT_GT(n, 5);
}

TEST(CsvTextHandles, OutsideOneToSixteenIsLeftAlone) {
    char buffer[8];
    for (int handle : {-1, 0, 17, 1 << 30}) {
        EXPECT_EQ(CSVGetLine(handle, buffer, sizeof buffer), 0);
        CSVHTerm(handle);
    }
}

struct ColumnCase {
    const char* line;
    int column;
    int maxLength;
    int result;
    const char* field; // nullptr: untouched
};

TEST(CsvReadColumn, CutsFieldsAndDropsQuotes) {
    const ColumnCase cases[] = {
        {"a,'b,c',d", 1, 8, 1, "a"},
        {"a,'b,c',d", 2, 8, 1, "b"}, // quotes do not protect the comma
        {"a,'b,c',d", 3, 8, 1, "c"},
        {"a,'b,c',d", 4, 8, 1, "d"},
        {"a,'b,c',d", 5, 8, 0, nullptr},
        {"a,b", 0, 8, 0, nullptr},
        {"a,b", -3, 8, 0, nullptr},
        {"x\"y\"z,2", 1, 8, 3, "xyz"},
        {"ab\"\"cde", 1, 3, 3, "abc"}, // quotes do not count toward the maximum
        {"a,b\rc,d", 3, 8, 0, nullptr},
        {"a,b\nc,d", 2, 8, 1, "b"},
        {" sp ,", 1, 8, 4, " sp "},
        {"a,", 2, 8, 0, ""}, // an empty last field exists: CSVReadColumn2 terminates it
        {"", 1, 8, 0, ""},
        {"a,b\r", 3, 8, 0, nullptr},
    };
    for (const auto& c : cases) {
        char field[16];
        std::memset(field, '#', sizeof field);
        EXPECT_EQ(CSVReadColumn(c.line, c.column, field, c.maxLength), c.result)
            << c.line << " #" << c.column;
        const std::string expected = c.field == nullptr ? "" : c.field;
        EXPECT_EQ(std::string(field, expected.size()), expected) << c.line << " #" << c.column;
        EXPECT_EQ(field[expected.size()], '#') << "no terminator: " << c.line << " #" << c.column;

        std::memset(field, '#', sizeof field);
        EXPECT_EQ(CSVReadColumn2(c.line, c.column, field, c.maxLength), c.result) << c.line;
        if (c.field == nullptr)
            EXPECT_EQ(field[0], '#') << "untouched: " << c.line << " #" << c.column;
        else
            EXPECT_STREQ(field, c.field);
    }
}

TEST(CsvReadColumn2, TerminatesAtItsMaximumAndForEmptyFields) {
    char field[8];
    std::memset(field, '#', sizeof field);
    EXPECT_EQ(CSVReadColumn2("abcde,f", 1, field, 3), 3);
    EXPECT_EQ(std::string(field, 5), std::string("abc\0#", 5));

    std::memset(field, '#', sizeof field);
    EXPECT_EQ(CSVReadColumn2("a,,b", 2, field, 3), 0);
    EXPECT_EQ(std::string(field, 2), std::string("\0#", 2));

    std::memset(field, '#', sizeof field);
    EXPECT_EQ(CSVReadColumn2("abc", 1, field, -1), 0);
    EXPECT_EQ(field[0], '#');
}

} // namespace
