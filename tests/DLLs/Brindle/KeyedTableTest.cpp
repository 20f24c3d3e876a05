#include "DLLs/Brindle/Brindle.h"
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The table slots are process-wide: every test hands back what it took.
class KeyedTable : public brindle_test::ScratchDirTest {
protected:
    void TearDown() override {
        for (int h = 1; h <= 16; ++h)
            SSHTerm(h);
        ScratchDirTest::TearDown();
    }
};

struct SearchCase {
    const char* key;
    int column;
    int result;
    std::string cell; // the width bytes written; empty when nothing is written
};

TEST_F(KeyedTable, LooksUpTheFirstRowWithTheKey) {
    WriteFile(Path("t.csv"), "k1,v1,w1\nk2,,w2\nk1,dup,w3\nlongkey12,x,y\n;k3,comment\nk4\n");
    const int handle = SSHInit(Path("t.csv").c_str(), 8, 3, 8);
    ASSERT_EQ(handle, 1);
    const std::string z(8, '\0');
    const SearchCase cases[] = {
        {"k1", 2, BRINDLE_OK, "v1" + z.substr(2)}, // the first of two rows with the key
        {"k1", 1, BRINDLE_OK, "k1" + z.substr(2)},
        {"k1", 3, BRINDLE_OK, "w1" + z.substr(2)},
        {"k2", 2, BRINDLE_E_NO_DATA, ""}, // empty cell
        {"k2", 3, BRINDLE_OK, "w2" + z.substr(2)},
        {"k4", 2, BRINDLE_E_NO_DATA, ""},
        {"k3", 1, BRINDLE_E_NO_DATA, ""}, // a comment line holds no key
        {"zz", 1, BRINDLE_E_NO_DATA, ""},
        {"longkey1", 1, BRINDLE_OK, "longkey1"},         // a full cell arrives without terminator
        {"longkey12", 2, BRINDLE_OK, "x" + z.substr(1)}, // keys compare over the width only
        {"k1", 0, BRINDLE_E_OUT_OF_BOUNDS, ""},
        {"k1", 4, BRINDLE_E_OUT_OF_BOUNDS, ""},
        {"k1", -1, BRINDLE_E_OUT_OF_BOUNDS, ""},
        {"", 2, BRINDLE_E_NO_DATA,
         ""}, // the empty key finds the first empty row, whose cell is empty
    };
    for (const auto& c : cases) {
        char cell[12];
        std::memset(cell, '#', sizeof cell);
        EXPECT_EQ(SSHSearch(handle, c.key, c.column, cell), c.result) << c.key << " #" << c.column;
        const std::string written = c.cell.empty() ? std::string(12, '#') : c.cell + "####";
        EXPECT_EQ(std::string(cell, sizeof cell), written) << c.key << " #" << c.column;
    }
    char cell[8];
    EXPECT_EQ(SSHSearch(handle, nullptr, 1, cell), BRINDLE_E_NO_DATA);
    EXPECT_EQ(SSHSearch(handle, "k1", 1, nullptr), BRINDLE_E_OUT_OF_BOUNDS);
}

TEST_F(KeyedTable, HandlesAndSlots) {
    WriteFile(Path("t.csv"), "k,v\n");
    char cell[4];
    for (int handle : {0, 17, -5})
        EXPECT_EQ(SSHSearch(handle, "k", 2, cell), BRINDLE_E_OUT_OF_BOUNDS) << handle;
    EXPECT_EQ(SSHSearch(3, "k", 2, cell), BRINDLE_E_LOGIC);

    for (int i = 1; i <= 16; ++i)
        ASSERT_EQ(SSHInit(Path("t.csv").c_str(), 4, 2, 1), i);
    EXPECT_EQ(SSHInit(Path("t.csv").c_str(), 4, 2, 1), BRINDLE_E_OUT_OF_BOUNDS);
    EXPECT_EQ(SSHInit(Path("missing.csv").c_str(), 4, 2, 1),
              BRINDLE_E_OUT_OF_BOUNDS); // slots first

    SSHTerm(7);
    EXPECT_EQ(SSHSearch(7, "k", 2, cell), BRINDLE_E_LOGIC);
    EXPECT_EQ(SSHSearch(8, "k", 2, cell), BRINDLE_OK);
    EXPECT_EQ(SSHInit(Path("missing.csv").c_str(), 4, 2, 1), BRINDLE_E_FILE_OPEN);
    EXPECT_EQ(SSHInit(Path("t.csv").c_str(), 4, 2, 1), 7);
    SSHTerm(0);
    SSHTerm(99);
}

TEST_F(KeyedTable, SizesThatCannotBeATableAreRefused) {
    WriteFile(Path("t.csv"), "k,v\n");
    EXPECT_EQ(SSHInit(Path("t.csv").c_str(), 65536, 65536, 2), BRINDLE_E_MEMORY);
    EXPECT_EQ(SSHInit(Path("t.csv").c_str(), 4, -2, 2), BRINDLE_E_MEMORY);
    // A table of no bytes holds nothing: its handle's slot stays free.
    const int handle = SSHInit(Path("t.csv").c_str(), 0, 2, 2);
    EXPECT_EQ(handle, 1);
    char cell[4];
    EXPECT_EQ(SSHSearch(handle, "k", 1, cell), BRINDLE_E_LOGIC);
    EXPECT_EQ(SSHInit(Path("t.csv").c_str(), 4, 2, 1), 1);
}

} // namespace
