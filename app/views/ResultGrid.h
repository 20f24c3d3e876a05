#pragma once
// The contents grid as the user sees it: a title row and data rows of four text cells, each
// data row holding its record. Kept by the logic; the widget only shows it.
#include "engine/DVOSUB.h"

#include <array>
#include <string>
#include <vector>

namespace dvo::app {

struct ResultGrid {
    static constexpr int kColumns = 4;

    std::array<std::string, kColumns> titles;
    // Data rows: rows[i] is grid row i + 1. The grid always has at least the title row and one
    // (possibly empty) data row.
    struct Row {
        std::array<std::string, kColumns> cells;
        FolderRecord* record = nullptr; // the row's object; engine-owned
    };
    std::vector<Row> rows{Row{}};
    std::array<int, kColumns> columnWidths{0, 60, 80, 110};

    // Grid rows count the title row as row 0, so data row i (of `rows`, of a widget's model,
    // of a scroll position) is grid row i + 1. These two are the only place of that shift.
    [[nodiscard]] static constexpr int GridRowOf(int dataIndex) { return dataIndex + 1; }
    [[nodiscard]] static constexpr int DataIndexOf(int gridRow) { return gridRow - 1; }

    // Grid row r's data (r >= 1: row 0 is the title row, whose texts are `titles`); the caller
    // has checked r < RowCount().
    [[nodiscard]] Row& DataRow(int gridRow) {
        return rows[static_cast<std::size_t>(DataIndexOf(gridRow))];
    }
    [[nodiscard]] const Row& DataRow(int gridRow) const {
        return rows[static_cast<std::size_t>(DataIndexOf(gridRow))];
    }

    // Grid rows including the title row.
    [[nodiscard]] int RowCount() const { return static_cast<int>(rows.size()) + 1; }
    // Grid row count n (>= 2): rows beyond keep their cells, new ones start empty.
    void SetRowCount(int n) { rows.resize(static_cast<std::size_t>(n > 2 ? n - 1 : 1)); }
};

} // namespace dvo::app
