#pragma once
// The comparison window's logic ("表示" > "前回と比較..."): the current result against an export
// of the same folder saved earlier, as the entries whose size changed, largest change first,
// with new and vanished entries marked and the total change on top. A double click selects the
// entry's folder in the tree. The list keeps its paths, not the tree's nodes, so a new search or
// a file operation leaves it readable (it shows the comparison as it was made).
#include "app/main/IWindowServices.h"
#include "app/views/ICompareView.h"
#include "app/views/ResultViews.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dvo::app {

struct CompareRow {
    std::string path;
    long long before = 0; // bytes in the export (0 for a new entry)
    long long after = 0;  // bytes now (0 for a vanished one)
    bool folder = false;
    unsigned char change = DVO_CHANGE_SIZE;

    // after - before, saturated rather than wrapped.
    [[nodiscard]] long long Delta() const;
};

class TCompareForm final {
public:
    static constexpr const char* kMenuLogText = "ﾒﾆｭｰ:前回と比較 選択";
    static constexpr int kColumnCount = 5;

    // All three must outlive this object.
    TCompareForm(IWindowServices& window, ResultViews& results, ICompareView& view);

    // The menu item: choose an export, compare it with the current result, show the window.
    void mnuCompareClick();
    // A double click on list row `row` (0 = the first change).
    void lsChangesDblClick(int row);

    // What the Qt model shows.
    [[nodiscard]] static const char* ColumnTitle(int column);
    [[nodiscard]] int RowCount() const { return static_cast<int>(m_rows.size()); }
    [[nodiscard]] std::string CellText(int row, int column) const;
    // Numeric columns are right-aligned.
    [[nodiscard]] static bool RightAligned(int column) { return column >= 1 && column <= 3; }
    [[nodiscard]] const std::vector<CompareRow>& Rows() const { return m_rows; }
    [[nodiscard]] const std::string& SummaryText() const { return m_summary; }

private:
    [[nodiscard]] std::string SizeText(long long bytes) const;
    [[nodiscard]] std::string DeltaText(long long delta) const;

    IWindowServices& m_window;
    ResultViews& m_results;
    ICompareView& m_view;
    std::vector<CompareRow> m_rows;
    std::string m_summary;
};

} // namespace dvo::app
