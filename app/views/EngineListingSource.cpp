#include "app/views/EngineListingSource.h"

#include <algorithm>
#include <new>

namespace dvo::app {
namespace {

int CollectGroup(const DVOGroupTotal* total, void* context) {
    auto& groups = *static_cast<std::vector<ListingGroup>*>(context);
    try {
        groups.push_back({total->name != nullptr ? total->name : u"", total->bytes, total->count});
    } catch (const std::bad_alloc&) {
        return 1; // what fitted is shown; the engine stops here
    }
    return 0;
}

} // namespace

int EngineListingSource::LargestFiles(std::vector<FolderRecord*>& files, int count) {
    files.assign(static_cast<std::size_t>(std::max(count, 0)), nullptr);
    const int listed = m_engine.DVOGetLargestFiles(files.data(), count);
    files.resize(static_cast<std::size_t>(std::clamp(listed, 0, std::max(count, 0))));
    return listed;
}

int EngineListingSource::TypeTotals(std::vector<ListingGroup>& groups) {
    groups.clear();
    return m_engine.DVOGetTypeTotals(CollectGroup, &groups);
}

int EngineListingSource::YearTotals(std::vector<ListingGroup>& groups) {
    groups.clear();
    return m_engine.DVOGetYearTotals(CollectGroup, &groups);
}

} // namespace dvo::app
