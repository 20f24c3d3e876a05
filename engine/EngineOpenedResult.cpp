// The engine's results that were not searched here: an export read from a file takes the place
// of a search's result, so the records and every call on them work as after a search.
#include "engine/Engine.h"

namespace dvo {

int Engine::AdoptResult(std::unique_ptr<ScanResult> result, bool opened) {
    if (IsActive()) {
        return DVO_E_BUSY;
    }
    WaitForTotals();
    Settle();
    Discard();
    m_result = std::move(result);
    m_result->sizeMode = m_sizeMode;
    m_rootPath = m_result->path;
    m_searchPath = m_result->path;
    m_searchStartNs = 0;
    m_opened = opened;
    return DVO_OK;
}

const ScanResult* Engine::CurrentResult() {
    Settle();
    return IsSearching() ? nullptr : m_result.get();
}

} // namespace dvo
