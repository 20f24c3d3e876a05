#include "app/main/TTestData.h"

#include "platform/Text.h"

#include <iterator>

namespace dvo::app {
namespace {

long long MillisecondsOfDay(const platform::LocalTime& t) {
    return ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

} // namespace

TTestData::TTestData(ITestDataView& view, LongTimeFormat format, FolderRecordSource records)
    : m_view(view), m_format(std::move(format)), m_records(std::move(records)) {
    m_labels.fill(kInitialLabelText);
    m_memoLines.emplace_back(kInitialMemoLine);
}

void TTestData::FormCreate() {
    for (int i = 0; i < kTestDataLabelCount; ++i)
        m_view.SetLabelText(static_cast<TestDataLabel>(i), m_labels[static_cast<std::size_t>(i)]);
    m_view.AppendLines(m_memoLines);
}

void TTestData::SetLabel(TestDataLabel label, std::string text) {
    m_labels[static_cast<std::size_t>(label)] = std::move(text);
    m_view.SetLabelText(label, LabelText(label));
}

void TTestData::SearchStarted(const platform::LocalTime& start) {
    m_searchStart = MillisecondsOfDay(start);
    SetLabel(TestDataLabel::SearchStart, m_format.FormatTimeOfDay(m_searchStart));
}

void TTestData::SearchEnded(const platform::LocalTime& end) {
    m_searchEnd = MillisecondsOfDay(end);
    SetLabel(TestDataLabel::SearchEnd, m_format.FormatTimeOfDay(m_searchEnd));
    SetLabel(TestDataLabel::SearchDuration, m_format.FormatDuration(m_searchEnd - m_searchStart));
}

void TTestData::DisplayStarted(const platform::LocalTime& start) {
    m_showStart = MillisecondsOfDay(start);
    SetLabel(TestDataLabel::ShowStart, m_format.FormatTimeOfDay(m_showStart));
}

void TTestData::DisplayEnded(const platform::LocalTime& end) {
    const long long showEnd = MillisecondsOfDay(end);
    SetLabel(TestDataLabel::ShowEnd, m_format.FormatTimeOfDay(showEnd));
    SetLabel(TestDataLabel::ShowDuration, m_format.FormatDuration(showEnd - m_showStart));
    SetLabel(TestDataLabel::TotalDuration, m_format.FormatDuration(showEnd - m_searchStart));
}

void TTestData::ListButtonClick() { DumpFolderRecords(); }

std::string TTestData::RecordLine(const FolderRecord& record) {
    return platform::Utf16ArrayToUtf8(record.name, std::size(record.name)) +
           " T:" + std::to_string(static_cast<unsigned>(record.kind)) +
           " L:" + std::to_string(static_cast<unsigned>(record.depth)) +
           " Sz:" + std::to_string(static_cast<long long>(record.size));
}

void TTestData::DumpFolderRecords() {
    if (!m_records)
        return;
    std::vector<std::string> lines;
    for (const FolderRecord* record : m_records()) {
        // A slot the engine left empty has nothing to list.
        if (record != nullptr)
            lines.push_back(RecordLine(*record));
    }
    if (lines.empty())
        return;
    m_memoLines.insert(m_memoLines.end(), lines.begin(), lines.end());
    m_view.AppendLines(lines);
}

} // namespace dvo::app
