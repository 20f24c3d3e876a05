// A keyed table from any file and shape, looked up by every key it holds and by one from the
// input, in every column and one on each side: the cell found must be the one a plain scan of
// ReadCSV's table finds, a column outside the table must be refused, and nothing may be written
// past the caller's cell.
#include "DLLs/Brindle/Brindle.h"
#include "tests/fuzz/TempInputFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kGuard = 32;
constexpr char kGuardByte = static_cast<char>(0xA5);

// What SSHSearch must answer, from a plain table.
int Expected(const std::vector<char>& table, int width, int columns, int rows,
             const std::string& key, int column, std::string& cell) {
    if (column < 1 || column > columns)
        return BRINDLE_E_OUT_OF_BOUNDS;
    for (int r = 0; r < rows; ++r) {
        const char* first = table.data() + static_cast<std::size_t>(r) * columns * width;
        if (std::strncmp(key.c_str(), first, static_cast<std::size_t>(width)) != 0)
            continue;
        const char* found = first + static_cast<std::size_t>(column - 1) * width;
        if (found[0] == '\0')
            return BRINDLE_E_NO_DATA;
        cell.assign(static_cast<std::size_t>(width), '\0');
        for (int i = 0; i < width && found[i] != '\0'; ++i)
            cell[static_cast<std::size_t>(i)] = found[i];
        return BRINDLE_OK;
    }
    return BRINDLE_E_NO_DATA;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const int width = 1 + data[0] % 16;
    const int columns = 1 + data[1] % 6;
    const int rows = 1 + data[2] % 32;
    // A key of its own from the input's end, up to 8 bytes (cut at a zero byte like any key).
    const std::size_t keyLength = std::min<std::size_t>(data[3] % 9, size - 4);
    const std::string ownKey(reinterpret_cast<const char*>(data + size - keyLength), keyLength);
    const std::string& path = dvo_fuzz::WriteInputFile("keyed_table", data + 4, size - 4);

    const int handle = SSHInit(path.c_str(), width, columns, rows);
    if (handle < 1 || handle > 16)
        std::abort();
    std::vector<char> table(static_cast<std::size_t>(width) * columns * rows);
    if (ReadCSV(path.c_str(), table.data(), width, columns, rows) != 1)
        std::abort();

    std::vector<std::string> keys{ownKey.c_str()};
    for (int r = 0; r < rows; ++r) {
        const char* first = table.data() + static_cast<std::size_t>(r) * columns * width;
        keys.emplace_back(first, strnlen(first, static_cast<std::size_t>(width)));
    }
    for (const std::string& key : keys) {
        for (int column = 0; column <= columns + 1; ++column) {
            std::vector<char> cell(static_cast<std::size_t>(width) + kGuard, kGuardByte);
            std::string want;
            const int expected = Expected(table, width, columns, rows, key, column, want);
            if (SSHSearch(handle, key.c_str(), column, cell.data()) != expected)
                std::abort();
            const std::size_t written =
                expected == BRINDLE_OK ? static_cast<std::size_t>(width) : 0;
            if (written > 0 && std::memcmp(cell.data(), want.data(), written) != 0)
                std::abort();
            for (std::size_t i = written; i < cell.size(); ++i)
                if (cell[i] != kGuardByte)
                    std::abort();
        }
    }
    SSHTerm(handle);
    char cell[16];
    if (SSHSearch(handle, "", 1, cell) != BRINDLE_E_LOGIC)
        std::abort();
    return 0;
}
