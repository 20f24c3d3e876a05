#pragma once
// A scripted engine: each poll pass of a search gets the next progress snapshot of `passes`;
// the search has ended when they are used up (or after an abort). Significant calls go to the
// shared event log; the polling calls are only counted.
#include "app/main/IEngine.h"
#include "platform/Text.h"
#include "tests/app/EventLog.h"

#include <cstring>
#include <string>
#include <vector>

namespace dvo::test {

inline SearchProgress Progress(long long size, const char16_t* path, int folders, int files) {
    SearchProgress p{};
    p.size = size;
    std::u16string_view text(path);
    std::copy(text.begin(), text.end(), p.currentPath);
    p.folderCount = folders;
    p.fileCount = files;
    return p;
}

class FakeEngine final : public app::IEngine {
public:
    explicit FakeEngine(EventLog& log) : m_log(log) {}

    std::vector<SearchProgress> passes; // one snapshot per pass of the poll loop
    SearchProgress finalProgress{};     // what the engine reports once the search has ended
    bool active = false;                // DVOIsActive
    bool searching = false;             // DVOIsSearching
    bool endless = false;               // keep searching after the passes, until cleared
    std::size_t passesServed = 0;
    int isSearchingCalls = 0;
    std::u16string addedDirectory;
    int execResult = 0; // what DVOExecFileSearch returns; a failure starts no search
    int errorCount = 0; // DVOGetErrorCount
    int abortCalls = 0;
    std::u16string lastErrorText; // DVOGetLastErrorText

    int DVOCreateObj() override { return Log("engine:DVOCreateObj"); }
    int DVODestroyObj() override { return Log("engine:DVODestroyObj"); }
    int DVOIsActive() override { return active ? 1 : 0; }
    int DVOIsSearching() override {
        ++isSearchingCalls;
        if (searching && !endless && passesServed >= passes.size()) {
            searching = false;
            active = false;
        }
        return searching ? 1 : 0;
    }
    int DVOStartFileSearching() override { return Log("engine:DVOStartFileSearching"); }
    int DVOAddSearchDirectory(const char16_t* path) override {
        addedDirectory = path;
        return Log("engine:DVOAddSearchDirectory:" + platform::Utf16ToUtf8(path));
    }
    int DVOExecFileSearch(int a, int b, int c, int d) override {
        active = execResult == 0;
        searching = execResult == 0;
        opened = opened && execResult != 0;
        passesServed = 0;
        Log("engine:DVOExecFileSearch:" + std::to_string(a) + std::to_string(b) +
            std::to_string(c) + std::to_string(d));
        return execResult;
    }
    // What DVORescanFolder returns; success starts a rescan polled like a search.
    int rescanResult = 0;
    int DVORescanFolder(FolderRecord* record) override {
        Log("engine:DVORescanFolder:" +
            (record != nullptr ? platform::Utf16ToUtf8(record->name) : std::string("null")));
        active = rescanResult == 0;
        searching = rescanResult == 0;
        passesServed = 0;
        return rescanResult;
    }
    int DVOAbortFileSearching() override {
        ++abortCalls;
        active = false;
        searching = false;
        return Log("engine:DVOAbortFileSearching");
    }
    int DVOGetCurrentSearchInfo(SearchProgress* progress) override {
        if (searching && passesServed < passes.size())
            *progress = passes[passesServed++];
        else
            *progress = finalProgress;
        return 0;
    }
    int DVOGetFolderInfoCount() override { return 0; }
    int DVOGetFolderInfo(FolderRecord**, int) override { return 0; }
    // The searched folder's record, the only child of the record above it; none by default.
    FolderRecord* searchedRecord = nullptr;
    FolderRecord* DVOGetRootFolderInfo() override {
        return searchedRecord != nullptr ? &m_above : nullptr;
    }
    FolderRecord* DVOGetFirstFolderInfo(FolderRecord* parent) override {
        return parent == &m_above ? searchedRecord : nullptr;
    }
    FolderRecord* DVOGetNextFolderInfo(FolderRecord*) override { return nullptr; }
    // "<size> B", cut to the buffer like the real engine.
    int DVOFileSize2String(char16_t* buffer, int bufferBytes, long long size) override {
        const std::u16string text = platform::Utf8ToUtf16(std::to_string(size) + " B");
        const std::size_t units =
            std::min(text.size(), static_cast<std::size_t>(bufferBytes / 2 - 1));
        std::memcpy(buffer, text.data(), units * 2);
        buffer[units] = u'\0';
        return static_cast<int>(units);
    }
    int DVOSystemTime2String(char16_t*, int, const DVOSystemTime*) override { return 0; }
    int DVOShellExecute(unsigned long long, const char16_t*, const char16_t*, int) override {
        return 0;
    }
    int DVODeleteFile(const char16_t*, const char16_t*) override { return 0; }
    int DVODeleteFilePermanently(const char16_t*, const char16_t*) override { return 0; }
    int DVOCopyFile(const char16_t*, const char16_t*, const char16_t*) override { return 0; }
    int DVOMoveFile(const char16_t*, const char16_t*, const char16_t*) override { return 0; }
    int DVOCopyFileEx(const char16_t*, const char16_t*, const char16_t*, DVOTransferProgress,
                      void*) override {
        return 0;
    }
    int DVOMoveFileEx(const char16_t*, const char16_t*, const char16_t*, DVOTransferProgress,
                      void*) override {
        return 0;
    }
    int DVOShellExecuteEx(unsigned long long, const char16_t*, const char16_t*, int, DVOShellDone,
                          void*) override {
        return DVO_E_UNSUPPORTED; // never calls back
    }
    int DVOGetLastErrorText(char16_t* buffer, int bufferBytes) override {
        if (bufferBytes < 2)
            return DVO_E_INVALID_ARGUMENT;
        const std::size_t units =
            std::min(lastErrorText.size(), static_cast<std::size_t>(bufferBytes / 2 - 1));
        std::memcpy(buffer, lastErrorText.data(), units * 2);
        buffer[units] = u'\0';
        return static_cast<int>(units);
    }
    int DVOGetErrorCount() override { return errorCount; }
    int DVOGetFolderState(const FolderRecord*) override { return searchedFolderState; }
    int searchedFolderState = DVO_FOLDER_READ;

