#pragma once
// The folder tree of the result view: compact nodes that point to the engine's records, owned
// by the tree, with the operations the window logic needs (append, remove a subtree, walk in
// tree order, sort every level) and the bookkeeping that keeps those operations cheap on a tree
// of a million nodes.
#include "engine/DVOSUB.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace dvo::app {

class FolderTree;

// A stable sort that takes no memory for the short lists most folders' children make (the
// standard one allocates a buffer for every call, a hundred thousand times for a large tree).
template <typename It, typename Less> void StableSort(It first, It last, Less less) {
    if (last - first > 32) {
        std::stable_sort(first, last, less);
        return;
    }
    for (It i = first; i != last; ++i) {
        auto x = std::move(*i);
        It j = i;
        for (; j != first && less(x, *(j - 1)); --j)
            *j = std::move(*(j - 1));
        *j = std::move(x);
    }
}

struct FolderTreeNode {
    FolderTreeNode* parent = nullptr; // the tree's hidden root for top-level nodes
    std::vector<FolderTreeNode*> children;
    FolderRecord* record = nullptr; // engine-owned; the tree never frees it
    const char* caption = "";       // display text (UTF-8) in the tree's caption arena
    std::uint32_t captionLength = 0;
    // The row and the flags share four bytes: eight bytes less per entry of a large tree. No
    // folder holds half a billion entries.
    std::uint32_t row : 29 = 0; // index among its siblings, kept by every change
    bool expanded : 1 = false;
    bool alive : 1 = true;  // false once removed (slots are not reused in one tree)
    bool entry : 1 = false; // its record is not a folder's: it never gets children

    [[nodiscard]] std::string_view Caption() const { return {caption, captionLength}; }
};
static_assert(sizeof(FolderTreeNode) <= 56, "tree nodes must stay compact");

// True when ancestor lies on node's way up to the tree's root (a node is not below itself).
[[nodiscard]] inline bool IsBelow(const FolderTreeNode* node, const FolderTreeNode* ancestor) {
    for (const FolderTreeNode* up = node->parent; up != nullptr; up = up->parent)
        if (up == ancestor)
            return true;
    return false;
}

// A node reference that survives Clear(): a node of an earlier tree never equals one of the
// current tree, even where the memory is reused.
struct FolderTreeNodeRef {
    const FolderTreeNode* node = nullptr;
    std::uint64_t generation = 0;
    friend bool operator==(const FolderTreeNodeRef&, const FolderTreeNodeRef&) = default;
};

// What a widget adapter needs to hear about changes (all calls on the GUI thread).
class FolderTreeObserver {
public:
    virtual ~FolderTreeObserver() = default;
    virtual void BeforeReset() {}
    virtual void AfterReset() {}
    // Rows first..last are about to be appended below parent (nullptr = top level).
    virtual void BeforeInsert(FolderTreeNode* /*parent*/, std::uint32_t /*first*/,
                              std::uint32_t /*last*/) {}
    virtual void AfterInsert() {}
    virtual void BeforeRemove(FolderTreeNode* /*node*/) {}
    virtual void AfterRemove() {}
    virtual void BeforeReorder() {}
    virtual void AfterReorder() {}
};

class FolderTree {
public:
    using Node = FolderTreeNode;
    // Negative, zero or positive, like strcmp.
    using Compare = int (*)(const Node& a, const Node& b, const void* context);

    FolderTree();
    ~FolderTree();
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;

    void SetObserver(FolderTreeObserver* observer) { m_observer = observer; }

    // Removes every node; references taken before no longer resolve.
    void Clear();

    // Appends a node as the last child of parent (nullptr: as the last top-level node).
    Node* AppendChild(Node* parent, FolderRecord* record, std::string_view caption);

    // Appends these as the last children of parent (nullptr: top level), in this order, as one
    // insertion for the widgets; the child list grows once, to its exact size.
    struct NewChild {
        FolderRecord* record;
        std::string_view caption;
    };
    void AppendChildren(Node* parent, std::span<const NewChild> children);

    // Removes the node with its whole subtree.
    void Remove(Node* node);

