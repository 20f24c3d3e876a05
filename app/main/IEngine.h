#pragma once
// The scanning engine as the program calls it. The program's build forwards every call to
// libDVOSUB (DvoSubEngine); tests put a scripted engine behind the same calls.
#include "engine/DVOSUB.h"

namespace dvo::app {

class IEngine {
public:
    virtual ~IEngine() = default;

    virtual int DVOCreateObj() = 0;
    virtual int DVODestroyObj() = 0;

    virtual int DVOIsActive() = 0;
    virtual int DVOIsSearching() = 0;
    virtual int DVOStartFileSearching() = 0;
    virtual int DVOAddSearchDirectory(const char16_t* path) = 0;
    virtual int DVOExecFileSearch(int recurse, int followLinks, int hardLinksOnce,
                                  int crossFileSystems) = 0;
    virtual int DVOAbortFileSearching() = 0;
    virtual int DVOGetCurrentSearchInfo(SearchProgress* progress) = 0;

    virtual int DVOGetFolderInfoCount() = 0;
    virtual int DVOGetFolderInfo(FolderRecord** records, int count) = 0;
    virtual FolderRecord* DVOGetRootFolderInfo() = 0;
    virtual FolderRecord* DVOGetFirstFolderInfo(FolderRecord* parent) = 0;
    virtual FolderRecord* DVOGetNextFolderInfo(FolderRecord* parent) = 0;

    virtual int DVOFileSize2String(char16_t* buffer, int bufferBytes, long long size) = 0;
    virtual int DVOSystemTime2String(char16_t* buffer, int bufferBytes,
                                     const DVOSystemTime* time) = 0;

    // Shell and file operations on an entry of the last search: 0 or a negative DVO_E_* code;
    // the reason of the last failure as text from DVOGetLastErrorText.
    virtual int DVOShellExecute(unsigned long long owner, const char16_t* name,
                                const char16_t* directory, int op) = 0;
    virtual int DVODeleteFile(const char16_t* name, const char16_t* directory) = 0;
    virtual int DVODeleteFilePermanently(const char16_t* name, const char16_t* directory) = 0;
    virtual int DVOCopyFile(const char16_t* name, const char16_t* directory,
                            const char16_t* destination) = 0;
    virtual int DVOMoveFile(const char16_t* name, const char16_t* directory,
                            const char16_t* destination) = 0;
    // The same with progress and cancel, run off the GUI thread (DVO_E_CANCELLED after a cancel),
    // and the shell operation that tells later, from another thread, how its helper ended.
    virtual int DVOCopyFileEx(const char16_t* name, const char16_t* directory,
                              const char16_t* destination, DVOTransferProgress progress,
                              void* context) = 0;
    virtual int DVOMoveFileEx(const char16_t* name, const char16_t* directory,
                              const char16_t* destination, DVOTransferProgress progress,
                              void* context) = 0;
    virtual int DVOShellExecuteEx(unsigned long long owner, const char16_t* name,
                                  const char16_t* directory, int op, DVOShellDone done,
                                  void* context) = 0;
    virtual int DVOGetLastErrorText(char16_t* buffer, int bufferBytes) = 0;

    // What the last search could not read: the count of such entries, and a folder's DVO_FOLDER_*.
    virtual int DVOGetErrorCount() = 0;
    virtual int DVOGetFolderState(const FolderRecord* record) = 0;

    // Results as ncdu export files: write the current one, open one in its place, and compare an
    // earlier one with it.
    virtual int DVOExportResult(const char16_t* path) = 0;
    virtual int DVOOpenResult(const char16_t* path) = 0;
    virtual int DVOIsOpenedResult() = 0;
    virtual int DVOCompareResult(const char16_t* path, char16_t* root, int rootBytes,
                                 DVOChangeSink sink, void* context) = 0;
    // How sizes are counted (DVO_SIZE_*), and the listings of the current result in that count.
    virtual int DVOSetSizeMode(int mode) = 0;
    virtual int DVOGetSizeMode() = 0;
    virtual int DVOGetLargestFiles(FolderRecord** records, int count) = 0;
    virtual int DVOGetTypeTotals(DVOGroupSink sink, void* context) = 0;
    virtual int DVOGetYearTotals(DVOGroupSink sink, void* context) = 0;
};

} // namespace dvo::app
