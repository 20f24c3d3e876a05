#pragma once
// The name and folder of an engine record as views of its own UTF-16 text.
#include "engine/DVOSUB.h"
#include "platform/Text.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace dvo::app {

// A record's name up to its first NUL, at most DVO_NAME_UNITS units.
inline std::u16string_view RecordName(const FolderRecord& r) {
    std::size_t length = 0;
    while (length < DVO_NAME_UNITS && r.name[length] != u'\0')
        ++length;
    return {r.name, length};
}

// The folder that holds the record; empty when the record names none.
inline std::u16string_view RecordDirectory(const FolderRecord& r) {
    return r.directory != nullptr ? std::u16string_view(r.directory) : std::u16string_view();
}

// The record's full path as the user knows it (UTF-8): its folder, one '/', its name.
inline std::string RecordPath(const FolderRecord& r) {
    std::string path = platform::Utf16ToUtf8(RecordDirectory(r));
    const std::string name = platform::Utf16ToUtf8(RecordName(r));
    if (path.empty())
        return name;
    if (!path.ends_with('/'))
        path += '/';
    return path + name;
}

} // namespace dvo::app
