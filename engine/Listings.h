#pragma once
// Listings over a result as its totals count it: the largest files, and byte totals by kind
// (extension) and by year of last modification. Every entry other than a folder that the result
// lists now counts once, except the later links of a hard-linked file, which the totals skip too;
// figures are in the result's size mode. Pure functions over the tree, shared by the engine's
// calls and dvoscan.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/MovedEntries.h"
#include "engine/ScanTree.h"

namespace dvo {

// One entry other than a folder where the result lists it now (moved: an entry moved into
// parent after the search, else null).
struct ListedFile {
    Dir* parent = nullptr;
    Node* node = nullptr;
    MovedEntry* moved = nullptr;
    std::int64_t bytes = 0;
    std::string path; // full path, bytes as on disk
};

// The `count` largest, largest first, ties in byte order of their full paths.
[[nodiscard]] std::vector<ListedFile> LargestFiles(ScanResult& result, MovedEntries& moved,
                                                   std::size_t count);

struct GroupTotal {
    std::string name; // extension, or year in decimal; "" for none / an unknown time
    std::int64_t bytes = 0;
    std::int64_t count = 0;
};

// By extension, most bytes first, ties in byte order of the extension.
[[nodiscard]] std::vector<GroupTotal> TypeTotals(ScanResult& result, MovedEntries& moved);
// By local year of the modification time, oldest first, "" (unknown time) before every year.
[[nodiscard]] std::vector<GroupTotal> YearTotals(ScanResult& result, MovedEntries& moved);

// What follows the last '.' of a name when that dot is neither its first nor its last byte,
// ASCII letters in lower case; "" otherwise (".profile", "notes", "x.").
[[nodiscard]] std::string ExtensionOf(std::string_view name);

} // namespace dvo
