#pragma once
// An engine whose records are built by the test (or a benchmark) instead of a scan: a root
// record above the searched folder, folders and files below it, the folder list in pre-order,
// and child enumeration in insertion order. No search ever runs.
#include "app/main/IEngine.h"
#include "app/views/FileExtension.h"
#include "platform/Text.h"
#include <algorithm>

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dvo::test {

class SyntheticEngine final : public app::IEngine {
public:
    // Records never move: room for `capacity` of them is taken at once.
    explicit SyntheticEngine(std::size_t capacity = 4096) {
        m_records.reserve(capacity);
        m_root = NewRecord(nullptr, u"", 0, 0);
    }
    // Helpers still running end well, so that whoever waits for them lets go.
    ~SyntheticEngine() override {
        while (!runningHelpers.empty())
            FinishHelper(0, 0, "");
    }

    // The searched folder, directly below the root record.
    FolderRecord* AddSearchedFolder(const std::string& path, long long size) {
        return Add(m_root, path, 0, size);
    }
    // A child of parent; kind 0 folder, 1 file.
    FolderRecord* Add(FolderRecord* parent, const std::string& name, int kind, long long size) {
        return NewRecord(parent, platform::Utf8ToUtf16(name), kind, size);
    }
    void SetCounts(FolderRecord* r, int folders, int files) {
        r->folderCount = folders;
        r->fileCount = files;
    }
    [[nodiscard]] std::size_t RecordTotal() const { return m_records.size(); }
    int enumerations = 0;          // DVOGetFirstFolderInfo calls
    bool refuseFolderInfo = false; // DVOGetFolderInfo fails as an engine out of memory does

    // Shell and file calls in order, as "op:directory|name" ("op:directory|name>destination"
    // for copy and move); op is "shell<code>", "delete", "deletePermanently", "copy" or "move".
    std::vector<std::string> fileCalls;
    // Scripted failures by "op:name"; a failed call leaves its reason for DVOGetLastErrorText.
    std::map<std::string, int> failures;
    // Whether a successful delete or move changes the records as the real engine does (else the
    // records stay, so a test can search the same ones again).
    bool followFileOps = false;
    // What a copy or move with progress reports, in order, as (done, total); the name is the
    // entry's. A nonzero answer cancels: DVO_E_CANCELLED and the reports after it are not made.
    std::vector<std::pair<long long, long long>> transferReports{{0, 30}, {30, 30}};
    // Shell operations that started their helper and wait for FinishHelper.
    struct RunningHelper {
        std::string call;
        DVOShellDone done;
        void* context;
    };
    std::deque<RunningHelper> runningHelpers;
    // Ends the helper at `index` as a reaper thread would: done runs on a thread of its own.
    void FinishHelper(std::size_t index, int status, const std::string& errorText) {
        const RunningHelper helper = runningHelpers.at(index);
        runningHelpers.erase(runningHelpers.begin() + static_cast<std::ptrdiff_t>(index));
        const std::u16string text = platform::Utf8ToUtf16(errorText);
        std::thread([&] { helper.done(status, text.c_str(), helper.context); }).join();
    }

    int DVOCreateObj() override { return 0; }
    int DVODestroyObj() override { return 0; }
    int DVOIsActive() override { return 0; }
    int DVOIsSearching() override { return 0; }
    // A new search hands out fresh records: the program's flags start at 0 again.
    int DVOStartFileSearching() override {
        for (auto& r : m_records)
            r.childrenLoaded = 0;
        return 0;
    }
    int DVOAddSearchDirectory(const char16_t*) override { return 0; }
    int DVOExecFileSearch(int, int, int, int) override { return 0; }
    int DVOAbortFileSearching() override { return 0; }
    int DVORescanFolder(FolderRecord*) override { return DVO_E_UNSUPPORTED; }
    int DVOGetCurrentSearchInfo(SearchProgress* p) override {
        *p = SearchProgress{};
        for (const auto& r : m_records)
            (r.kind == 0 ? p->folderCount : p->fileCount) += &r == m_root ? 0 : 1;
        return 0;
    }
    int DVOGetFolderInfoCount() override { return static_cast<int>(FolderList().size()); }
    int DVOGetFolderInfo(FolderRecord** out, int count) override {
        if (refuseFolderInfo) {
            std::fill_n(out, count, nullptr);
            return DVO_E_IO;
        }
        const auto list = FolderList();
        int n = 0;
        for (; n < count && static_cast<std::size_t>(n) < list.size(); ++n)
            out[n] = list[static_cast<std::size_t>(n)];
        return n;
    }
    FolderRecord* DVOGetRootFolderInfo() override {
        return m_records.size() > 1 ? m_root : nullptr;
    }
    FolderRecord* DVOGetFirstFolderInfo(FolderRecord* parent) override {
        ++enumerations;
        m_cursor[Index(parent)] = 0;
        return Next(parent);
    }
    FolderRecord* DVOGetNextFolderInfo(FolderRecord* parent) override { return Next(parent); }
    int DVOFileSize2String(char16_t* buffer, int bytes, long long size) override {
        return Put(buffer, bytes, std::to_string(size) + " B");
    }
    int DVOSystemTime2String(char16_t* buffer, int bytes, const DVOSystemTime* t) override {
        char text[40];
        std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u", t->wYear, t->wMonth, t->wDay,
                      t->wHour, t->wMinute);
        return Put(buffer, bytes, text);
    }

    int DVOShellExecute(unsigned long long, const char16_t* name, const char16_t* directory,
                        int op) override {
        return FileCall("shell" + std::to_string(op), name, directory, nullptr);
    }
    int DVODeleteFile(const char16_t* name, const char16_t* directory) override {
        return FileCall("delete", name, directory, nullptr);
    }
    int DVODeleteFilePermanently(const char16_t* name, const char16_t* directory) override {
        return FileCall("deletePermanently", name, directory, nullptr);
    }
    int DVOCopyFile(const char16_t* name, const char16_t* directory, const char16_t* to) override {
        return FileCall("copy", name, directory, to);
    }
    int DVOMoveFile(const char16_t* name, const char16_t* directory, const char16_t* to) override {
        return FileCall("move", name, directory, to);
    }
    int DVOCopyFileEx(const char16_t* name, const char16_t* directory, const char16_t* to,
                      DVOTransferProgress progress, void* context) override {
        return Transfer("copy", name, directory, to, progress, context);
    }
    int DVOMoveFileEx(const char16_t* name, const char16_t* directory, const char16_t* to,
                      DVOTransferProgress progress, void* context) override {
        return Transfer("move", name, directory, to, progress, context);
    }
    int DVOShellExecuteEx(unsigned long long, const char16_t* name, const char16_t* directory,
                          int op, DVOShellDone done, void* context) override {
        const int result = FileCall("shell" + std::to_string(op), name, directory, nullptr);
        if (result == 0 && done != nullptr)
            runningHelpers.push_back({fileCalls.back(), done, context});
        return result;
    }
    int DVOGetLastErrorText(char16_t* buffer, int bytes) override {
        return Put(buffer, bytes, m_lastError);
    }
    int DVOGetErrorCount() override { return errorCount; }
    int DVOGetFolderState(const FolderRecord* record) override {
        if (record == nullptr || record->kind != 0)
            return DVO_E_NOT_FOUND;
        const auto it = folderStates.find(record);
        return it == folderStates.end() ? DVO_FOLDER_READ : it->second;
    }
    int errorCount = 0;
    std::map<const FolderRecord*, int> folderStates; // DVO_FOLDER_* other than READ

    // Exports: the paths written, in order; a nonzero exportResult fails them with its reason.
    std::vector<std::string> exports;
    int exportResult = 0;
    bool opened = false; // DVOIsOpenedResult
    // What DVOCompareResult reports (changes, the file's root), or its failure when negative.
    struct Change {
        std::string path;
        long long before;
        long long after;
        unsigned char kind;
        unsigned char change;
    };
    std::vector<Change> changes;
    std::string compareRoot;
    int compareResult = 0;
    std::vector<std::string> compared; // the files compared, in order
    int DVOExportResult(const char16_t* path) override {
        exports.push_back(platform::Utf16ToUtf8(path));
        m_lastError = exportResult == 0 ? "" : "cannot write " + exports.back();
        return exportResult;
    }
    int DVOOpenResult(const char16_t*) override { return DVO_E_UNSUPPORTED; }
    // The size count only: the records keep the sizes they were given.
    int sizeMode = DVO_SIZE_APPARENT;
    int DVOSetSizeMode(int mode) override {
        if (mode != DVO_SIZE_APPARENT && mode != DVO_SIZE_DISK)
            return DVO_E_INVALID_ARGUMENT;
        sizeMode = mode;
        return 0;
    }
    int DVOGetSizeMode() override { return sizeMode; }
    int DVOIsOpenedResult() override { return opened ? 1 : 0; }
    int DVOCompareResult(const char16_t* path, char16_t* root, int rootBytes, DVOChangeSink sink,
                         void* context) override {
        compared.push_back(platform::Utf16ToUtf8(path));
        if (compareResult < 0) {
            m_lastError = "cannot read " + compared.back();
            return compareResult;
        }
        if (root != nullptr)
            Put(root, rootBytes, compareRoot);
        int reported = 0;
        for (const Change& c : changes) {
            const std::u16string wide = platform::Utf8ToUtf16(c.path);
            const DVOChange change{wide.c_str(), c.before, c.after, c.kind, c.change};
            ++reported;
            if (sink(&change, context) != 0)
                break;
        }
        return reported;
    }

    // The listings, made from the records below the searched folder as the engine makes them
    // (no hard links here).
    int DVOGetLargestFiles(FolderRecord** records, int count) override {
        std::vector<std::pair<std::u16string, FolderRecord*>> files;
        for (FolderRecord* r : Files())
            files.emplace_back(PathOf(r), r);
        std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
            return a.second->size != b.second->size ? a.second->size > b.second->size
                                                    : a.first < b.first;
        });
        const auto n = std::min(files.size(), static_cast<std::size_t>(std::max(count, 0)));
        for (std::size_t i = 0; i < n; ++i)
            records[i] = files[i].second;
        return static_cast<int>(n);
    }
    int DVOGetTypeTotals(DVOGroupSink sink, void* context) override {
        return Totals(
            sink, context,
            [](const FolderRecord& r) {
                return app::ListingExtension(std::u16string_view(r.name));
            },
            true);
    }
    int DVOGetYearTotals(DVOGroupSink sink, void* context) override {
        return Totals(
            sink, context,
            [](const FolderRecord& r) {
                return r.modifiedTime.wYear == 0
                           ? std::u16string()
                           : platform::Utf8ToUtf16(std::to_string(r.modifiedTime.wYear));
            },
            false);
    }

