#pragma once
// What the comparison window's logic asks of its widgets. Plain std types: the Qt window carries
// it out in the program, a recording fake in the tests.
#include <optional>
#include <string>

namespace dvo::app {

class ICompareView {
public:
    virtual ~ICompareView() = default;

    // Shows the window without making it modal, in front of the main window.
    virtual void ShowWindow() = 0;
    // Modal selection of the export to compare with; nothing when the user cancels.
    [[nodiscard]] virtual std::optional<std::string>
    SelectExportFile(const std::string& title, const std::string& filter) = 0;
    // The line above the list: the total change and the file compared with (plain text).
    virtual void SetSummaryText(const std::string& text) = 0;
    // The list has new rows: the view reads their cells through the logic again.
    virtual void RowsChanged() = 0;
};

} // namespace dvo::app
