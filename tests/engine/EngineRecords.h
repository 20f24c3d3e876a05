#pragma once
// Reading the last search through the engine's exported calls, as the program does.
#include "engine/DVOSUB.h"
#include "platform/Text.h"

#include <algorithm>
#include <string>

namespace dvo::test {

// The record of <searched folder>/<path> ("" for the searched folder) found through the
// enumerations, or null.
inline FolderRecord* RecordAt(const std::string& path) {
    FolderRecord* r = DVOGetFirstFolderInfo(DVOGetRootFolderInfo());
    for (std::size_t start = 0; r != nullptr && start < path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::u16string part = platform::Utf8ToUtf16(path.substr(start, slash - start));
        FolderRecord* parent = r;
        r = nullptr;
        for (FolderRecord* c = DVOGetFirstFolderInfo(parent); c != nullptr;
             c = DVOGetNextFolderInfo(parent))
            if (c->name == part)
                r = c;
        start = slash + 1;
    }
    return r;
}

// DVOGetLastErrorText as UTF-8.
inline std::string LastErrorText() {
    char16_t text[512];
    const int n = DVOGetLastErrorText(text, sizeof text);
    return n < 0 ? "<error>" : platform::Utf16ToUtf8({text, static_cast<std::size_t>(n)});
}

} // namespace dvo::test
