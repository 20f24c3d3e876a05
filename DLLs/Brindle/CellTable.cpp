// ReadCSV: a comma-separated file into a table of equal-width cells, without quoting.
#include "DLLs/Brindle/Brindle.h"

#include "DLLs/Brindle/CellTable.h"
#include "platform/Guard.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <unistd.h>

namespace {

// Tables up to this size are read through a buffer on the stack, without any allocation.
constexpr std::size_t kFixedBuffer = 4096;
// Larger tables are read in pieces of at most this size, so a 100 MB table does not need a second
// 100 MB for the file's bytes.
constexpr std::size_t kChunk = std::size_t{1} << 20;

// Bytes that end a run of field bytes.
constexpr std::array<bool, 256> kSpecial = [] {
    std::array<bool, 256> special{};
    special['\n'] = special['\r'] = special[','] = special[';'] = true;
    return special;
}();

// The parse state lives across the pieces of the file.
class CellParser {
public:
    CellParser(char* table, std::size_t width, std::size_t columns, std::size_t rows)
        : m_table(table), m_width(width), m_columns(columns), m_rows(rows) {}

    // Parses one piece; false once no later byte could be stored (all rows are done).
    bool Feed(const unsigned char* p, const unsigned char* end) {
        while (p < end) {
            if (m_row >= m_rows)
                return false;
            if (m_comment || m_column >= m_columns) {
                // Nothing of this line can be stored any more: only its end matters.
                p = static_cast<const unsigned char*>(
                    std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
                if (p == nullptr)
                    return true;
                ++p;
                NextRow();
                continue;
            }
            // Fields are short: copying while scanning beats a memcpy call per field. A field
            // longer than its cell is cut at the cell's width.
            char* cell = m_table + ((m_row * m_columns) + m_column) * m_width;
            std::size_t position = m_position;
            for (; p < end && !kSpecial[*p]; ++p) {
                if (position < m_width)
                    cell[position++] = static_cast<char>(*p);
            }
            m_position = position;
            if (p == end)
                return true;
            switch (*p++) {
            case '\n': NextRow(); break;
            case ',':
                ++m_column;
                m_position = 0;
                break;
            case ';':
                // Never stored; at the start of a field it makes the rest of the line a comment.
                if (m_position == 0)
                    m_comment = true;
                break;
            default: // '\r' is ignored
                break;
            }
        }
        return m_row < m_rows;
    }

private:
    void NextRow() {
        ++m_row;
        m_column = 0;
        m_position = 0;
        m_comment = false;
    }

    char* m_table; // the caller's
    std::size_t m_width;
    std::size_t m_columns;
    std::size_t m_rows;
    std::size_t m_row = 0;
    std::size_t m_column = 0;
    std::size_t m_position = 0; // bytes stored in the current field, at most m_width
    bool m_comment = false;
};

// read(2) that retries an interrupted call; -1 on an error.
ssize_t ReadSome(int fd, unsigned char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

} // namespace

namespace brindle {

std::optional<std::size_t> CellTableSize(int width, int columns, int rows) noexcept {
    if (width < 0 || columns < 0 || rows < 0)
        return std::nullopt;
    std::int64_t total = 0;
    if (__builtin_mul_overflow(static_cast<std::int64_t>(width), static_cast<std::int64_t>(columns),
                               &total) ||
        __builtin_mul_overflow(total, static_cast<std::int64_t>(rows), &total) || total > INT_MAX)
        return std::nullopt;
    return static_cast<std::size_t>(total);
}

bool FillCellTable(const char* fileName, char* table, std::size_t width, std::size_t columns,
                   std::size_t rows) noexcept {
    const platform::UniqueFd file(::open(fileName, O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        return false;
    const std::size_t total = width * columns * rows;
    unsigned char fixed[kFixedBuffer];
    std::unique_ptr<unsigned char[]> allocated;
    unsigned char* buffer = fixed;
    std::size_t bufferSize = std::min(total, kFixedBuffer);
    if (total > kFixedBuffer) {
        bufferSize = std::min(total, kChunk);
        allocated.reset(new (std::nothrow) unsigned char[bufferSize]);
        if (allocated == nullptr)
            return false;
        buffer = allocated.get();
    }
    CellParser parser(table, width, columns, rows);
    // Only as much of the file as the table has bytes is parsed: a longer file is cut.
    for (std::size_t left = total; left > 0;) {
        const ssize_t n = ReadSome(file.get(), buffer, std::min(left, bufferSize));
        if (n < 0)
            return false;
        if (n == 0)
            break;
        left -= static_cast<std::size_t>(n);
        if (!parser.Feed(buffer, buffer + n))
            break;
    }
    return true;
}

} // namespace brindle

extern "C" {

int ReadCSV(const char* fileName, char* table, int width, int columns, int rows) {
    return platform::Guarded<int>(0, [&]() -> int {
        const auto total = brindle::CellTableSize(width, columns, rows);
        if (!total || (table == nullptr && *total > 0))
            return 0;
        // Zero first, so that a failed call leaves an empty table.
        if (*total > 0)
            std::memset(table, 0, *total);
        if (fileName == nullptr)
            return 0;
        if (!brindle::FillCellTable(fileName, table, static_cast<std::size_t>(width),
                                    static_cast<std::size_t>(columns),
                                    static_cast<std::size_t>(rows))) {
            if (*total > 0)
                std::memset(table, 0, *total);
            return 0;
        }
        return 1;
    });
}

} // extern "C"
