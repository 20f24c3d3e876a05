#include "app/views/TListingForm.h"

#include "app/main/EngineErrorText.h"
#include "app/views/BusyCursor.h"
#include "app/views/FileExtension.h"
#include "app/views/TreemapKinds.h"
#include "platform/Text.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace dvo::app {
namespace {

struct KindTexts {
    const char* title;
    const char* menuLog;
    const char* columns[TListingForm::kColumnCount];
};

constexpr KindTexts kTexts[] = {
    {"大きいファイル", "ﾒﾆｭｰ:大きいﾌｧｲﾙ 選択", {"順位", "サイズ", "更新日時", "パス"}},
    {"種類別", "ﾒﾆｭｰ:種類別 選択", {"拡張子", "件数", "サイズ", "比率"}},
    {"更新年別", "ﾒﾆｭｰ:更新年別 選択", {"年", "件数", "サイズ", "比率"}},
};

const KindTexts& TextsOf(ListingKind kind) { return kTexts[static_cast<int>(kind)]; }

// A share of the whole with one decimal, "0.0%" when the whole is empty.
std::string PercentText(long long part, long long whole) {
    const double share =
        whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", share);
    return text;
}

std::u16string_view RecordName(const FolderRecord& r) {
    std::size_t length = 0;
    while (length < DVO_NAME_UNITS && r.name[length] != u'\0')
        ++length;
    return {r.name, length};
}

} // namespace

TListingForm::TListingForm(ListingKind kind, IWindowServices& window, ResultViews& results,
                           IListingSource& source, IListingView& view)
    : m_kind(kind), m_window(window), m_results(results), m_source(source), m_view(view) {}

const char* TListingForm::Title() const { return TextsOf(m_kind).title; }

const char* TListingForm::ColumnTitle(int column) const {
    return column >= 0 && column < kColumnCount ? TextsOf(m_kind).columns[column] : "";
}

bool TListingForm::RightAligned(int column) const {
    // The path and the extension read from the left; ranks, counts, sizes, shares and years
    // line up on the right.
    if (m_kind == ListingKind::LargestFiles)
        return column == 0 || column == 1;
    return column >= 1 && column < kColumnCount;
}

void TListingForm::mnuListingClick() {
    m_window.LogUserAction(TextsOf(m_kind).menuLog);
    m_visible = true;
    Refresh();
    m_view.ShowWindow();
}

void TListingForm::FormClose() { m_visible = false; }

// ---- following the result views ------------------------------------------------------------

void TListingForm::TreeCleared() {
    // The records go with the tree: no row may keep one.
    m_state = State::Searching;
    m_stale = true;
    m_rows.clear();
    if (m_kind == ListingKind::Types && m_kindChosen)
        m_kindChosen(nullptr);
    SetSummary(kTextSearching);
    m_view.RowsChanged();
}

void TListingForm::TreeBuilt() {
    m_state = State::Ready;
    m_stale = true;
    Refresh();
}

// Another folder in the grid changes nothing of the whole result's listings.
void TListingForm::ShownFolderChanged() {}

void TListingForm::SizesChanged() {
    m_stale = true;
    Refresh();
}

void TListingForm::FileOperationStarted() { m_operationRunning = true; }

void TListingForm::FileOperationEnded() {
    m_operationRunning = false;
    m_stale = true;
    Refresh();
}

// ---- the rows -------------------------------------------------------------------------------

void TListingForm::Refresh() {
    if (!m_visible || !m_stale || m_operationRunning)
        return;
    if (m_state == State::Ready) {
        Fill();
    } else {
        m_rows.clear();
        SetSummary(m_state == State::BeforeSearch ? kTextBeforeSearch : kTextSearching);
    }
    m_view.RowsChanged();
}

void TListingForm::Fill() {
    const BusyCursor busy(m_window);
    m_stale = false;
    m_rows.clear();
    m_largestBytes = 0;
    if (m_kind == ListingKind::Types && m_kindChosen)
        m_kindChosen(nullptr); // the list's selection goes with its rows
    if (m_kind == ListingKind::LargestFiles)
        FillLargestFiles();
    else
        FillGroups();
}