private:
    // Every non-folder record below the searched folder, in pre-order.
    std::vector<FolderRecord*> Files() {
        std::vector<FolderRecord*> out;
        std::vector<FolderRecord*> stack(m_children[Index(m_root)].begin(),
                                         m_children[Index(m_root)].end());
        while (!stack.empty()) {
            FolderRecord* r = stack.back();
            stack.pop_back();
            if (r->kind != 0)
                out.push_back(r);
            else
                stack.insert(stack.end(), m_children[Index(r)].begin(), m_children[Index(r)].end());
        }
        return out;
    }
    template <typename Key>
    int Totals(DVOGroupSink sink, void* context, Key key, bool mostBytesFirst) {
        std::map<std::u16string, std::pair<long long, long long>> groups;
        for (const FolderRecord* r : Files()) {
            auto& g = groups[key(*r)];
            g.first += r->size;
            ++g.second;
        }
        std::vector<std::pair<std::u16string, std::pair<long long, long long>>> ordered(
            groups.begin(), groups.end());
        if (mostBytesFirst)
            std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
                return a.second.first > b.second.first;
            });
        int n = 0;
        for (const auto& [name, figures] : ordered) {
            const DVOGroupTotal total{name.c_str(), figures.first, figures.second};
            ++n;
            if (sink(&total, context) != 0)
                break;
        }
        return n;
    }

    int Transfer(const std::string& op, const char16_t* name, const char16_t* directory,
                 const char16_t* to, DVOTransferProgress progress, void* context) {
        m_inTransfer = true; // the records follow only a transfer that was not cancelled
        const int result = FileCall(op, name, directory, to);
        m_inTransfer = false;
        if (result != 0)
            return result;
        for (const auto& [done, total] :
             progress != nullptr ? transferReports : decltype(transferReports){}) {
            if (progress(done, total, name, context) != 0) {
                m_lastError = "キャンセルされました";
                return DVO_E_CANCELLED;
            }
        }
        if (followFileOps && op == "move")
            MoveRecord(name, directory, to);
        return 0;
    }

    int FileCall(const std::string& op, const char16_t* name, const char16_t* directory,
                 const char16_t* destination) {
        const std::string n = platform::Utf16ToUtf8(name);
        std::string call = op + ":" + platform::Utf16ToUtf8(directory) + "|" + n;
        if (destination != nullptr)
            call += ">" + platform::Utf16ToUtf8(destination);
        fileCalls.push_back(call);
        const auto it = failures.find(op + ":" + n);
        m_lastError = it == failures.end() ? "" : op + " failed: " + n;
        if (it == failures.end() && followFileOps && !m_inTransfer &&
            (op == "move" || op.starts_with("delete")))
            MoveRecord(name, directory, destination != nullptr ? destination : u"");
        return it == failures.end() ? 0 : it->second;
    }

    // As the engine does after a move into a folder of the search: the record leaves its
    // parent's children for the destination's, and the sizes above both follow.
    void MoveRecord(std::u16string_view name, std::u16string_view directory,
                    std::u16string_view to) {
        FolderRecord* moved = nullptr;
        FolderRecord* into = nullptr;
        for (auto& r : m_records) {
            if (&r == m_root)
                continue;
            if (r.directory != nullptr && std::u16string_view(r.directory) == directory &&
                std::u16string_view(r.name) == name)
                moved = &r;
            if (r.kind == 0 && PathOf(&r) == to)
                into = &r;
        }
        if (moved == nullptr)
            return;
        FolderRecord*& parent = m_parents[Index(moved)];
        auto& siblings = m_children[Index(parent)];
        siblings.erase(std::find(siblings.begin(), siblings.end(), moved));
        const int folders = moved->kind == 0 ? moved->folderCount + 1 : 0;
        const int files = moved->kind == 0 ? moved->fileCount : 1;
        for (FolderRecord* up = parent; up != m_root; up = m_parents[Index(up)]) {
            up->size -= moved->size;
            up->folderCount -= folders;
            up->fileCount -= files;
        }
        if (into == nullptr)
            return; // deleted, or moved out of the search
        for (FolderRecord* up = into; up != m_root; up = m_parents[Index(up)]) {
            up->size += moved->size;
            up->folderCount += folders;
            up->fileCount += files;
        }
        auto& dir = m_directories[Index(into)];
        if (dir == nullptr) {
            m_directoryTexts.push_back(PathOf(into));
            dir = &m_directoryTexts.back();
        }
        moved->directory = dir->c_str();
        moved->depth = static_cast<unsigned char>(into->depth + 1);
        parent = into;
        m_children[Index(into)].push_back(moved);
    }

    std::size_t Index(const FolderRecord* r) const {
        return static_cast<std::size_t>(r - m_records.data());
    }

    FolderRecord* NewRecord(FolderRecord* parent, const std::u16string& name, int kind,
                            long long size) {
        if (m_records.size() == m_records.capacity())
            throw std::length_error("SyntheticEngine: capacity exceeded");
        FolderRecord& r = m_records.emplace_back();
        m_children.emplace_back();
        m_cursor.push_back(0);
        m_directories.push_back(nullptr);
        m_parents.push_back(parent);
        const std::size_t n = std::min<std::size_t>(name.size(), 259);
        std::memcpy(r.name, name.data(), n * sizeof(char16_t));
        r.kind = static_cast<unsigned char>(kind);
        r.size = size;
        r.modifiedTime = {2026, 12, 3, 9, 21, 35, 36, 42};
        if (parent != nullptr) {
            // Saturates at 255 as the engine's does.
            r.depth =
                parent == m_root ? 0 : static_cast<unsigned char>(std::min(parent->depth + 1, 255));
            auto& dir = m_directories[Index(parent)];
            if (dir == nullptr) {
                m_directoryTexts.push_back(parent == m_root ? u"" : PathOf(parent));
                dir = &m_directoryTexts.back();
            }
            r.directory = dir->c_str();
            m_children[Index(parent)].push_back(&r);
        }
        return &r;
    }
    std::u16string PathOf(FolderRecord* r) {
        std::u16string dir = r->directory != nullptr ? std::u16string(r->directory) : u"";
        if (!dir.empty() && dir.back() != u'/')
            dir += u'/';
        return dir + r->name;
    }
    FolderRecord* Next(FolderRecord* parent) {
        const auto& list = m_children[Index(parent)];
        std::size_t& i = m_cursor[Index(parent)];
        return i < list.size() ? list[i++] : nullptr;
    }
    std::vector<FolderRecord*> FolderList() {
        std::vector<FolderRecord*> out;
        std::vector<FolderRecord*> stack;
        const auto& top = m_children[Index(m_root)];
        for (auto it = top.rbegin(); it != top.rend(); ++it)
            stack.push_back(*it);
        while (!stack.empty()) {
            FolderRecord* r = stack.back();
            stack.pop_back();
            if (r->kind != 0)
                continue;
            out.push_back(r);
            const auto& kids = m_children[Index(r)];
            for (auto it = kids.rbegin(); it != kids.rend(); ++it)
                stack.push_back(*it);
        }
        return out;
    }
    static int Put(char16_t* buffer, int bytes, const std::string& text) {
        const std::u16string units = platform::Utf8ToUtf16(text);
        const std::size_t n = std::min(units.size(), static_cast<std::size_t>(bytes / 2 - 1));
        std::memcpy(buffer, units.data(), n * sizeof(char16_t));
        buffer[n] = u'\0';
        return static_cast<int>(n);
    }

    std::vector<FolderRecord> m_records;
    FolderRecord* m_root = nullptr;
    std::deque<std::u16string> m_directoryTexts;
    std::vector<std::u16string*> m_directories; // by record index: the text its children share
    std::vector<std::vector<FolderRecord*>> m_children;
    std::vector<FolderRecord*> m_parents; // by record index
    std::vector<std::size_t> m_cursor;
    std::string m_lastError;
    bool m_inTransfer = false;
};

} // namespace dvo::test