    int openResult = 0;   // what DVOOpenResult returns; success makes the result an opened one
    int exportResult = 0; // what DVOExportResult returns
    bool opened = false;  // DVOIsOpenedResult; a search clears it
    int DVOExportResult(const char16_t* path) override {
        Log("engine:DVOExportResult:" + platform::Utf16ToUtf8(path));
        return exportResult;
    }
    int DVOOpenResult(const char16_t* path) override {
        Log("engine:DVOOpenResult:" + platform::Utf16ToUtf8(path));
        opened = opened || openResult == 0;
        return openResult;
    }
    int DVOIsOpenedResult() override { return opened ? 1 : 0; }
    int DVOCompareResult(const char16_t*, char16_t*, int, DVOChangeSink, void*) override {
        return DVO_E_UNSUPPORTED;
    }
    // The size count: each switch is logged; refused (DVO_E_BUSY) while searching, as the engine
    // does.
    int sizeMode = DVO_SIZE_APPARENT;
    int DVOSetSizeMode(int mode) override {
        Log("engine:DVOSetSizeMode:" + std::to_string(mode));
        if (mode != DVO_SIZE_APPARENT && mode != DVO_SIZE_DISK)
            return DVO_E_INVALID_ARGUMENT;
        if (searching)
            return DVO_E_BUSY;
        sizeMode = mode;
        return 0;
    }
    int DVOGetSizeMode() override { return sizeMode; }
    // The listings as scripted here, whatever the records say.
    std::vector<FolderRecord*> largestFiles;
    std::vector<std::pair<std::u16string, long long>> typeTotals, yearTotals; // name, bytes
    int DVOGetLargestFiles(FolderRecord** records, int count) override {
        const int n = std::min(count, static_cast<int>(largestFiles.size()));
        std::copy_n(largestFiles.begin(), n, records);
        return n;
    }
    int DVOGetTypeTotals(DVOGroupSink sink, void* context) override {
        return Groups(typeTotals, sink, context);
    }
    int DVOGetYearTotals(DVOGroupSink sink, void* context) override {
        return Groups(yearTotals, sink, context);
    }

private:
    static int Groups(const std::vector<std::pair<std::u16string, long long>>& groups,
                      DVOGroupSink sink, void* context) {
        int n = 0;
        for (const auto& [name, bytes] : groups) {
            const DVOGroupTotal total{name.c_str(), bytes, 1};
            ++n;
            if (sink(&total, context) != 0)
                break;
        }
        return n;
    }
    int Log(std::string event) {
        m_log.Add(std::move(event));
        return 0;
    }
    EventLog& m_log;
    FolderRecord m_above{};
};

} // namespace dvo::test
