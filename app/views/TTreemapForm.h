#pragma once
// The treemap window's logic: the folder the grid shows (the searched folder after a search) as
// a squarified, cushion-shaded map of its whole subtree, with the hovered entry's path and size,
// a click that selects the entry's folder in the tree, and descending and going up. It reads the
// tree's nodes, loading what the tree has not loaded yet the way the tree does, and follows the
// result views through IResultViewsWatcher. It owns its state and asks ITreemapView for every
// widget operation.
#include "app/main/IWindowServices.h"
#include "app/views/IResultViewsWatcher.h"
#include "app/views/ITreemapView.h"
#include "app/views/ResultViews.h"

#include <optional>
#include <string>
#include <vector>

namespace dvo::app {

class TTreemapForm final : public IResultViewsWatcher {
public:
    using Node = FolderTreeNode;

    static constexpr int kVirtualKeyBack = 8;
    static constexpr const char* kTextBeforeSearch = "検索を実行するとツリーマップを表示します";
    static constexpr const char* kTextEmptyFolder = "このフォルダのサイズは0です";
    static constexpr const char* kTextNoFolder = "表示するフォルダがありません";
    static constexpr const char* kMenuLogText = "ﾒﾆｭｰ:ﾂﾘｰﾏｯﾌﾟ表示 選択";

    // All three must outlive this object; it does not register itself with results.
    TTreemapForm(IWindowServices& window, ResultViews& results, ITreemapView& view);

    // The menu item "ツリーマップ表示" with its new check state.
    void mnuTreemapClick(bool checked);
    // The window was closed from its frame.
    void FormClose();
    void FormResize();
    void MapMouseMove(int x, int y);
    void MapMouseLeave();
    void MapClick(int x, int y);
    void MapDblClick(int x, int y);
    void FormKeyDown(int virtualKey);
    void btnUpClick();
    // The kinds window chose the files of this extension (ListingExtension; nullptr: none):
    // their rectangles are outlined in the map, now and after every new layout.
    void OutlineKind(const std::u16string* extension);

    // IResultViewsWatcher
    void TreeCleared() override;
    void TreeBuilt() override;
    void ShownFolderChanged() override;
    void FileOperationStarted() override;
    void FileOperationEnded() override;
    void SizesChanged() override;

    // State, for the widgets, the tests and the benchmarks.
    [[nodiscard]] bool Visible() const { return m_visible; }
    // The folder whose map is shown; nullptr when none is.
    [[nodiscard]] Node* MapRoot() const;
    [[nodiscard]] const TreemapGeometry& Geometry() const { return m_map; }
    [[nodiscard]] const std::vector<const Node*>& Nodes() const { return m_nodes; }
    // Map entry under pixel (x, y), or -1.
    [[nodiscard]] int EntryAt(int x, int y) const;
    // Bytes the laid-out map holds (rectangles, subtree ends, colours, node references).
    [[nodiscard]] std::size_t MemoryBytes() const {
        return m_map.MemoryBytes() + m_nodes.capacity() * sizeof(Node*);
    }

private:
    enum class State { BeforeSearch, Searching, Ready };

    void Relayout();
    void ShowMessage(const char* text);
    // The map root as set, or the nearest live folder above it, or the searched folder.
    [[nodiscard]] Node* ResolveRoot() const;
    // Fills m_nodes, m_map.ends and m_map.groups in pre-order from node down; weights gets each
    // entry's size (a folder's is the sum of its entries').
    void CollectEntries(Node* node, std::vector<double>& weights);
    [[nodiscard]] std::string EntryText(const Node& node);
    void ShowKindOutlines();

    IWindowServices& m_window;
    ResultViews& m_results;
    ITreemapView& m_view;

    State m_state = State::BeforeSearch;
    bool m_operationRunning = false; // a file operation may be changing records: no layout
    bool m_visible = false;
    bool m_selectingInTree = false; // our own click is moving the tree's selection
    FolderTreeNodeRef m_root;       // unset: the searched folder
    FolderTreeNodeRef m_followed;   // the grid's folder the map followed last
    TreemapGeometry m_map;
    std::vector<const Node*> m_nodes; // entry i's node; valid until the tree is cleared
    std::optional<std::u16string> m_outlinedKind;
    int m_hovered = -1;
    int m_laidOutWidth = -1; // the map area the shown map was laid out for
    int m_laidOutHeight = -1;
};

} // namespace dvo::app
