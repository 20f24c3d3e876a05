#pragma once
// The folder tree and the contents grid as the search flow drives them: cleared when a search
// starts, filled from the engine's records when it has ended.
namespace dvo::app {

class IResultViews {
public:
    virtual ~IResultViews() = default;
    virtual void ClearFolderTree() = 0;  // delete every node of the tree
    virtual void ResetRecordCount() = 0; // RecordCount := 0
    virtual void ResetResultGrid() = 0;  // title row and one empty row
    virtual void ResetShownNode() = 0;   // the grid shows no folder
    virtual void EmptyRowMarks() = 0;    // no row has a mark entry any more
    virtual void LoadFolderRecords() = 0;
    virtual void BuildFolderTree() = 0;
    virtual void ShowTotals() = 0;
    virtual void FormResize() = 0; // the grid's share of a window resize
    // The engine counts sizes another way now: the tree's order, the grid, the totals and the
    // windows that follow them show the records' new figures.
    virtual void SizeCountChanged() = 0;
};

} // namespace dvo::app