    [[nodiscard]] bool Empty() const { return m_root->children.empty(); }
    [[nodiscard]] std::size_t NodeCount() const { return m_liveNodes; }
    [[nodiscard]] Node* FirstTopLevel() const;
    [[nodiscard]] Node* FirstChild(const Node* node) const;
    [[nodiscard]] Node* NextSibling(const Node* node) const;
    // Pre-order over all nodes, expanded or not; nullptr after the last one.
    [[nodiscard]] Node* NextInTreeOrder(const Node* node) const;
    // nullptr for a top-level node.
    [[nodiscard]] Node* Parent(const Node* node) const;
    // Children of node, or the top-level nodes for nullptr.
    [[nodiscard]] std::span<Node* const> Children(const Node* node) const;

    // Sorts the top level and the children of every node with the comparison (stable: nodes
    // that compare equal keep their order). With concurrent, a large tree's levels are sorted
    // on more than one thread: the comparison must then be safe to call from several at once.
    void SortAllLevels(Compare compare, const void* context, bool concurrent = false);
    // The same with a 64-bit key read once per node (a size), ascending or descending: each
    // child list is sorted as key and node side by side, so no comparison reaches a record.
    using Key = long long (*)(const Node& node);
    void SortAllLevelsByKey(Key key, bool descending);
    // The same with a text key, in byte order (unsigned bytes), found once per node.
    using TextKey = std::string_view (*)(const Node& node);
    void SortAllLevelsByText(TextKey key, bool descending);
    // From this many nodes on those sorts use helper threads (below, starting them costs more
    // than they save).
    static constexpr std::size_t kConcurrentSortNodes = 20000;
    // Sorts only the children of these nodes (nullptr: the top level), as one reorder; without a
    // comparison the order stays and the widgets still re-read the captions.
    void SortChildrenOf(std::span<Node* const> parents, Compare compare, const void* context);
    // A new display text for the node; the widgets see it at the next reorder or reset.
    void SetCaption(Node* node, std::string_view caption);

    // Progressive loading: a node is pending while it has no children and its record's
    // childrenLoaded flag is 0. SetChildrenLoaded writes the flag through the tree so the
    // count stays right; with no pending node left, a loading walk can stop at once.
    void SetChildrenLoaded(FolderRecord* record, Node* node);
    [[nodiscard]] std::size_t PendingCount() const { return m_pending; }
    // The record's children are to be asked for again (a folder read again): its flag goes to
    // 0 and node, when it has no children now, counts as pending again.
    void SetChildrenUnloaded(FolderRecord* record, Node* node);

    [[nodiscard]] FolderTreeNodeRef Ref(const Node* node) const { return {node, m_generation}; }
    // The live node of a reference of this tree, or nullptr.
    [[nodiscard]] Node* Resolve(const FolderTreeNodeRef& ref) const;

    // Bytes the tree holds (nodes, child lists, captions), for memory reports.
    [[nodiscard]] std::size_t MemoryBytes() const;

private:
    Node* NewNode();
    // A new last child of owner with the tree's counts kept; the widgets are told by the caller.
    Node* AddChild(Node* owner, FolderRecord* record, std::string_view caption);
    const char* StoreCaption(std::string_view caption);
    [[nodiscard]] static bool IsPending(const Node& n) {
        return n.children.empty() && n.record != nullptr && n.record->childrenLoaded == 0;
    }
    void RenumberFrom(Node* parent, std::size_t first);
    // Every node with children, the hidden root first.
    [[nodiscard]] std::vector<Node*> Parents() const;
    // Calls sort(parent, scratch) for each of parents, on this thread and, when the tree is
    // large, on helper threads too; each thread has a Scratch of its own.
    template <typename Scratch, typename Sort>
    void SortEach(const std::vector<Node*>& parents, bool concurrent, Sort sort);
    template <typename K> void SortAllLevelsByKeys(K (*key)(const Node&), bool descending);

    static constexpr std::size_t kNodesPerChunk = 4096;
    static constexpr std::size_t kCaptionChunk = 64 * 1024;

    std::vector<std::unique_ptr<Node[]>> m_nodeChunks;
    std::size_t m_usedInLastChunk = kNodesPerChunk;
    std::vector<std::unique_ptr<char[]>> m_captionChunks;
    std::size_t m_captionUsed = kCaptionChunk;
    std::size_t m_captionBytes = 0;

    std::unique_ptr<Node> m_root; // hidden; its children are the top-level nodes
    std::size_t m_liveNodes = 0;
    std::size_t m_pending = 0;
    std::uint64_t m_generation = 1;
    FolderTreeObserver* m_observer = nullptr; // not owned
};

} // namespace dvo::app
