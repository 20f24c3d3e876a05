#include "app/views/TTreemapForm.h"

#include "app/views/FileExtension.h"
#include "platform/Text.h"

#include <algorithm>

namespace dvo::app {
namespace {

std::u16string_view RecordName(const FolderRecord& r) {
    std::size_t length = 0;
    while (length < DVO_NAME_UNITS && r.name[length] != u'\0')
        ++length;
    return {r.name, length};
}

bool IsFolder(const FolderTreeNode& node) {
    return node.record != nullptr && node.record->kind == DVO_KIND_FOLDER;
}

} // namespace

TTreemapForm::TTreemapForm(IWindowServices& window, ResultViews& results, ITreemapView& view)
    : m_window(window), m_results(results), m_view(view) {}

void TTreemapForm::mnuTreemapClick(bool checked) {
    m_window.LogUserAction(kMenuLogText);
    if (checked) {
        m_view.ShowWindow();
        m_visible = true; // laid out once, at the size the window has taken
        Relayout();
    } else {
        m_visible = false;
        m_view.HideWindow();
    }
}

void TTreemapForm::FormClose() {
    m_visible = false;
    m_view.SetMenuChecked(false);
}

void TTreemapForm::FormResize() {
    // A map laid out for this very size stays as it is; during a file operation the new size
    // waits for its end, when the records are the program's again.
    if (m_operationRunning)
        return;
    if (!m_map.Empty() && m_view.MapWidth() == m_laidOutWidth &&
        m_view.MapHeight() == m_laidOutHeight)
        return;
    Relayout();
}

// ---- following the result views ------------------------------------------------------------

void TTreemapForm::TreeCleared() {
    // Nothing may touch the nodes or their records from here on.
    m_state = State::Searching;
    m_root = {};
    m_followed = {};
    Relayout();
}

void TTreemapForm::TreeBuilt() {
    m_state = State::Ready;
    m_root = {};
    m_followed = {};
    Relayout();
}

void TTreemapForm::ShownFolderChanged() {
    const FolderTreeNodeRef shown = m_results.Tree().Ref(m_results.ShownNode());
    if (shown == m_followed)
        return;
    m_followed = shown;
    // A click in the map selects the entry's folder but keeps the map where it is.
    if (m_selectingInTree || shown.node == nullptr)
        return;
    m_root = shown;
    Relayout();
}

void TTreemapForm::FileOperationStarted() { m_operationRunning = true; }

void TTreemapForm::FileOperationEnded() {
    m_operationRunning = false;
    Relayout();
}

void TTreemapForm::SizesChanged() { Relayout(); }

// ---- the map --------------------------------------------------------------------------------

TTreemapForm::Node* TTreemapForm::ResolveRoot() const {
    if (m_state != State::Ready)
        return nullptr;
    const FolderTree& tree = m_results.Tree();
    if (Node* live = tree.Resolve(m_root))
        return live;
    // A removed folder keeps its parent link until the tree is cleared: climb to a live one.
    if (m_root.node != nullptr && m_root.generation == tree.Ref(nullptr).generation)
        for (const Node* n = m_root.node->parent; n != nullptr && n->record != nullptr;
             n = n->parent)
            if (n->alive)
                return const_cast<Node*>(n);
    return tree.FirstTopLevel();
}

TTreemapForm::Node* TTreemapForm::MapRoot() const {
    return m_nodes.empty() ? nullptr : const_cast<Node*>(m_nodes.front());
}

void TTreemapForm::ShowMessage(const char* text) {
    m_map.Clear();
    m_nodes.clear();
    m_view.ShowMessageLine(text);
    ShowKindOutlines();
}

void TTreemapForm::OutlineKind(const std::u16string* extension) {
    if (extension != nullptr)
        m_outlinedKind = *extension;
    else
        m_outlinedKind.reset();
    if (m_visible)
        ShowKindOutlines();
}

void TTreemapForm::ShowKindOutlines() {
    std::vector<TreemapPixelRect> rects;
    if (m_outlinedKind && !m_operationRunning)
        for (std::size_t i = 0; i < m_nodes.size(); ++i) {
            const FolderRecord* r = m_nodes[i]->record;
            if (r == nullptr || r->kind == DVO_KIND_FOLDER ||
                ListingExtension(RecordName(*r)) != *m_outlinedKind)
                continue;
            // Entries under a pixel have nothing to outline.
            const TreemapPixelRect p = ToPixels(m_map.rects[i]);
            if (!p.Empty())
                rects.push_back(p);
        }
    m_view.SetKindOutlines(rects);
}

void TTreemapForm::Relayout() {
    m_hovered = -1;
    m_laidOutWidth = m_laidOutHeight = -1;
    if (!m_visible) {
        // Hidden: nothing is kept that could outlive the nodes; showing lays out again.
        m_map.Clear();
        m_nodes.clear();
        return;
    }
    m_view.SetOutline(std::nullopt);
    m_view.SetStatusText("");
    Node* root = ResolveRoot();
    m_view.SetUpEnabled(root != nullptr && m_results.Tree().Parent(root) != nullptr);
    if (m_state == State::BeforeSearch)
        return ShowMessage(kTextBeforeSearch);
    if (m_state == State::Searching)
        return ShowMessage(""); // the records are going or not there yet
    if (root == nullptr)
        return ShowMessage(kTextNoFolder);

    std::vector<double> weights;
    CollectEntries(root, weights);
    const int width = std::max(0, m_view.MapWidth());
    const int height = std::max(0, m_view.MapHeight());
    if (!(weights.front() > 0))
        return ShowMessage(kTextEmptyFolder);
    m_map.rects.assign(m_nodes.size(), TreemapRect{});
    LayoutTree(weights, m_map.ends,
               TreemapRect{0, 0, static_cast<float>(width), static_cast<float>(height)},
               m_map.rects);
    m_laidOutWidth = width;
    m_laidOutHeight = height;
    m_view.ShowMap(m_map);
    ShowKindOutlines();
}

void TTreemapForm::CollectEntries(Node* root, std::vector<double>& weights) {
    m_map.Clear();
    m_nodes.clear();
    const auto emit = [&](Node* node) {
        // A folder the tree has not enumerated yet is loaded into the tree as expanding would.
        if (IsFolder(*node) && node->children.empty() && node->record->childrenLoaded == 0)
            m_results.LoadChildNodes(node);
        const auto index = static_cast<std::uint32_t>(m_nodes.size());
        m_nodes.push_back(node);
        m_map.ends.push_back(index + 1);
        const FolderRecord* r = node->record;
        m_map.groups.push_back(r != nullptr ? FileGroupOf(RecordName(*r), r->kind)
                                            : FileGroup::Other);
        weights.push_back(node->children.empty() && r != nullptr
                              ? static_cast<double>(std::max(0LL, r->size))
                              : 0.0);
        return index;
    };
    struct Open {
        Node* node;
        std::size_t next;
        std::uint32_t index;
    };
    std::vector<Open> open;
    const std::uint32_t first = emit(root);
    if (!root->children.empty())
        open.push_back({root, 0, first});
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next < top.node->children.size()) {
            Node* child = top.node->children[top.next++];
            const std::uint32_t parentIndex = top.index;
            const std::uint32_t index = emit(child);
            if (!child->children.empty())
                open.push_back({child, 0, index}); // invalidates top
            else
                weights[parentIndex] += weights[index];
            continue;
        }
        const std::uint32_t done = top.index;
        m_map.ends[done] = static_cast<std::uint32_t>(m_nodes.size());
        open.pop_back();
        if (!open.empty())
            weights[open.back().index] += weights[done];
    }
}

