#include "app/views/TCompareForm.h"

#include "app/main/EngineErrorText.h"
#include "app/views/BusyCursor.h"
#include "platform/Text.h"

#include <algorithm>
#include <climits>

namespace dvo::app {
namespace {

constexpr const char* kFilter = "ncdu JSON (*.json);;すべてのファイル (*)";

unsigned long long Magnitude(long long d) {
    return d < 0 ? static_cast<unsigned long long>(-(d + 1)) + 1
                 : static_cast<unsigned long long>(d);
}

// The path of the folder that holds an entry ("/" for an entry of the root).
std::string ParentPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return path;
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

long long CompareRow::Delta() const {
    long long delta = 0;
    if (__builtin_sub_overflow(after, before, &delta))
        return after > before ? LLONG_MAX : LLONG_MIN;
    return delta;
}

TCompareForm::TCompareForm(IWindowServices& window, ResultViews& results, ICompareView& view)
    : m_window(window), m_results(results), m_view(view) {}

void TCompareForm::mnuCompareClick() {
    m_window.LogUserAction(kMenuLogText);
    const std::string now = m_results.SearchedFolderPath();
    if (now.empty()) {
        m_window.ShowMessageDlg(
            "比べる検索結果がありません。先に検索するか検索結果を開いてください。",
            MessageKind::Information, MessageButton::OK);
        return;
    }
    const auto file = m_view.SelectExportFile("前回と比較", kFilter);
    if (!file)
        return;

    std::vector<CompareRow> rows;
    char16_t root[4096] = {};
    int result = 0;
    {
        const BusyCursor busy(m_window);
        const auto sink = [](const DVOChange* c, void* context) -> int {
            static_cast<std::vector<CompareRow>*>(context)->push_back(
                {platform::Utf16ToUtf8(c->path), c->before, c->after, c->kind == DVO_KIND_FOLDER,
                 c->change});
            return 0;
        };
        result = m_results.Engine().DVOCompareResult(platform::Utf8ToUtf16(*file).c_str(), root,
                                                     static_cast<int>(sizeof root), sink, &rows);
    }
    if (result < 0) {
        std::string reason = EngineErrorText(m_results.Engine());
        if (reason.empty())
            reason = std::to_string(result);
        m_window.ShowMessageDlg("比較できませんでした。\n" + *file + "\n" + reason,
                                MessageKind::Error, MessageButton::OK);
        return;
    }
    // Another folder's export lists everything as new and vanished: ask before showing that.
    const std::string before = platform::Utf16ToUtf8(root);
    if (before != now &&
        m_window.ShowMessageDlg("別のフォルダの検索結果です。\n前回: " + before + "\n今回: " + now +
                                    "\n比較しますか？",
                                MessageKind::Confirmation, MessageButton::Yes | MessageButton::No,
                                MessageResult::No) != MessageResult::Yes)
        return;

    // The root's own change is the total on top, not a row.
    long long totalBefore = 0;
    long long totalAfter = 0;
    bool rootChanged = false;
    const auto rootRow =
        std::find_if(rows.begin(), rows.end(), [&](const CompareRow& r) { return r.path == now; });
    if (rootRow != rows.end()) {
        totalBefore = rootRow->before;
        totalAfter = rootRow->after;
        rootChanged = true;
        rows.erase(rootRow);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const CompareRow& a, const CompareRow& b) {
        const auto ma = Magnitude(a.Delta());
        const auto mb = Magnitude(b.Delta());
        return ma != mb ? ma > mb : a.path < b.path;
    });
    m_rows = std::move(rows);
    if (rootChanged) {
        const CompareRow total{now, totalBefore, totalAfter, true, DVO_CHANGE_SIZE};
        m_summary = "合計の変化: " + DeltaText(total.Delta()) + "（前回 " + SizeText(totalBefore) +
                    " → 今回 " + SizeText(totalAfter) + "）";
    } else {
        m_summary = "合計の変化: なし";
    }
    m_summary +=
        "　変化した項目: " + std::to_string(m_rows.size()) + "　比較したファイル: " + *file;
    m_view.SetSummaryText(m_summary);
    m_view.RowsChanged();
    m_view.ShowWindow();
}

void TCompareForm::lsChangesDblClick(int row) {
    if (row < 0 || row >= RowCount())
        return;
    const CompareRow& r = m_rows[static_cast<std::size_t>(row)];
    // A vanished entry's folder may be gone too: the deepest folder still there is selected.
    const std::string folder =
        r.folder && r.change != DVO_CHANGE_GONE ? r.path : ParentPath(r.path);
    m_results.SelectTreeNode(m_results.RevealFolderNode(folder));
}

const char* TCompareForm::ColumnTitle(int column) {
    static constexpr const char* kTitles[kColumnCount] = {"パス", "前回のサイズ", "今回のサイズ",
                                                          "変化", "区分"};
    return column >= 0 && column < kColumnCount ? kTitles[column] : "";
}

std::string TCompareForm::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount())
        return {};
    const CompareRow& r = m_rows[static_cast<std::size_t>(row)];
    switch (column) {
    case 0: return r.folder ? r.path + "/" : r.path;
    case 1: return r.change == DVO_CHANGE_NEW ? "" : SizeText(r.before);
    case 2: return r.change == DVO_CHANGE_GONE ? "" : SizeText(r.after);
    case 3: return DeltaText(r.Delta());
    case 4: return r.change == DVO_CHANGE_NEW ? "新規" : r.change == DVO_CHANGE_GONE ? "削除" : "";
    default: return {};
    }
}

std::string TCompareForm::SizeText(long long bytes) const {
    char16_t buffer[DVO_DISPLAY_TEXT_UNITS] = {};
    m_results.Engine().DVOFileSize2String(buffer, static_cast<int>(sizeof buffer), bytes);
    return platform::Utf16ArrayToUtf8(buffer, DVO_DISPLAY_TEXT_UNITS);
}

std::string TCompareForm::DeltaText(long long delta) const {
    if (delta == 0)
        return "0";
    const long long magnitude = delta == LLONG_MIN ? LLONG_MAX : (delta < 0 ? -delta : delta);
    return (delta > 0 ? "+" : "-") + SizeText(magnitude);
}

} // namespace dvo::app
