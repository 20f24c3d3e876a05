#pragma once
// Entries moved after the search from one folder of it into another. The scan's nodes never
// move in memory, so a moved entry keeps its node where the scan put it (vacated there) and is
// listed here under the folder it went to: only moved entries cost memory.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/DVOSUB.h"
#include "engine/ScanTree.h"

namespace dvo {

// One entry as it was moved into a folder of the search.
struct MovedEntry {
    Node* node = nullptr;
    bool movedOn = false;           // moved again into another folder of the search: listed there
    bool gone = false;              // deleted or moved out of the search since: listed, not found
    FolderRecord* record = nullptr; // its record, for an entry other than a folder, once made
};

class MovedEntries {
public:
    struct Incoming {
        // Byte order of names, one entry per name (a later move of the same name replaces it).
        std::vector<std::unique_ptr<MovedEntry>> entries;
        std::uint32_t cursor = 0; // next of a First/Next enumeration
    };

    [[nodiscard]] bool Empty() const noexcept { return m_into.empty(); }
    // What was moved into d, or null.
    [[nodiscard]] Incoming* Into(const Dir* d) noexcept;
    // The entry of that name moved into d, or null.
    [[nodiscard]] MovedEntry* Find(const Dir* d, std::string_view name) noexcept;
    // True for a node the scan put in a folder that it has since been moved out of, within the
    // search: that folder no longer lists it.
    [[nodiscard]] bool Vacated(const Node& slot) const noexcept {
        return (slot.flags & kRemoved) != 0 && !m_vacated.empty() && m_vacated.contains(&slot);
    }

    // Lists node under into, replacing an earlier entry of the same name there; vacateSlot marks
    // the node's place in the scan's tree as left. All or nothing when memory runs out.
    MovedEntry& Add(Dir* into, Node* node, bool vacateSlot);

    // The folder d and every folder now below it, parents before their children.
    [[nodiscard]] std::vector<Dir*> FoldersFrom(Dir* d);
    // Calls f(Dir*) for each folder whose parent d now is.
    template <typename F> void ForEachFolderIn(Dir* d, F f) {
        for (std::uint32_t i = 0; i < d->childCount; ++i) {
            Node& n = d->children[i];
            if (n.IsFolder() && !Vacated(n)) {
                f(n.dir);
            }
        }
        if (Incoming* in = Into(d)) {
            for (const auto& e : in->entries) {
                if (!e->movedOn && e->node->IsFolder()) {
                    f(e->node->dir);
                }
            }
        }
    }

    // Real paths of folders made inside the search since it ended (a trash's folders): counted
    // once in the folders above them, never listed.
    [[nodiscard]] std::set<std::string>& MadeFolders() noexcept { return m_made; }

    // d's contents were read again: what was moved into it is listed by the new reading.
    void Forget(const Dir* d) noexcept { m_into.erase(d); }
    // A node the scan put in its folder that the folder no longer lists (its folder vanished).
    void Unlist(const Node* node) { m_vacated.insert(node); }

    void Clear() noexcept;

private:
    std::set<std::string> m_made;
    std::unordered_map<const Dir*, Incoming> m_into;
    std::unordered_set<const Node*> m_vacated;
};

} // namespace dvo
