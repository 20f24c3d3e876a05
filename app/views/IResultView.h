#pragma once
// What the result views (folder tree, contents grid, sort menu) ask of their widgets. Plain std
// types: the Qt window carries it out in the program, a recording fake in the tests. The grid's
// cells themselves are kept by the logic (ResultGrid) and only shown by the widget.
#include "app/views/FolderTree.h"
#include "app/views/ProgressSink.h"

#include <functional>
#include <optional>
#include <span>
#include <string>

namespace dvo::app {

// Menu items whose check marks the result views read or set.
enum class MenuCheck {
    TreeAtOnce,        // "一括表示"
    TreeProgress,      // "逐次表示"
    ShowNumberOfFiles, // "ファイル数表示"
    SortNone,          // "なし"
    SortSizeUp,        // "サイズ(昇順)"
    SortSizeDown,      // "サイズ(降順)"
    SortAlpha,         // "アルファベット(昇順)"
    SortAlphaDown,     // "アルファベット(降順)"
};

// An item of the grid's pop-up menu; hidden items are built but not shown.
struct GridMenuItem {
    const char* caption;
    const char* name;
    bool shown;
    bool enabled = true; // false: shown greyed, nothing to act on
};

class IResultView {
public:
    virtual ~IResultView() = default;

    // Folder tree. Between Begin and End the widget does not repaint.
    virtual void BeginTreeUpdate() = 0;
    virtual void EndTreeUpdate() = 0;
    // The tree's current node (where selection and arrow keys start); nullptr when none.
    [[nodiscard]] virtual FolderTreeNode* CurrentTreeNode() const = 0;
    // Makes node current. With autoExpand the node expands as it becomes current, which runs
    // the expanding handler first.
    virtual void SetCurrentTreeNode(FolderTreeNode* node, bool autoExpand) = 0;
    // Draws the current node selected or not; it stays current either way.
    virtual void SetTreeSelectionVisible(bool visible) = 0;
    // Shows every node with children expanded, or every node collapsed. The logic has already
    // loaded what the expansion needs, so the widget runs no expanding handler for these.
    virtual void ExpandAllTreeNodes() = 0;
    virtual void CollapseAllTreeNodes() = 0;

    // Around a slice of a tree loaded in the background: the widget lays its rows out once
    // afterwards instead of at each folder's children.
    virtual void BeginTreeAppend() = 0;
    virtual void EndTreeAppend() = 0;
    // Runs slice on the GUI thread once the events waiting now (repaints, input) have been
    // handled; dropped when the view goes first.
    virtual void ScheduleTreeSlice(std::function<void()> slice) = 0;
    // After the tree's levels were reordered: runs then on the GUI thread once the widget has
    // laid its rows out anew, each in an event of its own (a million shown rows take the widget
    // a tenth of a second, which then does not add to the sort's); dropped when the view goes
    // first.
    virtual void AfterTreeLayout(std::function<void()> then) = 0;

    // Contents grid.
    virtual void BeginGridUpdate() = 0;
    virtual void EndGridUpdate() = 0; // shows the grid's new content
    virtual void RepaintGrid() = 0;
    [[nodiscard]] virtual int GridWidth() const = 0; // the grid's client width
    [[nodiscard]] virtual int GridLineWidth() const = 0;
    // Rows here are grid rows: 0 the title row, data rows from 1 (ResultGrid::GridRowOf).
    [[nodiscard]] virtual int GridTopRow() const = 0; // first visible data row (1-based)
    virtual void SetGridTopRow(int row) = 0;
    [[nodiscard]] virtual int GridVisibleRowCount() const = 0; // fully visible data rows
    // The grid row under the mouse pointer: 0 the title row, 1.. data rows, -1 outside.
    [[nodiscard]] virtual int GridRowUnderPointer() const = 0;
    // The grid's current data row (where the keyboard is), 1-based; 0 when none.
    [[nodiscard]] virtual int GridCurrentRow() const = 0;
    // Makes data row `row` (1-based) current and selected, as a click on it would show it.
    virtual void SetGridCurrentRow(int row) = 0;

    // The splitter between tree and grid, and the result group box, in the group's pixels.
    //
    // The resize contract: on every resize (the splitter moved, the window resized, the grid's
    // own width changed) the logic places the grid panel at
    //     left  = SplitterLeft() + SplitterWidth() + 1
    //     width = ResultGroupWidth() - SplitterLeft() - 1
    // through SetGridPanelBounds, then gives column 0 what columns 1 to 3 leave of that width
    // (those keep the widths the user dragged, GridColumnResized). A view whose layout already
    // places the grid answers the three figures so that `width` is the grid's visible client
    // width, and may ignore SetGridPanelBounds. A new grid (ResetResultGrid) instead starts
    // column 0 at GridWidth() - 3 * GridLineWidth() less the other three.
    [[nodiscard]] virtual int SplitterLeft() const = 0;
    [[nodiscard]] virtual int SplitterWidth() const = 0;
    [[nodiscard]] virtual int ResultGroupWidth() const = 0;
    virtual void SetGridPanelBounds(int left, int width) = 0;

    // Opens the grid's pop-up menu at the pointer and waits for a choice: the index of the
    // chosen item, or -1 when the menu was closed without one.
    virtual int PopupGridMenu(std::span<const GridMenuItem> items) = 0;
    // The modal folder dialog for the destination of a copy or move, starting at initialFolder;
    // nothing when the user cancels, or after an error box when the chosen folder cannot be
    // handed back exactly.
    [[nodiscard]] virtual std::optional<std::string>
    SelectDestinationFolder(const std::string& title, const std::string& initialFolder) = 0;
    // The modal dialog that asks where to save a file, proposing defaultName in the folder last
    // saved to (the home folder at first); nothing when the user cancels. filter names the kind
    // of file ("CSV (*.csv)"); an existing file is replaced only after the dialog has asked.
    [[nodiscard]] virtual std::optional<std::string> SelectSaveFile(const std::string& title,
                                                                    const std::string& defaultName,
                                                                    const std::string& filter) = 0;
    // The top-level window's id, handed to the engine as the owner of what it opens.
    [[nodiscard]] virtual unsigned long long WindowHandle() const = 0;
    // Runs `work` on a thread of its own behind a progress dialog with the given title and a
    // "キャンセル" button, modal to the whole program, and returns work's result once it has
    // finished. The window goes on repainting meanwhile; the dialog never closes before work
    // returns (a cancel is only asked for through the sink).
    virtual int RunWithProgress(const std::string& title,
                                std::function<int(ProgressSink&)> work) = 0;
    // Queues `work` to run on the GUI thread after the running handler. Callable from any thread
    // while this view exists (GuiMailbox guards the calls that may come later).
    virtual void PostToGuiThread(std::function<void()> work) = 0;

    [[nodiscard]] virtual bool IsMenuChecked(MenuCheck item) const = 0;
    virtual void SetMenuChecked(MenuCheck item, bool checked) = 0;
};

} // namespace dvo::app
