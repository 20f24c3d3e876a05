#include "app/views/FolderTree.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>

namespace dvo::app {

FolderTree::FolderTree() : m_root(std::make_unique<Node>()) {}

FolderTree::~FolderTree() = default;

FolderTree::Node* FolderTree::NewNode() {
    if (m_usedInLastChunk == kNodesPerChunk) {
        m_nodeChunks.push_back(std::make_unique<Node[]>(kNodesPerChunk));
        m_usedInLastChunk = 0;
    }
    return &m_nodeChunks.back()[m_usedInLastChunk++];
}

const char* FolderTree::StoreCaption(std::string_view caption) {
    const std::size_t need = caption.size() + 1;
    if (need > kCaptionChunk) {
        // A caption longer than a chunk gets a chunk of its own; the current chunk stays open.
        auto big = std::make_unique<char[]>(need);
        std::memcpy(big.get(), caption.data(), caption.size());
        big[caption.size()] = '\0';
        const char* p = big.get();
        m_captionChunks.insert(m_captionChunks.end() - (m_captionChunks.empty() ? 0 : 1),
                               std::move(big));
        m_captionBytes += need;
        return p;
    }
    if (m_captionUsed + need > kCaptionChunk) {
        m_captionChunks.push_back(std::make_unique<char[]>(kCaptionChunk));
        m_captionUsed = 0;
        m_captionBytes += kCaptionChunk;
    }
    char* p = m_captionChunks.back().get() + m_captionUsed;
    std::memcpy(p, caption.data(), caption.size());
    p[caption.size()] = '\0';
    m_captionUsed += need;
    return p;
}

void FolderTree::Clear() {
    if (m_observer)
        m_observer->BeforeReset();
    m_nodeChunks.clear();
    m_usedInLastChunk = kNodesPerChunk;
    m_captionChunks.clear();
    m_captionUsed = kCaptionChunk;
    m_captionBytes = 0;
    m_root = std::make_unique<Node>();
    m_liveNodes = 0;
    m_pending = 0;
    ++m_generation;
    if (m_observer)
        m_observer->AfterReset();
}

FolderTree::Node* FolderTree::AddChild(Node* owner, FolderRecord* record,
                                       std::string_view caption) {
    Node* node = NewNode();
    node->parent = owner;
    node->record = record;
    node->entry = record != nullptr && record->kind != DVO_KIND_FOLDER;
    node->caption = StoreCaption(caption);
    node->captionLength = static_cast<std::uint32_t>(caption.size());
    node->row = static_cast<std::uint32_t>(owner->children.size());
    owner->children.push_back(node);
    ++m_liveNodes;
    if (IsPending(*node))
        ++m_pending;
    return node;
}

FolderTree::Node* FolderTree::AppendChild(Node* parent, FolderRecord* record,
                                          std::string_view caption) {
    Node* const owner = parent != nullptr ? parent : m_root.get();
    const auto row = static_cast<std::uint32_t>(owner->children.size());
    if (m_observer)
        m_observer->BeforeInsert(parent, row, row);
    if (owner != m_root.get() && IsPending(*owner))
        --m_pending; // a node with children is never loaded again
    Node* node = AddChild(owner, record, caption);
    if (m_observer)
        m_observer->AfterInsert();
    return node;
}

void FolderTree::AppendChildren(Node* parent, std::span<const NewChild> children) {
    if (children.empty())
        return;
    Node* const owner = parent != nullptr ? parent : m_root.get();
    const auto first = static_cast<std::uint32_t>(owner->children.size());
    if (m_observer)
        m_observer->BeforeInsert(parent, first,
                                 first + static_cast<std::uint32_t>(children.size()) - 1);
    if (owner != m_root.get() && IsPending(*owner))
        --m_pending;
    owner->children.reserve(owner->children.size() + children.size());
    for (const NewChild& c : children)
        AddChild(owner, c.record, c.caption);
    if (m_observer)
        m_observer->AfterInsert();
}

void FolderTree::Remove(Node* node) {
    if (node == nullptr || !node->alive || node == m_root.get())
        return;
    if (m_observer)
        m_observer->BeforeRemove(node);
    Node* const owner = node->parent;
    // Retire the subtree: iterative, since trees can be thousands of levels deep.
    std::vector<Node*> stack{node};
    while (!stack.empty()) {
        Node* n = stack.back();
        stack.pop_back();
        if (IsPending(*n))
            --m_pending;
        n->alive = false;
        --m_liveNodes;
        for (Node* c : n->children)
            stack.push_back(c);
        n->children.clear();
        n->children.shrink_to_fit();
    }
    const std::size_t row = node->row;
    owner->children.erase(owner->children.begin() + static_cast<std::ptrdiff_t>(row));
    RenumberFrom(owner, row);
    if (owner != m_root.get() && IsPending(*owner))
        ++m_pending; // its last child went: the engine may be asked again
    if (m_observer)
        m_observer->AfterRemove();
}

void FolderTree::RenumberFrom(Node* parent, std::size_t first) {
    for (std::size_t i = first; i < parent->children.size(); ++i)
        parent->children[i]->row = static_cast<std::uint32_t>(i);
}

FolderTree::Node* FolderTree::FirstTopLevel() const {
    return m_root->children.empty() ? nullptr : m_root->children.front();
}

FolderTree::Node* FolderTree::FirstChild(const Node* node) const {
    const Node* owner = node != nullptr ? node : m_root.get();
    return owner->children.empty() ? nullptr : owner->children.front();
}

FolderTree::Node* FolderTree::NextSibling(const Node* node) const {
    if (node == nullptr || node->parent == nullptr)
        return nullptr;
    const auto& siblings = node->parent->children;
    const std::size_t next = std::size_t{node->row} + 1;
    return next < siblings.size() ? siblings[next] : nullptr;
}

FolderTree::Node* FolderTree::NextInTreeOrder(const Node* node) const {
    if (node == nullptr)
        return nullptr;
    if (!node->children.empty())
        return node->children.front();
    for (const Node* n = node; n != nullptr && n != m_root.get(); n = n->parent)
        if (Node* next = NextSibling(n))
            return next;
    return nullptr;
}

FolderTree::Node* FolderTree::Parent(const Node* node) const {
    if (node == nullptr || node->parent == m_root.get())
        return nullptr;
    return node->parent;
}

std::span<FolderTree::Node* const> FolderTree::Children(const Node* node) const {
    const Node* owner = node != nullptr ? node : m_root.get();
    return {owner->children.data(), owner->children.size()};
}

std::vector<FolderTree::Node*> FolderTree::Parents() const {
    std::vector<Node*> parents;
    std::vector<Node*> stack{m_root.get()};
    while (!stack.empty()) {
        Node* n = stack.back();
        stack.pop_back();
        if (n->children.empty())
            continue;
        parents.push_back(n);
        for (Node* c : n->children)
            if (!c->children.empty())
                stack.push_back(c);
    }
    return parents;
}

namespace {

// Tells the observer of a reorder around a scope, also when the scope ends by an exception, so
// the widgets never stay in the middle of a layout change.
class ReorderScope {
public:
    explicit ReorderScope(FolderTreeObserver* observer) : m_observer(observer) {
        if (m_observer)
            m_observer->BeforeReorder();
    }
    ~ReorderScope() {
        if (m_observer)
            m_observer->AfterReorder();
    }
    ReorderScope(const ReorderScope&) = delete;
    ReorderScope& operator=(const ReorderScope&) = delete;

private:
    FolderTreeObserver* m_observer;
};

} // namespace

template <typename Scratch, typename Sort>
void FolderTree::SortEach(const std::vector<Node*>& parents, bool concurrent, Sort sort) {
    // Parents are taken in small batches from a shared counter, so one folder of a hundred
    // thousand entries on one thread leaves the rest of the tree to the others.
    constexpr std::size_t kBatch = 64;
    std::atomic<std::size_t> next{0};
    // A failure on a helper (no memory for its keys) must reach the caller, not end the
    // process: the first one is kept, the others stop taking work, and it is thrown here.
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto work = [&] {
        try {
            Scratch scratch;
            for (std::size_t first = next.fetch_add(kBatch); first < parents.size();
                 first = next.fetch_add(kBatch))
                for (std::size_t i = first; i < std::min(parents.size(), first + kBatch); ++i)
                    sort(parents[i], scratch);
        } catch (...) {
            next.store(parents.size());
            const std::lock_guard lock(failureMutex);
            if (!failure)
                failure = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> helpers;
        if (concurrent && m_liveNodes >= kConcurrentSortNodes) {
            const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
            try {
                for (unsigned i = 1; i < std::min(cores, 4u); ++i)
                    helpers.emplace_back(work);
            } catch (const std::system_error&) {
                // No thread to be had: this one sorts what the others would have.
            }
        }
        work();
    } // the helpers are joined here
    if (failure)
        std::rethrow_exception(failure);
}

void FolderTree::SortAllLevels(Compare compare, const void* context, bool concurrent) {
    const ReorderScope reorder(m_observer);
    struct NoScratch {};
    SortEach<NoScratch>(Parents(), concurrent, [&](Node* n, NoScratch&) {
        StableSort(n->children.begin(), n->children.end(),
                   [&](const Node* a, const Node* b) { return compare(*a, *b, context) < 0; });
        RenumberFrom(n, 0);
    });
}

template <typename K> void FolderTree::SortAllLevelsByKeys(K (*key)(const Node&), bool descending) {
    const ReorderScope reorder(m_observer);
    struct Keyed {
        K key;
        Node* node;
    };
    using Buffer = std::vector<Keyed>; // one per thread, for every level it sorts
    SortEach<Buffer>(Parents(), true, [&](Node* n, Buffer& keyed) {
        keyed.clear();
        const auto& children = n->children;
        for (std::size_t i = 0; i < children.size(); ++i) {
            // Records and captions lie far from the nodes: asking for a later one's early
            // hides the wait.
            if (i + 8 < children.size()) {
                if constexpr (std::is_same_v<K, long long>)
                    __builtin_prefetch(children[i + 8]->record);
                else
                    __builtin_prefetch(children[i + 8]->caption);
            }
            keyed.push_back({key(*children[i]), children[i]});
        }
        if (descending)
            StableSort(keyed.begin(), keyed.end(),
                       [](const Keyed& a, const Keyed& b) { return a.key > b.key; });
        else
            StableSort(keyed.begin(), keyed.end(),
                       [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
        for (std::size_t i = 0; i < keyed.size(); ++i) {
            n->children[i] = keyed[i].node;
            keyed[i].node->row = static_cast<std::uint32_t>(i);
        }
    });
}

void FolderTree::SortAllLevelsByKey(Key key, bool descending) {
    SortAllLevelsByKeys(key, descending);
}

void FolderTree::SortAllLevelsByText(TextKey key, bool descending) {
    SortAllLevelsByKeys(key, descending);
}

void FolderTree::SortChildrenOf(std::span<Node* const> parents, Compare compare,
                                const void* context) {
    if (m_observer)
        m_observer->BeforeReorder();
    if (compare != nullptr) {
        auto less = [&](const Node* a, const Node* b) { return compare(*a, *b, context) < 0; };
        for (Node* parent : parents) {
            Node* owner = parent != nullptr ? parent : m_root.get();
            if (!owner->alive)
                continue;
            StableSort(owner->children.begin(), owner->children.end(), less);
            RenumberFrom(owner, 0);
        }
    }
    if (m_observer)
        m_observer->AfterReorder();
}

void FolderTree::SetCaption(Node* node, std::string_view caption) {
    if (node == nullptr || node == m_root.get())
        return;
    node->caption = StoreCaption(caption);
    node->captionLength = static_cast<std::uint32_t>(caption.size());
}

void FolderTree::SetChildrenLoaded(FolderRecord* record, Node* node) {
    if (record == nullptr || record->childrenLoaded == 1)
        return;
    const bool wasPending = node != nullptr && node->record == record && IsPending(*node);
    record->childrenLoaded = 1;
    if (wasPending)
        --m_pending;
}

void FolderTree::SetChildrenUnloaded(FolderRecord* record, Node* node) {
    const bool wasPending = node != nullptr && node->record == record && IsPending(*node);
    record->childrenLoaded = 0;
    if (!wasPending && node != nullptr && node->record == record && IsPending(*node))
        ++m_pending;
}

FolderTree::Node* FolderTree::Resolve(const FolderTreeNodeRef& ref) const {
    if (ref.node == nullptr || ref.generation != m_generation || !ref.node->alive)
        return nullptr;
    return const_cast<Node*>(ref.node);
}

std::size_t FolderTree::MemoryBytes() const {
    std::size_t bytes = m_nodeChunks.size() * kNodesPerChunk * sizeof(Node) + m_captionBytes;
    for (const auto& chunk : m_nodeChunks)
        for (std::size_t i = 0; i < kNodesPerChunk; ++i)
            bytes += chunk[i].children.capacity() * sizeof(Node*);
    return bytes + m_root->children.capacity() * sizeof(Node*);
}

} // namespace dvo::app
