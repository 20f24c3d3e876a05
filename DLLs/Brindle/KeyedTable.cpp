// Keyed tables: a CSV file held as a cell table in one of 16 process-wide slots, looked up by the
// cells of its first column.
#include "DLLs/Brindle/Brindle.h"

#include "DLLs/Brindle/CellTable.h"
#include "platform/Guard.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>

namespace {

constexpr int kSlots = 16;

struct FreeDeleter {
    void operator()(char* p) const noexcept { std::free(p); }
};

// A slot is free while its size is 0.
struct TableSlot {
    std::unique_ptr<char, FreeDeleter> table;
    std::size_t size = 0;
    std::size_t width = 0;
    std::size_t columns = 0;
    std::size_t rows = 0;
};

struct TableSlots {
    std::mutex mutex;
    std::array<TableSlot, kSlots> slots;
};

TableSlots& Slots() {
    static TableSlots slots;
    return slots;
}

} // namespace

extern "C" {

int SSHInit(const char* fileName, int width, int columns, int rows) {
    return platform::Guarded<int>(BRINDLE_E_MEMORY, [&]() -> int {
        TableSlots& all = Slots();
        const std::lock_guard lock(all.mutex);
        const auto slot = std::find_if(all.slots.begin(), all.slots.end(),
                                       [](const TableSlot& s) { return s.size == 0; });
        if (slot == all.slots.end())
            return BRINDLE_E_OUT_OF_BOUNDS;
        if (fileName == nullptr ||
            !platform::UniqueFd(::open(fileName, O_RDONLY | O_CLOEXEC)).valid())
            return BRINDLE_E_FILE_OPEN;
        const auto total = brindle::CellTableSize(width, columns, rows);
        if (!total)
            return BRINDLE_E_MEMORY;
        const int handle = static_cast<int>(slot - all.slots.begin()) + 1;
        if (*total == 0)
            return handle; // nothing to hold: the slot stays free
        std::unique_ptr<char, FreeDeleter> table(static_cast<char*>(std::calloc(*total, 1)));
        if (table == nullptr)
            return BRINDLE_E_MEMORY;
        // A file that fails while being read leaves the part read, as ReadCSV's callers see it.
        if (!brindle::FillCellTable(fileName, table.get(), static_cast<std::size_t>(width),
                                    static_cast<std::size_t>(columns),
                                    static_cast<std::size_t>(rows)))
            std::memset(table.get(), 0, *total);
        slot->table = std::move(table);
        slot->size = *total;
        slot->width = static_cast<std::size_t>(width);
        slot->columns = static_cast<std::size_t>(columns);
        slot->rows = static_cast<std::size_t>(rows);
        return handle;
    });
}

int SSHSearch(int handle, const char* key, int column, char* cell) {
    return platform::Guarded<int>(BRINDLE_E_LOGIC, [&]() -> int {
        if (handle < 1 || handle > kSlots)
            return BRINDLE_E_OUT_OF_BOUNDS;
        TableSlots& all = Slots();
        const std::lock_guard lock(all.mutex);
        const TableSlot& slot = all.slots[static_cast<std::size_t>(handle - 1)];
        if (slot.size == 0)
            return BRINDLE_E_LOGIC;
        if (slot.rows == 0)
            return BRINDLE_E_NO_DATA;
        // A column outside the table would read someone else's memory.
        if (column < 1 || static_cast<std::size_t>(column) > slot.columns || cell == nullptr)
            return BRINDLE_E_OUT_OF_BOUNDS;
        if (key == nullptr)
            return BRINDLE_E_NO_DATA;
        const std::size_t rowBytes = slot.columns * slot.width;
        const char* row = slot.table.get();
        const char* const end = row + slot.rows * rowBytes;
        // The first byte decides most rows without a call.
        while (row < end && (row[0] != key[0] || std::strncmp(key, row, slot.width) != 0))
            row += rowBytes;
        if (row == end)
            return BRINDLE_E_NO_DATA;
        const char* found = row + static_cast<std::size_t>(column - 1) * slot.width;
        if (found[0] == '\0')
            return BRINDLE_E_NO_DATA;
        std::strncpy(cell, found, slot.width);
        return BRINDLE_OK;
    });
}

void SSHTerm(int handle) {
    platform::Guarded([&] {
        if (handle < 1 || handle > kSlots)
            return;
        TableSlots& all = Slots();
        const std::lock_guard lock(all.mutex);
        all.slots[static_cast<std::size_t>(handle - 1)] = TableSlot{};
    });
}

} // extern "C"
