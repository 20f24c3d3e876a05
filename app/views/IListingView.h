#pragma once
// What a listing window's logic (largest files, kinds, years) asks of its widgets. Plain std
// types: the Qt window carries it out in the program, a recording fake in the tests.
#include <string>

namespace dvo::app {

class IListingView {
public:
    virtual ~IListingView() = default;

    // Shows the window without making it modal, in front of the main window.
    virtual void ShowWindow() = 0;
    // The line above the list (plain text).
    virtual void SetSummaryText(const std::string& text) = 0;
    // The list has new rows: the view reads their cells through the logic again, and no row is
    // selected any more.
    virtual void RowsChanged() = 0;
};

} // namespace dvo::app
