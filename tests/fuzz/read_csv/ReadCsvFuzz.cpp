// ReadCSV over any file and any table shape: it must never write outside the table (a guard
// region follows it) and must fill it exactly as the plain byte-by-byte rules say.
#include "DLLs/Brindle/Brindle.h"
#include "tests/fuzz/TempInputFile.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kGuard = 64;
constexpr char kGuardByte = static_cast<char>(0xA5);

// The rules one byte at a time, with a field cut at the cell's width.
std::vector<char> Reference(const uint8_t* data, std::size_t size, std::size_t width,
                            std::size_t columns, std::size_t rows) {
    const std::size_t total = width * columns * rows;
    std::vector<char> table(total, '\0');
    std::size_t row = 0, column = 0, position = 0;
    bool comment = false;
    for (std::size_t i = 0; i < size && i < total; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n') {
            ++row;
            column = position = 0;
            comment = false;
        } else if (c == '\r') {
        } else if (c == ',') {
            ++column;
            position = 0;
        } else if (c == ';') {
            if (position == 0)
                comment = true;
        } else if (row < rows && column < columns && !comment && position < width) {
            table[(row * columns + column) * width + position++] = c;
        }
    }
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    // The first three bytes choose the shape; a high bit makes the table larger than the fixed
    // 4096-byte buffer.
    const int width = data[0] % 25;
    const int columns = data[1] % 9;
    const int rows = (data[2] % 17) * ((data[0] & 0x80) != 0 ? 64 : 1);
    const std::string& path = dvo_fuzz::WriteInputFile("read_csv", data + 3, size - 3);

    const std::size_t total = static_cast<std::size_t>(width) * columns * rows;
    std::vector<char> table(total + kGuard, kGuardByte);
    if (ReadCSV(path.c_str(), table.data(), width, columns, rows) != 1)
        std::abort();
    for (std::size_t i = total; i < table.size(); ++i)
        if (table[i] != kGuardByte)
            std::abort();
    const std::vector<char> expected = Reference(data + 3, size - 3, width, columns, rows);
    if (total > 0 && std::memcmp(table.data(), expected.data(), total) != 0)
        std::abort();
    return 0;
}
