#pragma once
// A listing window without a screen, and an engine's listings from a script: what the window
// shows, and how often each listing was asked for.
#include "app/views/IListingSource.h"
#include "app/views/IListingView.h"

#include <string>
#include <vector>

namespace dvo::test {

class FakeListingView final : public app::IListingView {
public:
    bool shown = false;
    std::string summary;
    int rowsChanged = 0;

    void ShowWindow() override { shown = true; }
    void SetSummaryText(const std::string& text) override { summary = text; }
    void RowsChanged() override { ++rowsChanged; }
};

class FakeListingSource final : public app::IListingSource {
public:
    std::vector<FolderRecord*> largest;
    std::vector<app::ListingGroup> types;
    std::vector<app::ListingGroup> years;
    int failure = 0; // a DVO_E_* every listing returns instead, when set
    int calls = 0;   // listings asked for
    int askedCount = 0;

    int LargestFiles(std::vector<FolderRecord*>& files, int count) override {
        ++calls;
        askedCount = count;
        if (failure != 0)
            return failure;
        files = largest;
        return static_cast<int>(files.size());
    }
    int TypeTotals(std::vector<app::ListingGroup>& groups) override {
        return Groups(types, groups);
    }
    int YearTotals(std::vector<app::ListingGroup>& groups) override {
        return Groups(years, groups);
    }

private:
    int Groups(const std::vector<app::ListingGroup>& from, std::vector<app::ListingGroup>& to) {
        ++calls;
        if (failure != 0)
            return failure;
        to = from;
        return static_cast<int>(to.size());
    }
};

} // namespace dvo::test
