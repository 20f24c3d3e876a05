#pragma once
// The real engine: every call goes straight to libDVOSUB, linked when the program loads.
#include "app/main/IEngine.h"

namespace dvo::app {

class DvoSubEngine final : public IEngine {
public:
    int DVOCreateObj() override;
    int DVODestroyObj() override;
    int DVOIsActive() override;
    int DVOIsSearching() override;
    int DVOStartFileSearching() override;
    int DVOAddSearchDirectory(const char16_t* path) override;
    int DVOExecFileSearch(int recurse, int followLinks, int hardLinksOnce,
                          int crossFileSystems) override;
    int DVOAbortFileSearching() override;
    int DVOGetCurrentSearchInfo(SearchProgress* progress) override;
    int DVOGetFolderInfoCount() override;
    int DVOGetFolderInfo(FolderRecord** records, int count) override;
    FolderRecord* DVOGetRootFolderInfo() override;
    FolderRecord* DVOGetFirstFolderInfo(FolderRecord* parent) override;
    FolderRecord* DVOGetNextFolderInfo(FolderRecord* parent) override;
    int DVOFileSize2String(char16_t* buffer, int bufferBytes, long long size) override;
    int DVOSystemTime2String(char16_t* buffer, int bufferBytes, const DVOSystemTime* time) override;
};

} // namespace dvo::app
