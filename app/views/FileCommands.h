#pragma once
// The grid's file commands: its pop-up menu, and open, print, delete, copy and move on the
// marked rows (or, with none marked, on the row the menu was opened on). It asks the user, runs
// the engine's operation row by row, and has the result views drop, add and relist the entries
// that went or came. It keeps only the pop-up menu's row and where the destination dialog
// starts; the tree, the grid and the marks belong to ResultViews.
#include "app/main/IEngine.h"
#include "app/main/IWindowServices.h"
#include "app/views/IResultView.h"
#include "app/views/ResultViews.h"
#include "app/views/ShellRequests.h"

#include <array>
#include <string>
#include <vector>

namespace dvo::app {

class FileCommands {
public:
    // File operation codes: the shell operations go to the engine unchanged.
    static constexpr int kOpEdit = DVO_OP_SHOW;
    static constexpr int kOpExplorer = DVO_OP_SHOW;
    static constexpr int kOpOpen = DVO_OP_OPEN;
    static constexpr int kOpPrint = DVO_OP_PRINT;
    static constexpr int kOpProperty = DVO_OP_PROPERTIES;
    static constexpr int kOpDelete = 5;
    static constexpr int kOpCopy = 6;
    static constexpr int kOpMove = 7;
    // The grid's pop-up menu, in menu order.
    static constexpr std::array<GridMenuItem, 8> kGridMenu{{
        {"編集", "mnuEdit", false},
        {"エクスプローラ", "mnuExplorer", false},
        {"開く", "mnuOpen", true},
        {"印刷", "mnuPrint", true},
        {"プロパティ", "mnuProperty", false},
        {"削除", "mnuDelete", true},
        {"コピー", "mnuCopy", true},
        {"移動", "mnuMove", true},
    }};

    // A grid row's entry as the engine knows it.
    struct RowFile {
        std::u16string name;
        std::u16string directory;
        bool folder = false;
    };

    // All four must outlive this object.
    FileCommands(IWindowServices& window, IEngine& engine, IResultView& view, ResultViews& results);

    void lsSearchResultContextPopup(); // a right click over the grid
    void mnuEditClick();
    void mnuExplorerClick();
    void mnuOpenClick();
    void mnuPrintClick();
    void mnuPropertyClick();
    void mnuDeleteClick();
    void mnuCopyClick();
    void mnuMoveClick();
    void RunFileOperation(int code);
    // The rows a file operation acts on: the marked ones, or with none marked the row the
    // pop-up menu was opened on.
    [[nodiscard]] std::vector<int> TargetRows() const;
    [[nodiscard]] RowFile GetRowFile(int row) const;
    // Asks prefix + directory + "/" + name + suffix (Yes, No, Cancel, Yes to all); the answer.
    int ConfirmFileAction(const std::string& prefix, const std::string& suffix,
                          const std::u16string& name, const std::u16string& directory);

private:
    // Each returns false when the user ended the rest of the batch.
    // done tells whether the entry is gone from disk.
    bool DeleteEntry(const RowFile& file, const FolderRecord* record, bool batch, bool& done);
    bool ShowFileError(const RowFile& file, int result, bool batch);

    IWindowServices& m_window;
    IEngine& m_engine;
    IResultView& m_view;
    ResultViews& m_results;
    ShellRequests m_shell; // the helpers of open and print, whose failures come back later

    int m_contextRow = 0; // the data row the open pop-up menu belongs to, 0 when none
    std::string m_destinationFolder = "/"; // where the destination dialog starts next time
};

} // namespace dvo::app
