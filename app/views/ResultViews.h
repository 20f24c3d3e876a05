#pragma once
// The result views' logic: the engine's records as a folder tree (built at once or
// progressively), its orders, and the contents grid of the selected folder with its row marks.
// It owns their state and asks IResultView for every widget operation; the window services
// (status text, busy cursor, message box) come through IWindowServices. The grid's file
// commands live in FileCommands, which changes this state through the operations below.
#include "app/main/IEngine.h"
#include "app/main/IResultViews.h"
#include "app/main/IWindowServices.h"
#include "app/views/FolderTree.h"
#include "app/views/IResultView.h"
#include "app/views/IResultViewsWatcher.h"
#include "app/views/ResultGrid.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dvo::app {

// How the tree draws a node's caption.
enum class TreeFontStyle { Regular, BoldItalic };

struct Rgb {
    int r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

class ResultViews final : public IResultViews {
public:
    using Node = FolderTreeNode;

    static constexpr int kSortNone = 0;
    static constexpr int kSortSizeAscending = 1;
    static constexpr int kSortSizeDescending = 2;
    static constexpr int kSortCaptionAscending = 3;
    static constexpr int kSortCaptionDescending = 4;
    static constexpr Rgb kMarkColour{217, 240, 210};
    static constexpr int kVirtualKeyUp = 38;
    static constexpr int kVirtualKeyDown = 40;
    static constexpr int kVirtualKeySpace = 32;
    // Folders counted by the last search above which expanding everything asks first.
    static constexpr int kExpandAllWithoutAsking = 999;

    // The ascending name order: two NUL-terminated UTF-8 captions, negative, zero or positive.
    using CaptionCollation = std::function<int(const char* a, const char* b)>;

    // All three must outlive this object.
    ResultViews(IWindowServices& window, IEngine& engine, IResultView& view);

    // Replaces the ascending name order (default: the environment's LC_COLLATE through strcoll).
    // concurrent: it may be called from several threads at once, so a large tree sorts faster.
    void SetCaptionCollation(CaptionCollation collation, bool concurrent = false) {
        m_collation = std::move(collation);
        m_collationConcurrent = concurrent;
    }

    // The search flow's steps.
    void ClearFolderTree() override;
    void ResetRecordCount() override;
    void ResetResultGrid() override;
    void ResetShownNode() override;
    void EmptyRowMarks() override;
    void LoadFolderRecords() override;
    void BuildFolderTree() override;
    void ShowTotals() override;
    void FormResize() override;
    void SizeCountChanged() override;

    // Folder tree. After a search the levels below the first ones load in slices on the
    // message loop, breadth first, with the busy cursor; the window answers meanwhile.
    [[nodiscard]] bool TreeLoading() const { return m_loading; }
    // Loads what is left at once: before a command that needs the whole tree.
    void FinishTreeLoad();
    // One slice of the background load (scheduled through the view).
    void TreeLoadSlice();
    // Loads every level below folder now, breadth first as the slices do: for a folder whose
    // nodes were made again (a rescan of it).
    void LoadSubtree(Node* folder);
    void LoadChildNodes(Node* node);
    void AddNodesAtOnce();
    [[nodiscard]] std::string MakeNodeCaption(const FolderRecord& record) const;
    void SearchResultTreeExpanding(Node* node);
    // The style a node is painted with; kinds other than folder and file keep the style of the
    // node painted before.
    TreeFontStyle SearchResultTreeCustomDrawItem(const Node* node);
    void SearchResultTreeKeyUp(int virtualKey);
    void SearchResultTreeMouseDown();
    void ShowSelectedFolder();
    // Makes node the tree's selected node and lists it, as a click on it in the tree does.
    void SelectTreeNode(Node* node);
    // Selects folder in the tree as SelectTreeNode does, then makes the grid row that holds
    // entry current, scrolled into view (no row when the folder does not list it).
    void SelectEntry(Node* folder, const FolderRecord* entry);

    // Orders. SortFolderTree sorts, lists the selected folder and pops its cursor before it
    // returns; SortFolderTreeByMenu, for the user's choices, does the listing and the pop once
    // the widget has laid out the sorted rows (at once with a view that lays out at once).
    void SortFolderTree(int state);
    void SortFolderTreeByMenu(int state);
    void mnuSortNoneClick();
    void mnuSortSizeUpClick();
    void mnuSizeDownClick();
    void mnuAlphaClick();
    void mnuAlphaDownClick();
    // A mouse button released over the grid cell (column, row); row 0 is the title row.
    void lsSearchResultMouseUp(int column, int row);

