#pragma once
// The engine's listings of the current result (searched or opened), counted as its totals are:
// each hard-linked file once, in the size count chosen, without what was deleted or moved out.
// The program answers them with the engine's calls (EngineListingSource), tests with a script.
#include "engine/DVOSUB.h"

#include <string>
#include <vector>

namespace dvo::app {

struct ListingGroup {
    std::u16string name; // an extension ("" for none) or a year ("2024"; "" for an unknown time)
    long long bytes = 0;
    long long count = 0;
};

class IListingSource {
public:
    virtual ~IListingSource() = default;

    // Fills files with up to count of the largest non-folder entries, largest first; the
    // records are the engine's, valid until the next search starts. The number listed, or a
    // negative DVO_E_* code.
    virtual int LargestFiles(std::vector<FolderRecord*>& files, int count) = 0;
    // The totals by extension, most bytes first, and by year of modification, oldest first: the
    // number of groups, or a negative DVO_E_* code.
    virtual int TypeTotals(std::vector<ListingGroup>& groups) = 0;
    virtual int YearTotals(std::vector<ListingGroup>& groups) = 0;
};

} // namespace dvo::app
