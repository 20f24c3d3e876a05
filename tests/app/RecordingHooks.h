#pragma once
// Stand-ins for the modules that plug into the form (result views, timings, start-up steps):
// they only note in the event log that the form called them.
#include "app/main/IResultViews.h"
#include "app/main/ISearchTimings.h"
#include "app/main/IStartupSteps.h"
#include "tests/app/EventLog.h"

namespace dvo::test {

class RecordingResultViews final : public app::IResultViews {
public:
    explicit RecordingResultViews(EventLog& log) : m_log(log) {}
    void ClearFolderTree() override { m_log.Add("views:ClearFolderTree"); }
    void ResetRecordCount() override { m_log.Add("views:ResetRecordCount"); }
    void ResetResultGrid() override { m_log.Add("views:ResetResultGrid"); }
    void ResetShownNode() override { m_log.Add("views:ResetShownNode"); }
    void EmptyRowMarks() override { m_log.Add("views:EmptyRowMarks"); }
    void LoadFolderRecords() override { m_log.Add("views:LoadFolderRecords"); }
    void BuildFolderTree() override { m_log.Add("views:BuildFolderTree"); }
    void ShowTotals() override { m_log.Add("views:ShowTotals"); }
    void FormResize() override { m_log.Add("views:FormResize"); }
    void SizeCountChanged() override { m_log.Add("views:SizeCountChanged"); }

private:
    EventLog& m_log;
};

class RecordingTimings final : public app::ISearchTimings {
public:
    explicit RecordingTimings(EventLog& log) : m_log(log) {}
    void SearchStarted(const platform::LocalTime&) override { m_log.Add("timing:SearchStarted"); }
    void SearchEnded(const platform::LocalTime&) override { m_log.Add("timing:SearchEnded"); }
    void DisplayStarted(const platform::LocalTime&) override { m_log.Add("timing:DisplayStarted"); }
    void DisplayEnded(const platform::LocalTime&) override { m_log.Add("timing:DisplayEnded"); }

private:
    EventLog& m_log;
};

class RecordingStartupSteps final : public app::IStartupSteps {
public:
    explicit RecordingStartupSteps(EventLog& log) : m_log(log) {}
    void FindProgramDirectory() override { m_log.Add("startup:FindProgramDirectory"); }
    void OpenOperationLog() override { m_log.Add("startup:OpenOperationLog"); }

private:
    EventLog& m_log;
};

} // namespace dvo::test