    // Contents grid.
    void SetColumnTitles(int state);
    void ShowFolderContents(Node* node);
    // The grid again for the folder selected last, or the one shown if that one went.
    void RefillShownFolder();
    void ToggleRowMark(int row);
    void ClearRowMarks();
    // The fill colour of a cell, or nothing where the grid draws the cell its own way.
    [[nodiscard]] std::optional<Rgb> lsSearchResultDrawCell(int column, int row) const;
    void lsSearchResultClick();
    // A key pressed in the grid: Space marks or unmarks the current row.
    void lsSearchResultKeyDown(int virtualKey);
    // How many rows are marked, and the bytes their entries take.
    [[nodiscard]] int MarkedCount() const;
    [[nodiscard]] long long MarkedSize() const;
    bool lsSearchResultMouseWheelDown();
    bool lsSearchResultMouseWheelUp();
    void spSearchResultMoved();
    // The user dragged a column border: the width is kept for the resize rules.
    void GridColumnResized(int column, int width);

    // What the file commands change (FileCommands). Around a batch: until FileOperationEnded
    // the engine may change records on a thread of its own, so the watcher reads none.
    void FileOperationStarting();
    // The marks of these entries go (the ones whose operation succeeded); the others keep theirs.
    void UnmarkEntries(std::vector<const FolderRecord*> entries);
    // After a batch: when entries went, the shown folder's and movedInto's captions and orders
    // follow the new figures; then the grid lists the selected (or shown) folder again, with
    // the mark summary and the totals.
    void FileOperationEnded(bool entriesWent, Node* movedInto);
    // Removes the child of the shown folder that holds this record, with its subtree (by the
    // record, since after a move the engine's record may already name the new place). A folder
    // that stays in the search (moved within it) still counts as a folder record.
    void RemoveChildNode(const FolderRecord* record, bool stillSearched = false);
    // The loaded folder node at this path (bytes, no trailing '/'), or nullptr when the path is
    // outside the search or its node is not in the tree yet.
    [[nodiscard]] Node* FindFolderNode(const std::string& path) const;
    // The searched folder's path as the records give it ("" without a tree).
    [[nodiscard]] std::string SearchedFolderPath() const;
    // The folder node at this path, or the deepest folder above it that the result holds,
    // loading the levels on the way; the searched folder for a path outside the search, and
    // nullptr only without a tree.
    Node* RevealFolderNode(const std::string& path);
    // After a move into a folder of the search: the entry's node appears there, when that
    // folder's children are already in the tree (otherwise it comes with them when loaded).
    void AddMovedNode(Node* into, const std::u16string& name);

    // Reading the selected folder again (ResultViewsRescan.cpp). RescanEnded replaces the
    // folder node's subtree with the engine's new records, expanded again where it was, or
    // removes the node when the folder went; the captions and orders above it, the folder
    // list, the grid and the watcher follow.
    [[nodiscard]] FolderRecord* SelectedFolderRecord() override;
    void RescanStarting() override;
    void RescanEnded(FolderRecord* record, bool gone) override;

    // Tree-wide commands and the export items.
    void N3Click(); // expand all
    void N4Click(); // collapse all
    void mnuShowNumberOfFilesClick();
    void mnuExportFolderTreeClick();
    void mnuExportFileListClick();
    // Save the current result as an ncdu export, or every entry as CSV, where the user chooses.
    void ExportFolderTree();
    void ExportFileList();
    // `<searched folder>-YYYYMMDD<extension>`, today's date.
    [[nodiscard]] std::string DefaultExportName(const char* extension) const;

