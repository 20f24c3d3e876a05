#include "engine/MovedEntries.h"

#include <algorithm>

namespace dvo {

namespace {
bool NameLess(const std::unique_ptr<MovedEntry>& e, std::string_view name) {
    return e->node->Name() < name;
}
} // namespace

MovedEntries::Incoming* MovedEntries::Into(const Dir* d) noexcept {
    if (m_into.empty()) {
        return nullptr;
    }
    const auto it = m_into.find(d);
    return it == m_into.end() ? nullptr : &it->second;
}

MovedEntry* MovedEntries::Find(const Dir* d, std::string_view name) noexcept {
    Incoming* in = Into(d);
    if (in == nullptr) {
        return nullptr;
    }
    const auto it = std::lower_bound(in->entries.begin(), in->entries.end(), name, NameLess);
    return it != in->entries.end() && (*it)->node->Name() == name ? it->get() : nullptr;
}

MovedEntry& MovedEntries::Add(Dir* into, Node* node, bool vacateSlot) {
    auto entry = std::make_unique<MovedEntry>();
    entry->node = node;
    Incoming& in = m_into[into];
    in.entries.reserve(in.entries.size() + 1);
    if (vacateSlot) {
        m_vacated.insert(node);
    }
    // Nothing below allocates.
    const auto it = std::lower_bound(in.entries.begin(), in.entries.end(), node->Name(), NameLess);
    if (it != in.entries.end() && (*it)->node->Name() == node->Name()) {
        *it = std::move(entry); // the earlier one has left: the name is this entry's now
        return **it;
    }
    return **in.entries.insert(it, std::move(entry));
}

std::vector<Dir*> MovedEntries::FoldersFrom(Dir* d) {
    std::vector<Dir*> out;
    std::vector<Dir*> stack{d};
    while (!stack.empty()) {
        Dir* x = stack.back();
        stack.pop_back();
        out.push_back(x);
        ForEachFolderIn(x, [&stack](Dir* child) { stack.push_back(child); });
    }
    return out;
}

void MovedEntries::Clear() noexcept {
    m_into.clear();
    m_vacated.clear();
    m_made.clear();
}

} // namespace dvo
