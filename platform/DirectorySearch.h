#pragma once
// The directory search behind the libraries' wildcard calls (FindFirstFileA on the system the
// interfaces come from): the names of one folder that match a pattern of the last path component.
//
// Only '*' (any run of bytes, also none) and '?' (one character: a well-formed UTF-8 sequence,
// or else one byte) are wildcards; every other byte, '[', ']' and '\\' included, matches itself,
// so a pattern made from a real file name never matches other names. Names compare as bytes,
// case-sensitively. As on that system, a pattern ending in ".*" also matches the names its part
// before ".*" matches ("report.*" matches "report", "*.*" matches every name).
#include <string>
#include <string_view>
#include <vector>

namespace platform {

[[nodiscard]] bool MatchesWildcard(std::string_view pattern, std::string_view name) noexcept;

// Splits a search path into its folder and its last component, the pattern: "/d/*.txt" gives
// "/d" and "*.txt", "/x" gives "/" and "x", "x" gives "." and "x". A path ending in '/' has an
// empty pattern, which matches nothing.
struct FolderPattern {
    std::string folder;
    std::string pattern;
};
[[nodiscard]] FolderPattern SplitSearchPath(std::string_view path);

// The names in the folder that match the pattern, "." and ".." included when the pattern matches
// them, in the order the folder lists them. False when the folder cannot be read (errno set).
bool FindMatchingNames(const std::string& folder, std::string_view pattern,
                       std::vector<std::string>& names);

} // namespace platform
