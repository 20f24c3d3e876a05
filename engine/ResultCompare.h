#pragma once
// What changed between an earlier result (an export read back) and the current one: entries
// whose size differs, and entries on one side only.
#include "engine/ScanTree.h"

#include <cstdint>
#include <functional>
#include <string>

namespace dvo {

enum class ChangeKind : std::uint8_t { Size, New, Gone };

struct EntryChange {
    const std::string& path; // under the current result's root
    std::int64_t before;     // 0 for a new entry
    std::int64_t after;      // 0 for a vanished one
    bool folder;
    ChangeKind kind;
};

// Walks both trees side by side, siblings matched by name. A folder on both sides is always
// descended (its files may have changed by amounts that cancel out); an entry on one side only is
// reported once, with its subtree's total, and not descended. Entries deleted or moved away
// since the current search count as gone. Sizes are compared in the count `now` shows. `sink`
// returns false to stop; the number of changes reported is returned.
std::int64_t CompareResults(const ScanResult& before, const ScanResult& now,
                            const std::function<bool(const EntryChange&)>& sink);

} // namespace dvo
