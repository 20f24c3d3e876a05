#pragma once
// The directory search behind the libraries' wildcard calls (FindFirstFileA on the system the
// interfaces come from): the names of one folder that match a pattern of the last path
// component, by the one matcher of platform/Wildcard.h.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

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
// The same for names made of `literal` (plain bytes, no wildcards) followed by what `pattern`
// matches: the family "report" + ".*" of a real file name.
bool FindMatchingNames(const std::string& folder, std::string_view literal,
                       std::string_view pattern, std::vector<std::string>& names);

} // namespace platform
