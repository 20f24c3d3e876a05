#pragma once
// The diagnostics window's logic: the times of the last search (scan, tree display, both) in
// seven labels, and a text area to which "一覧表示" appends one line per folder record of the
// last search. The program creates the window hidden and never shows it.
#include "app/main/ISearchTimings.h"
#include "app/main/ITestDataView.h"
#include "app/main/LongTimeFormat.h"
#include "engine/DVOSUB.h"

#include <algorithm>
#include <array>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace dvo::app {

// The folder records of the last search in the engine's pre-order; empty before any search.
using FolderRecordSource = std::function<std::span<FolderRecord* const>()>;

// The records held by anything with RecordCount() and FolderRecords() (the result views), read
// anew at each call. `views` must outlive the source.
template <class Views> [[nodiscard]] FolderRecordSource RecordsOf(const Views& views) {
    return [&views]() -> std::span<FolderRecord* const> {
        const auto& records = views.FolderRecords();
        const auto count = static_cast<std::size_t>(std::max(views.RecordCount(), 0));
        return std::span<FolderRecord* const>(records.data(), std::min(count, records.size()));
    };
}

class TTestData final : public ISearchTimings {
public:
    static constexpr const char* kInitialLabelText = "00:00";
    static constexpr const char* kInitialMemoLine = "DataCheck";

    // The view must outlive this object; it gets the initial texts from FormCreate.
    TTestData(ITestDataView& view, LongTimeFormat format, FolderRecordSource records);

    void FormCreate();

    // ISearchTimings: each moment shows its time and the durations it completes.
    void SearchStarted(const platform::LocalTime& start) override;
    void SearchEnded(const platform::LocalTime& end) override;
    void DisplayStarted(const platform::LocalTime& start) override;
    void DisplayEnded(const platform::LocalTime& end) override;

    void ListButtonClick();
    // Appends "name T:kind L:depth Sz:size" for every folder record of the last search.
    void DumpFolderRecords();
    [[nodiscard]] static std::string RecordLine(const FolderRecord& record);

    [[nodiscard]] const std::string& LabelText(TestDataLabel label) const {
        return m_labels[static_cast<std::size_t>(label)];
    }
    // What the program has put into the text area (the user's own edits stay in the widget).
    [[nodiscard]] const std::vector<std::string>& MemoLines() const { return m_memoLines; }

private:
    void SetLabel(TestDataLabel label, std::string text);

    ITestDataView& m_view;
    LongTimeFormat m_format;
    FolderRecordSource m_records;
    std::array<std::string, kTestDataLabelCount> m_labels;
    std::vector<std::string> m_memoLines;
    // Times of day in milliseconds after midnight.
    long long m_searchStart = 0;
    long long m_searchEnd = 0;
    long long m_showStart = 0;
};

} // namespace dvo::app