void TListingForm::FillLargestFiles() {
    std::vector<FolderRecord*> files;
    const int listed = m_source.LargestFiles(files, kLargestFileCount);
    if (listed < 0) {
        std::string reason = EngineErrorText(m_results.Engine());
        SetSummary("一覧を作れませんでした: " +
                   (reason.empty() ? "エラーコード " + std::to_string(listed) : reason));
        return;
    }
    files.resize(std::min(files.size(), static_cast<std::size_t>(listed)));
    m_rows.reserve(files.size());
    for (FolderRecord* r : files) {
        if (r == nullptr)
            continue;
        Row row;
        row.record = r;
        row.bytes = r->size;
        row.folder = r->directory != nullptr ? platform::Utf16ToUtf8(r->directory) : "";
        std::string path = row.folder;
        if (path.empty() || path.back() != '/')
            path += '/';
        path += platform::Utf16ToUtf8(RecordName(*r));
        row.cells[0] = std::to_string(m_rows.size() + 1);
        row.cells[1] = SizeText(r->size);
        char16_t time[DVO_DISPLAY_TEXT_UNITS] = {};
        m_results.Engine().DVOSystemTime2String(time, static_cast<int>(sizeof time),
                                                &r->modifiedTime);
        row.cells[2] = platform::Utf16ArrayToUtf8(time, DVO_DISPLAY_TEXT_UNITS);
        row.cells[3] = std::move(path);
        m_rows.push_back(std::move(row));
    }
    SetSummary(m_rows.empty() ? std::string("ファイルがありません")
                              : "大きい順に " + std::to_string(m_rows.size()) + " 件");
}

void TListingForm::FillGroups() {
    std::vector<ListingGroup> groups;
    const bool types = m_kind == ListingKind::Types;
    const int listed = types ? m_source.TypeTotals(groups) : m_source.YearTotals(groups);
    if (listed < 0) {
        std::string reason = EngineErrorText(m_results.Engine());
        SetSummary("一覧を作れませんでした: " +
                   (reason.empty() ? "エラーコード " + std::to_string(listed) : reason));
        return;
    }
    long long total = 0;
    for (const ListingGroup& g : groups) {
        total = __builtin_add_overflow(total, g.bytes, &total) ? LLONG_MAX : total;
        m_largestBytes = std::max(m_largestBytes, g.bytes);
    }
    m_rows.reserve(groups.size());
    for (ListingGroup& g : groups) {
        Row row;
        row.bytes = g.bytes;
        const std::string name = platform::Utf16ToUtf8(g.name);
        row.cells[0] = !name.empty() ? name : types ? "（なし）" : "不明";
        row.cells[1] = std::to_string(g.count);
        row.cells[2] = SizeText(g.bytes);
        row.cells[3] = PercentText(g.bytes, total);
        row.extension = std::move(g.name);
        m_rows.push_back(std::move(row));
    }
    if (m_rows.empty())
        SetSummary("ファイルがありません");
    else
        SetSummary(std::to_string(m_rows.size()) + (types ? " 種類" : " 年") + "　合計 " +
                   SizeText(total));
}

std::string TListingForm::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= kColumnCount)
        return {};
    return m_rows[static_cast<std::size_t>(row)].cells[column];
}

std::optional<std::uint32_t> TListingForm::RowColour(int row) const {
    if (m_kind != ListingKind::Types || row < 0 || row >= RowCount())
        return std::nullopt;
    // The treemap colours by its own table of extensions: a name with this extension gets the
    // colour it draws such entries in ("x." has none, which the treemap shows as other).
    const std::u16string name = u"x." + m_rows[static_cast<std::size_t>(row)].extension;
    return FileGroupColour(FileGroupOf(name, DVO_KIND_FILE));
}

std::optional<double> TListingForm::BarLength(int row) const {
    if (m_kind != ListingKind::Years || row < 0 || row >= RowCount())
        return std::nullopt;
    if (m_largestBytes <= 0)
        return 0.0;
    return static_cast<double>(m_rows[static_cast<std::size_t>(row)].bytes) /
           static_cast<double>(m_largestBytes);
}

void TListingForm::lsListingClick(int row) {
    if (m_kind != ListingKind::Types || !m_kindChosen)
        return;
    if (row < 0 || row >= RowCount())
        m_kindChosen(nullptr);
    else
        m_kindChosen(&m_rows[static_cast<std::size_t>(row)].extension);
}

void TListingForm::lsListingDblClick(int row) {
    if (m_kind != ListingKind::LargestFiles || row < 0 || row >= RowCount() || m_operationRunning ||
        m_stale)
        return;
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    m_results.SelectEntry(m_results.RevealFolderNode(r.folder), r.record);
}

void TListingForm::SetSummary(std::string text) {
    m_summary = std::move(text);
    m_view.SetSummaryText(m_summary);
}

std::string TListingForm::SizeText(long long bytes) const {
    char16_t buffer[DVO_DISPLAY_TEXT_UNITS] = {};
    m_results.Engine().DVOFileSize2String(buffer, static_cast<int>(sizeof buffer), bytes);
    return platform::Utf16ArrayToUtf8(buffer, DVO_DISPLAY_TEXT_UNITS);
}

} // namespace dvo::app
