// The "エクスポート" items: the current result as an ncdu export, and as a CSV list of every entry.
#include "app/views/ResultViews.h"

#include "app/main/EngineErrorText.h"
#include "app/main/UserTexts.h"
#include "app/views/BusyCursor.h"
#include "app/views/FileListCsv.h"
#include "app/views/RecordText.h"
#include "platform/Clock.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

#include <cstdio>
#include <cstring>

namespace dvo::app {

std::string ResultViews::DefaultExportName(const char* extension) const {
    std::string folder = SearchedFolderPath();
    if (const std::size_t slash = folder.rfind('/'); slash != std::string::npos)
        folder.erase(0, slash + 1);
    if (folder.empty())
        folder = SearchedFolderPath() == "/" ? "root" : "result";
    const platform::LocalTime now = platform::LocalNow();
    char date[16];
    std::snprintf(date, sizeof date, "-%04d%02d%02d", now.year, now.month, now.day);
    return folder + date + extension;
}

bool ResultViews::HasResultToExport() {
    if (!m_tree.Empty() && m_rootRecord != nullptr)
        return true;
    m_window.ShowMessageDlg(kNoResultToExport, MessageKind::Information, MessageButton::OK);
    return false;
}

void ResultViews::ExportFolderTree() {
    m_window.LogUserAction("ﾒﾆｭｰ:ｴｸｽﾎﾟｰﾄ ﾂﾘｰ 選択");
    if (!HasResultToExport())
        return;
    const auto file = m_view.SelectSaveFile("ツリーのエクスポート", DefaultExportName(".json"),
                                            "ncdu JSON (*.json)");
    if (!file)
        return;
    int result = DVO_OK;
    {
        const BusyCursor busy(m_window);
        result = m_engine.DVOExportResult(platform::Utf8ToUtf16(*file).c_str());
    }
    if (result != DVO_OK) {
        std::string reason = EngineErrorText(m_engine);
        if (reason.empty())
            reason = std::to_string(result);
        m_window.ShowMessageDlg(std::string(kExportFailed) + "\n" + *file + "\n" + reason,
                                MessageKind::Error, MessageButton::OK);
        return;
    }
    m_window.SetStatusText(kExported + *file);
}

void ResultViews::ExportFileList() {
    m_window.LogUserAction("ﾒﾆｭｰ:ｴｸｽﾎﾟｰﾄ ﾘｽﾄ 選択");
    if (!HasResultToExport())
        return;
    const auto file =
        m_view.SelectSaveFile("リストのエクスポート", DefaultExportName(".csv"), "CSV (*.csv)");
    if (!file)
        return;
    Node* top = m_tree.FirstTopLevel();
    int error = 0;
    {
        const BusyCursor busy(m_window);
        error = platform::WriteFileWhole(
            *file, [&](int fd) { return WriteFileListCsv(m_engine, top->record, fd); });
    }
    if (error != 0) {
        const char* reason = ::strerrordesc_np(error);
        m_window.ShowMessageDlg(std::string(kExportFailed) + "\n" + *file + "\n" +
                                    (reason != nullptr ? reason : std::to_string(error)),
                                MessageKind::Error, MessageButton::OK);
        return;
    }
    m_window.SetStatusText(kExported + *file);
}

} // namespace dvo::app