    // State, for the widgets, the file commands and the tests.
    [[nodiscard]] IEngine& Engine() const { return m_engine; }
    [[nodiscard]] FolderTree& Tree() { return m_tree; }
    [[nodiscard]] const FolderTree& Tree() const { return m_tree; }
    [[nodiscard]] const ResultGrid& Grid() const { return m_grid; }
    [[nodiscard]] int RecordCount() const { return m_recordCount; }
    [[nodiscard]] const std::vector<FolderRecord*>& FolderRecords() const {
        return m_folderRecords;
    }
    [[nodiscard]] int SortState() const { return m_sortState; }
    [[nodiscard]] Node* ShownNode() const { return m_tree.Resolve(m_shownNode); }
    [[nodiscard]] int ShownRowCount() const { return m_shownRowCount; }
    [[nodiscard]] const std::vector<bool>& RowMarks() const { return m_rowMarks; }
    [[nodiscard]] FolderTreeNodeRef LastSelectedNode() const { return m_lastSelectedNode; }
    // Grid row r's marking as drawn (r >= 1).
    [[nodiscard]] bool RowMarked(int row) const;

    // The other windows that follow the tree and the grid, told in the order they were added
    // (not owned; each must be removed before it goes).
    void AddWatcher(IResultViewsWatcher* watcher);
    void RemoveWatcher(IResultViewsWatcher* watcher);

    // For tests: make the next allocation of the named buffer fail.
    void FailNextAllocationForTest(bool folderRecords, bool rowMarks) {
        m_failFolderRecords = folderRecords;
        m_failRowMarks = rowMarks;
    }

private:
    // The tree's nodes go: so does a load in progress.
    void ClearTree();
    void StartTreeLoad();
    void StopTreeLoad();
    void ScheduleTreeSlice();
    // Loads the first live folder of the queue's children and queues its folders; false when
    // none was left.
    bool LoadQueuedFolder(std::deque<Node*>& queue);
    Node* WalkToFolder(const std::string& path, bool reveal);
    // True when there is a result to save; otherwise the user is told so.
    bool HasResultToExport();
    void SetSortMenu(int state);
    void ShowMarkSummary();
    // The mark entry of grid row r (r >= 1, as RowMarked); the caller has checked the range.
    [[nodiscard]] std::vector<bool>::reference RowMark(int row) {
        return m_rowMarks[static_cast<std::size_t>(ResultGrid::DataIndexOf(row))];
    }
    // After entries went or came: the captions of these folders and of every folder above
    // them, and the order of their children, follow the records' new figures.
    void RefreshFolders(const std::vector<Node*>& changed);
    // How far a record's folder was read (DVO_FOLDER_*; READ for other entries), and the note
    // its caption and name cell carry when it was not read whole ("" if read).
    [[nodiscard]] int FolderState(const FolderRecord& record) const;
    [[nodiscard]] static std::string FolderNote(int state);
    void ApplyColumnZeroWidth(int panelWidth);
    // The tree in state's order and the grid's titles to match, without the listing.
    void ReorderFolderTree(int state);
    // Sorts every level in the order of state (none: leaves the order as it is).
    void SortWholeTree(int state);
    // The comparison of an order and its context for FolderTree; no comparison for kSortNone.
    [[nodiscard]] FolderTree::Compare CompareFor(int state) const;
    std::string EngineText(int (IEngine::*format)(char16_t*, int, long long), long long value);

    IWindowServices& m_window;
    IEngine& m_engine;
    IResultView& m_view;

    FolderTree m_tree;
    ResultGrid m_grid;
    std::vector<FolderRecord*> m_folderRecords;
    int m_recordCount = 0;
    int m_removedFolderRecords = 0; // folder records deleted or moved away since the search
    FolderRecord* m_rootRecord = nullptr;
    FolderTreeNodeRef m_lastSelectedNode;
    int m_sortState = kSortSizeDescending;
    FolderTreeNodeRef m_shownNode;
    int m_shownRowCount = 0;
    std::vector<bool> m_rowMarks; // m_rowMarks[i] belongs to data row i (ResultGrid::GridRowOf)
    TreeFontStyle m_treeFontStyle = TreeFontStyle::Regular;
    CaptionCollation m_collation;
    bool m_collationConcurrent = true; // the default, strcoll_l, is safe on any thread
    std::vector<IResultViewsWatcher*> m_watchers;
    bool m_loading = false;
    std::deque<Node*> m_loadQueue;      // folders whose children's children are still to load
    std::uint64_t m_loadGeneration = 0; // a slice of an earlier load finds another number
    bool m_failFolderRecords = false;
    bool m_failRowMarks = false;
    // While the engine reads a folder again it lists no records: nothing is loaded meanwhile.
    bool m_rescanning = false;
    FolderTreeNodeRef m_rescanNode;
};

} // namespace dvo::app
