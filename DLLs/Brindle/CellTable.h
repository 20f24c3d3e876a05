#pragma once
// Filling a cell table from a comma-separated file: shared by ReadCSV and the keyed tables.
#include <cstddef>
#include <optional>

namespace brindle {

// The byte size of a table of rows x columns cells of width bytes; none when a size is
// negative or the product does not fit the interface's 32-bit sizes.
[[nodiscard]] std::optional<std::size_t> CellTableSize(int width, int columns, int rows) noexcept;

// Parses the first width x columns x rows bytes of the file into table, which must hold that
// many bytes and be all zero. False when the file cannot be opened or read or no work buffer can
// be had; the table may then hold part of the file. Never writes outside the table.
[[nodiscard]] bool FillCellTable(const char* fileName, char* table, std::size_t width,
                                 std::size_t columns, std::size_t rows) noexcept;

} // namespace brindle
