#include "app/main/DvoSubEngine.h"

namespace dvo::app {

int DvoSubEngine::DVOCreateObj() { return ::DVOCreateObj(); }
int DvoSubEngine::DVODestroyObj() { return ::DVODestroyObj(); }
int DvoSubEngine::DVOIsActive() { return ::DVOIsActive(); }
int DvoSubEngine::DVOIsSearching() { return ::DVOIsSearching(); }
int DvoSubEngine::DVOStartFileSearching() { return ::DVOStartFileSearching(); }
int DvoSubEngine::DVOAddSearchDirectory(const char16_t* path) {
    return ::DVOAddSearchDirectory(path);
}

int DvoSubEngine::DVOExecFileSearch(int recurse, int followLinks, int hardLinksOnce,
                                    int crossFileSystems) {
    return ::DVOExecFileSearch(recurse, followLinks, hardLinksOnce, crossFileSystems);
}

int DvoSubEngine::DVOAbortFileSearching() { return ::DVOAbortFileSearching(); }

int DvoSubEngine::DVOGetCurrentSearchInfo(SearchProgress* progress) {
    return ::DVOGetCurrentSearchInfo(progress);
}

int DvoSubEngine::DVOGetFolderInfoCount() { return ::DVOGetFolderInfoCount(); }

int DvoSubEngine::DVOGetFolderInfo(FolderRecord** records, int count) {
    return ::DVOGetFolderInfo(records, count);
}

FolderRecord* DvoSubEngine::DVOGetRootFolderInfo() { return ::DVOGetRootFolderInfo(); }

FolderRecord* DvoSubEngine::DVOGetFirstFolderInfo(FolderRecord* parent) {
    return ::DVOGetFirstFolderInfo(parent);
}

FolderRecord* DvoSubEngine::DVOGetNextFolderInfo(FolderRecord* parent) {
    return ::DVOGetNextFolderInfo(parent);
}

int DvoSubEngine::DVOFileSize2String(char16_t* buffer, int bufferBytes, long long size) {
    return ::DVOFileSize2String(buffer, bufferBytes, size);
}

int DvoSubEngine::DVOSystemTime2String(char16_t* buffer, int bufferBytes,
                                       const DVOSystemTime* time) {
    return ::DVOSystemTime2String(buffer, bufferBytes, time);
}

int DvoSubEngine::DVOShellExecute(unsigned long long owner, const char16_t* name,
                                  const char16_t* directory, int op) {
    return ::DVOShellExecute(owner, name, directory, op);
}

int DvoSubEngine::DVODeleteFile(const char16_t* name, const char16_t* directory) {
    return ::DVODeleteFile(name, directory);
}

int DvoSubEngine::DVODeleteFilePermanently(const char16_t* name, const char16_t* directory) {
    return ::DVODeleteFilePermanently(name, directory);
}

int DvoSubEngine::DVOCopyFile(const char16_t* name, const char16_t* directory,
                              const char16_t* destination) {
    return ::DVOCopyFile(name, directory, destination);
}

int DvoSubEngine::DVOMoveFile(const char16_t* name, const char16_t* directory,
                              const char16_t* destination) {
    return ::DVOMoveFile(name, directory, destination);
}

int DvoSubEngine::DVOCopyFileEx(const char16_t* name, const char16_t* directory,
                                const char16_t* destination, DVOTransferProgress progress,
                                void* context) {
    return ::DVOCopyFileEx(name, directory, destination, progress, context);
}

int DvoSubEngine::DVOMoveFileEx(const char16_t* name, const char16_t* directory,
                                const char16_t* destination, DVOTransferProgress progress,
                                void* context) {
    return ::DVOMoveFileEx(name, directory, destination, progress, context);
}

int DvoSubEngine::DVOShellExecuteEx(unsigned long long owner, const char16_t* name,
                                    const char16_t* directory, int op, DVOShellDone done,
                                    void* context) {
    return ::DVOShellExecuteEx(owner, name, directory, op, done, context);
}

int DvoSubEngine::DVOGetLastErrorText(char16_t* buffer, int bufferBytes) {
    return ::DVOGetLastErrorText(buffer, bufferBytes);
}

int DvoSubEngine::DVOGetErrorCount() { return ::DVOGetErrorCount(); }

int DvoSubEngine::DVOGetFolderState(const FolderRecord* record) {
    return ::DVOGetFolderState(record);
}

int DvoSubEngine::DVOExportResult(const char16_t* path) { return ::DVOExportResult(path); }
int DvoSubEngine::DVOOpenResult(const char16_t* path) { return ::DVOOpenResult(path); }
int DvoSubEngine::DVOIsOpenedResult() { return ::DVOIsOpenedResult(); }

int DvoSubEngine::DVOCompareResult(const char16_t* path, char16_t* root, int rootBytes,
                                   DVOChangeSink sink, void* context) {
    return ::DVOCompareResult(path, root, rootBytes, sink, context);
}

int DvoSubEngine::DVOSetSizeMode(int mode) { return ::DVOSetSizeMode(mode); }

int DvoSubEngine::DVOGetSizeMode() { return ::DVOGetSizeMode(); }

int DvoSubEngine::DVOGetLargestFiles(FolderRecord** records, int count) {
    return ::DVOGetLargestFiles(records, count);
}

int DvoSubEngine::DVOGetTypeTotals(DVOGroupSink sink, void* context) {
    return ::DVOGetTypeTotals(sink, context);
}

int DvoSubEngine::DVOGetYearTotals(DVOGroupSink sink, void* context) {
    return ::DVOGetYearTotals(sink, context);
}

} // namespace dvo::app
