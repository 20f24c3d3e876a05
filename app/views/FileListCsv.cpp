#include "app/views/FileListCsv.h"

#include "app/main/UserTexts.h"
#include "app/views/RecordText.h"
#include "platform/Text.h"
#include "platform/WriteAll.h"

#include <cstdio>
#include <vector>

namespace dvo::app {
namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

std::string RecordPath(const FolderRecord& r) {
    std::string path = platform::Utf16ToUtf8(RecordDirectory(r));
    const std::string name = platform::Utf16ToUtf8(RecordName(r));
    if (!path.empty() && !path.ends_with('/') && !name.empty())
        path += '/';
    return path + name;
}

void AppendRow(std::string& out, const FolderRecord& r) {
    const DVOSystemTime& t = r.modifiedTime;
    char time[48] = "";
    if (t.wYear != 0) // an entry whose attributes could not be read has no time
        std::snprintf(time, sizeof time, "%04u/%02u/%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                      t.wHour, t.wMinute, t.wSecond);
    out += CsvField(RecordPath(r));
    out += ',';
    out += r.kind == DVO_KIND_FOLDER ? kListKindFolder : kListKindFile;
    out += ',';
    out += std::to_string(r.size);
    out += ',';
    out += time;
    out += "\r\n";
}

} // namespace

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

bool WriteFileListCsv(IEngine& engine, FolderRecord* top, int fd) {
    std::string out = "\xEF\xBB\xBF";
    out += "パス,種類,サイズ,更新日時\r\n";
    if (top != nullptr)
        AppendRow(out, *top);
    // The folders whose enumeration is under way: the engine keeps one per parent, so a child
    // folder's listing can run inside its parent's.
    std::vector<FolderRecord*> open;
    if (top != nullptr && top->kind == DVO_KIND_FOLDER)
        open.push_back(top);
    std::vector<bool> started(open.size(), false);
    while (!open.empty()) {
        FolderRecord* parent = open.back();
        FolderRecord* child = started.back() ? engine.DVOGetNextFolderInfo(parent)
                                             : engine.DVOGetFirstFolderInfo(parent);
        started.back() = true;
        if (child == nullptr) {
            open.pop_back();
            started.pop_back();
            continue;
        }
        AppendRow(out, *child);
        if (child->kind == DVO_KIND_FOLDER) {
            open.push_back(child);
            started.push_back(false);
        }
        if (out.size() >= kFlushBytes) {
            if (!platform::WriteAll(fd, out))
                return false;
            out.clear();
        }
    }
    return platform::WriteAll(fd, out);
}

} // namespace dvo::app
