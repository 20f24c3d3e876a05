#include "DLLs/Brindle/Brindle.h"
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using ReadCsvTest = brindle_test::ScratchDirTest;

constexpr unsigned char kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 64;

// A table with a guard region behind it that ReadCSV must never touch.
struct GuardedTable {
    GuardedTable(int width, int columns, int rows)
        : width(width), columns(columns), bytes(static_cast<std::size_t>(width * columns * rows)),
          memory(bytes + kGuardBytes, static_cast<char>(kGuard)) {}

    [[nodiscard]] std::string Cell(int row, int column) const {
        return {memory.data() + ((row * columns) + column) * width,
                static_cast<std::size_t>(width)};
    }
    [[nodiscard]] bool GuardIntact() const {
        for (std::size_t i = bytes; i < memory.size(); ++i)
            if (static_cast<unsigned char>(memory[i]) != kGuard)
                return false;
        return true;
    }

    int width;
    int columns;
    std::size_t bytes;
    std::vector<char> memory;
};

// A field's bytes padded with zeros to the cell width.
std::string Padded(const std::string& field, int width) {
    std::string cell = field;
    cell.resize(static_cast<std::size_t>(width), '\0');
    return cell;
}

struct TableCase {
    const char* what;
    std::string content;
    int width, columns, rows;
    std::vector<std::vector<std::string>> cells; // every row, every column
};

TEST_F(ReadCsvTest, ParsesLinesFieldsAndComments) {
    const std::string longLine = "1111,2222,3333\n";
    const TableCase cases[] = {
        {"comment line counted, third line dropped",
         "a,b,c\n;x,y\nd,e,f\n",
         8,
         3,
         2,
         {{"a", "b", "c"}, {"", "", ""}}},
        {"file cut at the table's 48 bytes",
         longLine + longLine + longLine + "4444,5555\n" + longLine,
         4,
         3,
         4,
         {{"1111", "2222", "3333"},
          {"1111", "2222", "3333"},
          {"1111", "2222", "3333"},
          {"444", "", ""}}},
        {"semicolon inside a field is dropped", "ab;cd\n", 8, 1, 1, {{"abcd"}}},
        {"semicolon at a later field ends the line",
         "a,;b,c\nd\n",
         4,
         3,
         2,
         {{"a", "", ""}, {"d", "", ""}}},
        {"field longer than the cell is cut",
         "abcdef,gh\nxyz,123456789\n",
         3,
         2,
         4,
         {{"abc", "gh"}, {"xyz", "123"}, {"", ""}, {"", ""}}},
        {"full cell has no terminator", "abcd,e\n", 4, 2, 1, {{"abcd", "e"}}},
        {"CR ignored anywhere", "a\r,b\r\n\rc,d\r\n", 4, 2, 2, {{"a", "b"}, {"c", "d"}}},
        {"quotes are ordinary bytes", "\"a,b\",'c'\n", 4, 3, 1, {{"\"a", "b\"", "'c'"}}},
        {"spaces kept", " a , b\n", 4, 2, 1, {{" a ", " b"}}},
        {"columns and rows beyond the table dropped",
         "a,b,c\nd,e,f\ng,h,i\n",
         5,
         2,
         2,
         {{"a", "b"}, {"d", "e"}}},
        {"empty line is a row", "a\n\nb", 2, 1, 3, {{"a"}, {""}, {"b"}}},
        {"no line end at the end", "a,b", 2, 2, 1, {{"a", "b"}}},
        {"empty file", "", 4, 2, 2, {{"", ""}, {"", ""}}},
    };
    for (const auto& c : cases) {
        WriteFile(Path("in.csv"), c.content);
        GuardedTable table(c.width, c.columns, c.rows);
        EXPECT_EQ(ReadCSV(Path("in.csv").c_str(), table.memory.data(), c.width, c.columns, c.rows),
                  1)
            << c.what;
        for (int r = 0; r < c.rows; ++r)
            for (int col = 0; col < c.columns; ++col)
                EXPECT_EQ(table.Cell(r, col), Padded(c.cells[r][col], c.width))
                    << c.what << ": row " << r << " column " << col;
        EXPECT_TRUE(table.GuardIntact()) << c.what;
    }
}

TEST_F(ReadCsvTest, FailuresLeaveAnEmptyTable) {
    std::filesystem::create_directory(Path("folder"));
    for (const std::string& name : {Path("missing.csv"), Path("folder")}) {
        GuardedTable table(4, 2, 2);
        std::memset(table.memory.data(), 'x', table.bytes);
        EXPECT_EQ(ReadCSV(name.c_str(), table.memory.data(), 4, 2, 2), 0) << name;
        EXPECT_EQ(std::string(table.memory.data(), table.bytes), std::string(table.bytes, '\0'))
            << name;
        EXPECT_TRUE(table.GuardIntact());
    }
}

TEST_F(ReadCsvTest, SizesThatCannotBeATableAreRefusedUntouched) {
    WriteFile(Path("in.csv"), "a,b\n");
    const struct {
        int width, columns, rows;
    } cases[] = {{65536, 65536, 1}, {1 << 20, 1 << 11, 1}, {-1, 2, 2}, {4, -2, 2}, {4, 2, -1},
                 {-4, -2, 1}};
    for (const auto& c : cases) {
        char table[16];
        std::memset(table, 'x', sizeof table);
        EXPECT_EQ(ReadCSV(Path("in.csv").c_str(), table, c.width, c.columns, c.rows), 0)
            << c.width << " x " << c.columns << " x " << c.rows;
        EXPECT_EQ(std::string(table, sizeof table), std::string(sizeof table, 'x'));
    }
    EXPECT_EQ(ReadCSV(Path("in.csv").c_str(), nullptr, 4, 2, 2), 0);
}

// Tables above the fixed buffer are read in pieces; rows that straddle two pieces must come out
// whole.
TEST_F(ReadCsvTest, LargeTablesReadAcrossPieces) {
    const int rows = 150000; // about 2.4 MB of file, several pieces
    std::string content;
    for (int r = 0; r < rows; ++r)
        content += "row" + std::to_string(r) + "," + std::to_string(r * 7) + "\n";
    WriteFile(Path("big.csv"), content);
    GuardedTable table(12, 2, rows);
    EXPECT_EQ(ReadCSV(Path("big.csv").c_str(), table.memory.data(), 12, 2, rows), 1);
    for (int r = 0; r < rows; ++r) {
        ASSERT_EQ(table.Cell(r, 0), Padded("row" + std::to_string(r), 12)) << r;
        ASSERT_EQ(table.Cell(r, 1), Padded(std::to_string(r * 7), 12)) << r;
    }
    EXPECT_TRUE(table.GuardIntact());
}

} // namespace
