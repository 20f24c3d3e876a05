#pragma once
// The listing windows' source in the program: the engine's listing calls, through IEngine.
#include "app/main/IEngine.h"
#include "app/views/IListingSource.h"

namespace dvo::app {

class EngineListingSource final : public IListingSource {
public:
    // engine must outlive this object.
    explicit EngineListingSource(IEngine& engine) : m_engine(engine) {}

    int LargestFiles(std::vector<FolderRecord*>& files, int count) override;
    int TypeTotals(std::vector<ListingGroup>& groups) override;
    int YearTotals(std::vector<ListingGroup>& groups) override;

private:
    IEngine& m_engine;
};

} // namespace dvo::app