int TTreemapForm::EntryAt(int x, int y) const { return TreemapHitTest(m_map, x, y); }

std::string TTreemapForm::EntryText(const Node& node) {
    const FolderRecord& r = *node.record;
    std::string path;
    if (r.directory != nullptr) {
        path = platform::Utf16ToUtf8(r.directory);
        if (path.empty() || path.back() != '/')
            path += '/';
    }
    path += platform::Utf16ToUtf8(RecordName(r));
    char16_t size[DVO_DISPLAY_TEXT_UNITS] = {};
    m_results.Engine().DVOFileSize2String(size, static_cast<int>(sizeof size), r.size);
    return path + "  " + platform::Utf16ArrayToUtf8(size, DVO_DISPLAY_TEXT_UNITS);
}

void TTreemapForm::MapMouseMove(int x, int y) {
    const int entry = EntryAt(x, y);
    if (entry == m_hovered)
        return;
    m_hovered = entry;
    const Node* node = entry >= 0 ? m_nodes[static_cast<std::size_t>(entry)] : nullptr;
    // A node removed since the layout (a file operation still running) says nothing.
    m_view.SetStatusText(
        node != nullptr && node->alive && node->record != nullptr ? EntryText(*node) : "");
}

void TTreemapForm::MapMouseLeave() {
    m_hovered = -1;
    m_view.SetStatusText("");
}

void TTreemapForm::MapClick(int x, int y) {
    const int entry = EntryAt(x, y);
    if (entry < 0)
        return;
    Node* node = const_cast<Node*>(m_nodes[static_cast<std::size_t>(entry)]);
    if (!node->alive)
        return;
    // The folder that holds the entry, so the grid lists the entry among its neighbours; the
    // searched folder has none above it and stands for itself.
    Node* folder = m_results.Tree().Parent(node);
    m_selectingInTree = true;
    m_results.SelectTreeNode(folder != nullptr ? folder : node);
    m_selectingInTree = false;
    m_view.SetOutline(ToPixels(m_map.rects[static_cast<std::size_t>(entry)]));
}

void TTreemapForm::MapDblClick(int x, int y) {
    const int entry = EntryAt(x, y);
    if (entry <= 0)
        return;
    // One level down: the root's entry that holds the point.
    const auto hit = static_cast<std::uint32_t>(entry);
    for (std::uint32_t j = 1; j < m_map.ends[0]; j = m_map.ends[j]) {
        if (hit < j || hit >= m_map.ends[j])
            continue;
        const Node* node = m_nodes[j];
        if (node->alive && IsFolder(*node)) {
            m_root = m_results.Tree().Ref(node);
            Relayout();
        }
        return;
    }
}

void TTreemapForm::FormKeyDown(int virtualKey) {
    if (virtualKey == kVirtualKeyBack)
        btnUpClick();
}

void TTreemapForm::btnUpClick() {
    Node* root = ResolveRoot();
    Node* parent = root != nullptr ? m_results.Tree().Parent(root) : nullptr;
    if (parent == nullptr)
        return; // never above the searched folder
    m_root = m_results.Tree().Ref(parent);
    Relayout();
}

} // namespace dvo::app
