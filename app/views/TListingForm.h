#pragma once
// The logic of the three listing windows over the current result: the largest files ("大きい
// ファイル"), the totals by kind of file ("種類別") and by year of modification ("更新年別").
// Each window is one TListingForm of its kind. It keeps its rows as texts made when it was
// filled, so painting never reads a record while a file operation may change it, and it fills
// them again when the result changes: a new search, a switch of the size count, a delete or a
// move. A hidden window is filled when shown.
#include "app/main/IWindowServices.h"
#include "app/views/IListingSource.h"
#include "app/views/IListingView.h"
#include "app/views/IResultViewsWatcher.h"
#include "app/views/ResultViews.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dvo::app {

enum class ListingKind { LargestFiles, Types, Years };

class TListingForm final : public IResultViewsWatcher {
public:
    static constexpr int kLargestFileCount = 1000;
    static constexpr int kColumnCount = 4;
    static constexpr const char* kTextBeforeSearch = "検索を実行すると一覧を表示します";
    static constexpr const char* kTextSearching = "検索中です";

    // Told of the kind clicked in the kinds window (nullptr: none any more), for the treemap.
    using KindChosen = std::function<void(const std::u16string* extension)>;

    // All four must outlive this object; it does not register itself with results.
    TListingForm(ListingKind kind, IWindowServices& window, ResultViews& results,
                 IListingSource& source, IListingView& view);

    void SetKindChosen(KindChosen chosen) { m_kindChosen = std::move(chosen); }

    // The menu item: fills the list from the current result and shows the window.
    void mnuListingClick();
    // The window was closed from its frame: it is filled again when next shown.
    void FormClose();
    // A click and a double click on list row `row` (0 = the first row).
    void lsListingClick(int row);
    void lsListingDblClick(int row);

    // IResultViewsWatcher
    void TreeCleared() override;
    void TreeBuilt() override;
    void ShownFolderChanged() override;
    void FileOperationStarted() override;
    void FileOperationEnded() override;
    void SizesChanged() override;

    // What the Qt window shows.
    [[nodiscard]] ListingKind Kind() const { return m_kind; }
    [[nodiscard]] const char* Title() const;
    [[nodiscard]] const char* ColumnTitle(int column) const;
    [[nodiscard]] int RowCount() const { return static_cast<int>(m_rows.size()); }
    [[nodiscard]] std::string CellText(int row, int column) const;
    [[nodiscard]] bool RightAligned(int column) const;
    // The kinds window's swatch: the treemap's colour (0xRRGGBB) of the row's kind.
    [[nodiscard]] std::optional<std::uint32_t> RowColour(int row) const;
    // The years window's bar in the ratio column, 0 to 1 of its width (the largest year fills
    // it); nothing in the other windows.
    [[nodiscard]] std::optional<double> BarLength(int row) const;
    [[nodiscard]] int BarColumn() const { return m_kind == ListingKind::Years ? 3 : -1; }
    [[nodiscard]] const std::string& SummaryText() const { return m_summary; }
    [[nodiscard]] bool Visible() const { return m_visible; }
    // True when the rows are those of the current result as it is counted now.
    [[nodiscard]] bool Current() const { return !m_stale; }

private:
    struct Row {
        std::string cells[kColumnCount];
        FolderRecord* record = nullptr; // the largest files' entry; engine-owned
        std::string folder;             // the folder that holds it (bytes)
        std::u16string extension;       // the kinds window's group
        long long bytes = 0;
    };
    enum class State { BeforeSearch, Searching, Ready };

    // Fills the rows again when the window is shown and they are stale.
    void Refresh();
    void Fill();
    void FillLargestFiles();
    void FillGroups();
    void SetSummary(std::string text);
    [[nodiscard]] std::string SizeText(long long bytes) const;

    ListingKind m_kind;
    IWindowServices& m_window;
    ResultViews& m_results;
    IListingSource& m_source;
    IListingView& m_view;
    KindChosen m_kindChosen;

    State m_state = State::BeforeSearch;
    bool m_visible = false;
    bool m_stale = true;
    bool m_operationRunning = false; // the engine may be changing records: no reads
    std::vector<Row> m_rows;
    long long m_largestBytes = 0; // the years window's longest bar
    std::string m_summary;
};

} // namespace dvo::app
