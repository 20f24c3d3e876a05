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
    int DVOShellExecute(unsigned long long owner, const char16_t* name, const char16_t* directory,
                        int op) override;
    int DVODeleteFile(const char16_t* name, const char16_t* directory) override;
    int DVODeleteFilePermanently(const char16_t* name, const char16_t* directory) override;
    int DVOCopyFile(const char16_t* name, const char16_t* directory,
                    const char16_t* destination) override;
    int DVOMoveFile(const char16_t* name, const char16_t* directory,
                    const char16_t* destination) override;
    int DVOCopyFileEx(const char16_t* name, const char16_t* directory, const char16_t* destination,
                      DVOTransferProgress progress, void* context) override;
    int DVOMoveFileEx(const char16_t* name, const char16_t* directory, const char16_t* destination,
                      DVOTransferProgress progress, void* context) override;
    int DVOShellExecuteEx(unsigned long long owner, const char16_t* name, const char16_t* directory,
                          int op, DVOShellDone done, void* context) override;
    int DVOGetLastErrorText(char16_t* buffer, int bufferBytes) override;
    int DVOGetErrorCount() override;
    int DVOGetFolderState(const FolderRecord* record) override;
    int DVOExportResult(const char16_t* path) override;
    int DVOOpenResult(const char16_t* path) override;
    int DVOIsOpenedResult() override;
    int DVOCompareResult(const char16_t* path, char16_t* root, int rootBytes, DVOChangeSink sink,
                         void* context) override;
    int DVOSetSizeMode(int mode) override;
    int DVOGetSizeMode() override;
    int DVOGetLargestFiles(FolderRecord** records, int count) override;
    int DVOGetTypeTotals(DVOGroupSink sink, void* context) override;
    int DVOGetYearTotals(DVOGroupSink sink, void* context) override;
};

} // namespace dvo::app
