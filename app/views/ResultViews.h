#pragma once
// The result views' logic: the engine's records as a folder tree (built at once or
// progressively), its orders, and the contents grid of the selected folder with its row marks.
// It owns their state and asks IResultView for every widget operation; the window services
// (status text, busy cursor, message box) come from the main form.
#include "app/main/IEngine.h"
#include "app/main/IResultViews.h"
#include "app/views/FolderTree.h"
#include "app/views/IResultView.h"
#include "app/views/ResultGrid.h"

#include <optional>
#include <string>
#include <vector>

namespace dvo::app {

class TMainForm;

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

    // All three must outlive this object.
    ResultViews(TMainForm& form, IEngine& engine, IResultView& view);

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

    // Folder tree.
    void LoadChildNodes(Node* node);
    void AddNodesAtOnce(int& index, int& depth, Node* node);
    [[nodiscard]] std::string MakeNodeCaption(const FolderRecord& record) const;
    void SearchResultTreeExpanding(Node* node);
    // The style a node is painted with; kinds other than folder and file keep the style of the
    // node painted before.
    TreeFontStyle SearchResultTreeCustomDrawItem(const Node* node);
    void SearchResultTreeKeyUp(int virtualKey);
    void SearchResultTreeMouseDown();
    void ShowSelectedFolder();

    // Orders.
    void SortFolderTree(int state);
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
    void ToggleRowMark(int row);
    void ClearRowMarks();
    // The fill colour of a cell, or nothing where the grid draws the cell its own way.
    [[nodiscard]] std::optional<Rgb> lsSearchResultDrawCell(int column, int row) const;
    void lsSearchResultClick();
    bool lsSearchResultMouseWheelDown();
    bool lsSearchResultMouseWheelUp();
    void spSearchResultMoved();
    // The user dragged a column border: the width is kept for the resize rules.
    void GridColumnResized(int column, int width);

    // State, for the widgets and the tests.
    [[nodiscard]] FolderTree& Tree() { return m_tree; }
    [[nodiscard]] const FolderTree& Tree() const { return m_tree; }
    [[nodiscard]] const ResultGrid& Grid() const { return m_grid; }
    [[nodiscard]] int RecordCount() const { return m_recordCount; }
    [[nodiscard]] const std::vector<FolderRecord*>& FolderRecords() const { return m_folderRecords; }
    [[nodiscard]] FolderRecord* RootRecord() const { return m_rootRecord; }
    [[nodiscard]] int SortState() const { return m_sortState; }
    [[nodiscard]] Node* ShownNode() const { return m_tree.Resolve(m_shownNode); }
    [[nodiscard]] int ShownRowCount() const { return m_shownRowCount; }
    [[nodiscard]] const std::vector<bool>& RowMarks() const { return m_rowMarks; }
    [[nodiscard]] FolderTreeNodeRef LastSelectedNode() const { return m_lastSelectedNode; }
    // Grid row r's marking as drawn (r >= 1).
    [[nodiscard]] bool RowMarked(int row) const;

    // For tests: make the next allocation of the named buffer fail.
    void FailNextAllocationForTest(bool folderRecords, bool rowMarks) {
        m_failFolderRecords = folderRecords;
        m_failRowMarks = rowMarks;
    }

private:
    void SetSortMenu(int state);
    void ApplyColumnZeroWidth(int panelWidth);
    std::string EngineText(int (IEngine::*format)(char16_t*, int, long long), long long value);

    TMainForm& m_form;
    IEngine& m_engine;
    IResultView& m_view;

    FolderTree m_tree;
    ResultGrid m_grid;
    std::vector<FolderRecord*> m_folderRecords;
    int m_recordCount = 0;
    FolderRecord* m_rootRecord = nullptr;
    FolderTreeNodeRef m_lastSelectedNode;
    int m_sortState = kSortSizeDescending;
    FolderTreeNodeRef m_shownNode;
    int m_shownRowCount = 0;
    std::vector<bool> m_rowMarks;
    TreeFontStyle m_treeFontStyle = TreeFontStyle::Regular;
    bool m_failFolderRecords = false;
    bool m_failRowMarks = false;
};

} // namespace dvo::app
