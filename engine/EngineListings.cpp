// The listings of the current result: the largest files, and totals by kind and by year.
#include <algorithm>
#include <climits>

#include "engine/Engine.h"
#include "engine/LastError.h"
#include "engine/Listings.h"
#include "platform/Guard.h"
#include "platform/Text.h"

namespace dvo {

int Engine::LargestFiles(FolderRecord** records, int count) {
    if (records == nullptr || count < 0) {
        return DVO_E_INVALID_ARGUMENT;
    }
    if (IsSearching()) {
        return DVO_E_BUSY;
    }
    Settle();
    if (m_result == nullptr || count == 0) {
        return 0;
    }
    RecordStore* store = Records();
    if (store == nullptr) {
        return DVO_E_IO;
    }
    const std::vector<ListedFile> files =
        dvo::LargestFiles(*m_result, m_moved, static_cast<std::size_t>(count));
    // All records first, so that running out of memory hands out none.
    std::vector<FolderRecord*> made;
    made.reserve(files.size());
    for (const ListedFile& f : files) {
        made.push_back(store->RecordFor(f.parent, *f.node, f.moved));
    }
    std::copy(made.begin(), made.end(), records);
    return static_cast<int>(made.size());
}

int Engine::GroupTotals(bool byYear, DVOGroupSink sink, void* context) {
    if (sink == nullptr) {
        return DVO_E_INVALID_ARGUMENT;
    }
    if (IsSearching()) {
        return DVO_E_BUSY;
    }
    Settle();
    if (m_result == nullptr) {
        return 0;
    }
    const std::vector<GroupTotal> groups =
        byYear ? YearTotals(*m_result, m_moved) : TypeTotals(*m_result, m_moved);
    int reported = 0;
    std::u16string name;
    for (const GroupTotal& g : groups) {
        name = platform::Utf8ToUtf16(g.name);
        const DVOGroupTotal total{name.c_str(), g.bytes, g.count};
        ++reported;
        if (sink(&total, context) != 0 || reported == INT_MAX) {
            break;
        }
    }
    return reported;
}

} // namespace dvo

namespace {

template <typename Call> int Guarded(Call call) noexcept {
    return platform::Guarded<int>(
        DVO_E_IO,
        [&]() -> int {
            dvo::Engine* e = dvo::Engine::Instance();
            return e == nullptr ? DVO_E_NO_OBJECT : call(*e);
        },
        [] { dvo::SetLastErrorText(dvo::kOutOfResourcesText); });
}

} // namespace

extern "C" {

DVO_API int DVOSetSizeMode(int mode) {
    return Guarded([mode](dvo::Engine& e) { return e.SetSizeMode(mode); });
}

DVO_API int DVOGetSizeMode(void) {
    return Guarded([](dvo::Engine& e) { return e.GetSizeMode(); });
}

DVO_API int DVOGetLargestFiles(FolderRecord** records, int count) {
    return Guarded([=](dvo::Engine& e) { return e.LargestFiles(records, count); });
}

DVO_API int DVOGetTypeTotals(DVOGroupSink sink, void* context) {
    return Guarded([=](dvo::Engine& e) { return e.GroupTotals(false, sink, context); });
}

DVO_API int DVOGetYearTotals(DVOGroupSink sink, void* context) {
    return Guarded([=](dvo::Engine& e) { return e.GroupTotals(true, sink, context); });
}

} // extern "C"
