#include "app/views/FileCommands.h"

#include "app/main/EngineErrorText.h"
#include "app/main/UserTexts.h"
#include "app/views/FileTransfer.h"
#include "app/views/RecordText.h"
#include "platform/Text.h"

#include <utility>

namespace dvo::app {
namespace {

constexpr int kNoAnswer = -1;

// The entry's path as the user knows it, one '/' between folder and name.
std::string FullPath(const FileCommands::RowFile& file) {
    std::string path = platform::Utf16ToUtf8(file.directory);
    if (!path.ends_with('/'))
        path += '/';
    return path + platform::Utf16ToUtf8(file.name);
}

} // namespace

FileCommands::FileCommands(IWindowServices& window, IEngine& engine, IResultView& view,
                           ResultViews& results)
    : m_window(window), m_engine(engine), m_view(view), m_results(results),
      m_shell(window, engine, view) {}

void FileCommands::lsSearchResultContextPopup() {
    static constexpr std::array<void (FileCommands::*)(), kGridMenu.size()> kHandlers{
        &FileCommands::mnuEditClick,     &FileCommands::mnuExplorerClick,
        &FileCommands::mnuOpenClick,     &FileCommands::mnuPrintClick,
        &FileCommands::mnuPropertyClick, &FileCommands::mnuDeleteClick,
        &FileCommands::mnuCopyClick,     &FileCommands::mnuMoveClick};
    // With nothing marked the menu is about the row it was opened on, as in a file manager;
    // over no entry at all it offers nothing rather than acting on nothing.
    const int row = m_view.GridRowUnderPointer();
    m_contextRow =
        row >= 1 && row <= m_results.ShownRowCount() && GetRowFile(row).name.size() > 0 ? row : 0;
    auto items = kGridMenu;
    // An opened result may come from another machine or another time: its names are no
    // entries here to act on.
    // While a folder is read again the engine acts on no entry.
    if ((m_results.MarkedCount() == 0 && m_contextRow == 0) || m_engine.DVOIsOpenedResult() != 0 ||
        m_engine.DVOIsActive() != 0)
        for (auto& item : items)
            item.enabled = false;
    const int chosen = m_view.PopupGridMenu(items);
    if (chosen >= 0 && static_cast<std::size_t>(chosen) < kHandlers.size() &&
        items[static_cast<std::size_t>(chosen)].enabled)
        (this->*kHandlers[static_cast<std::size_t>(chosen)])();
    m_contextRow = 0;
}

std::vector<int> FileCommands::TargetRows() const {
    std::vector<int> rows;
    for (int row = 1; row <= m_results.ShownRowCount(); ++row)
        if (m_results.RowMarked(row))
            rows.push_back(row);
    if (rows.empty() && m_contextRow >= 1 && m_contextRow <= m_results.ShownRowCount())
        rows.push_back(m_contextRow);
    return rows;
}

void FileCommands::mnuEditClick() { RunFileOperation(kOpEdit); }
void FileCommands::mnuExplorerClick() { RunFileOperation(kOpExplorer); }
void FileCommands::mnuOpenClick() { RunFileOperation(kOpOpen); }
void FileCommands::mnuPrintClick() { RunFileOperation(kOpPrint); }
void FileCommands::mnuPropertyClick() { RunFileOperation(kOpProperty); }
void FileCommands::mnuDeleteClick() { RunFileOperation(kOpDelete); }
void FileCommands::mnuCopyClick() { RunFileOperation(kOpCopy); }
void FileCommands::mnuMoveClick() { RunFileOperation(kOpMove); }

void FileCommands::RunFileOperation(int code) {
    const std::vector<int> rows = TargetRows();
    if (rows.empty())
        return; // nothing marked and no row under the menu: nothing to act on
    std::u16string destination;
    if (code == kOpCopy || code == kOpMove) {
        const auto chosen = m_view.SelectDestinationFolder(
            code == kOpCopy ? "コピー先ディレクトリ" : "移動先ディレクトリ", m_destinationFolder);
        if (!chosen)
            return; // nothing done: the marks and the rows stay
        m_destinationFolder = *chosen;
        destination = platform::Utf8ToUtf16(*chosen);
    }
    std::string destinationPath = m_destinationFolder;
    while (destinationPath.size() > 1 && destinationPath.ends_with('/'))
        destinationPath.pop_back();
    m_results.FileOperationStarting();
    // With more rows to go, every error box lets the user stop the rest.
    const bool batch = rows.size() > 1;
    int answer = kNoAnswer;
    std::vector<const FolderRecord*> succeeded; // their marks go; the others keep theirs
    bool entriesWent = false;
    FolderTreeNode* movedInto = nullptr;
    for (const int row : rows) {
        const RowFile file = GetRowFile(row);
        const FolderRecord* record = m_results.Grid().DataRow(row).record;
        bool goOn = true;
        bool done = false;
        if (code == kOpDelete) {
            if (answer != MessageResult::YesToAll)
                answer = ConfirmFileAction(kDeletePrefix, kDeleteSuffix, file.name, file.directory);
            if (answer == MessageResult::Yes || answer == MessageResult::YesToAll)
                goOn = DeleteEntry(file, record, batch, done);
            else if (answer != MessageResult::No)
                break; // Cancel, or the box closed without an answer
        } else if (code == kOpCopy) {
            const int result = RunTransfer(m_engine, m_view, TransferKind::Copy, file.name,
                                           file.directory, destination);
            done = result == DVO_OK;
            if (result == DVO_E_CANCELLED)
                goOn = false; // the user stopped the batch; the engine removed the partial copy
            else if (!done)
                goOn = ShowFileError(file, result, batch);
        } else if (code == kOpMove) {
            const int result = RunTransfer(m_engine, m_view, TransferKind::Move, file.name,
                                           file.directory, destination);
            done = result == DVO_OK;
            // A failed or cancelled move leaves the entry where it was: its node stays.
            if (done) {
                FolderTreeNode* into = m_results.FindFolderNode(destinationPath);
                m_results.RemoveChildNode(record, into != nullptr);
                if (into != nullptr) {
                    m_results.AddMovedNode(into, file.name);
                    movedInto = into;
                }
            } else if (result == DVO_E_CANCELLED) {
                goOn = false;
            } else {
                goOn = ShowFileError(file, result, batch);
            }
        } else if (!file.name.empty()) {
            // A helper that fails after starting reports later, on its own.
            const int result =
                m_shell.Start(m_view.WindowHandle(), file.name, file.directory, code);
            done = result == DVO_OK;
            if (!done) // no xdg-open or lp, printing a folder, an entry gone
                goOn = ShowFileError(file, result, batch);
        }
        if (done) {
            succeeded.push_back(record);
            entriesWent = entriesWent || code == kOpDelete || code == kOpMove;
        }
        if (!goOn)
            break;
    }
    m_results.UnmarkEntries(std::move(succeeded));
    m_results.FileOperationEnded(entriesWent, movedInto);
}

bool FileCommands::DeleteEntry(const RowFile& file, const FolderRecord* record, bool batch,
                               bool& done) {
    done = false;
    int result = m_engine.DVODeleteFile(file.name.c_str(), file.directory.c_str());
    if (result == DVO_E_NO_TRASH) {
        // Asked for each such entry, also after "YesToAll" (that answer was for the trash): the
        // path and what goes with a folder are spelled out, and the safe answer is the default.
        std::string question = std::string(kNoTrashQuestion) + "\n" + FullPath(file);
        if (file.folder)
            question += kNoTrashFolderNote;
        const int answer = m_window.ShowMessageDlg(
            question, MessageKind::Confirmation,
            MessageButton::Yes | MessageButton::No | MessageButton::Cancel, MessageResult::No);
        if (answer == MessageResult::Cancel)
            return false;
        if (answer != MessageResult::Yes)
            return true;
        result = m_engine.DVODeleteFilePermanently(file.name.c_str(), file.directory.c_str());
    }
    // Only an entry that is really gone leaves the tree; otherwise the user still has it on disk.
    if (result == DVO_OK) {
        done = true;
        m_results.RemoveChildNode(record);
        return true;
    }
    return ShowFileError(file, result, batch);
}

bool FileCommands::ShowFileError(const RowFile& file, int result, bool batch) {
    std::string message = EngineErrorText(m_engine);
    if (message.empty()) // an engine without a reason: at least say which entry and the code
        message = FullPath(file) + ": " + std::to_string(result);
    if (!batch) {
        m_window.ShowMessageDlg(message, MessageKind::Error, MessageButton::OK);
        return true;
    }
    // OK goes on with the next marked row; Cancel (also Escape) leaves the rest untouched.
    return m_window.ShowMessageDlg(message, MessageKind::Error,
                                   MessageButton::OK | MessageButton::Cancel) == MessageResult::OK;
}

FileCommands::RowFile FileCommands::GetRowFile(int row) const {
    // Row records are valid while the tree of their search exists.
    if (m_results.Tree().Empty() || row < 1 || row > m_results.Grid().RowCount() - 1)
        return {};
    const FolderRecord* r = m_results.Grid().DataRow(row).record;
    if (r == nullptr)
        return {};
    return {std::u16string(RecordName(*r)), std::u16string(RecordDirectory(*r)),
            r->kind == DVO_KIND_FOLDER};
}

int FileCommands::ConfirmFileAction(const std::string& prefix, const std::string& suffix,
                                    const std::u16string& name, const std::u16string& directory) {
    // One separator whatever the directory ends with, so the root shows "//".
    const std::string question =
        prefix + platform::Utf16ToUtf8(directory) + "/" + platform::Utf16ToUtf8(name) + suffix;
    return m_window.ShowMessageDlg(question, MessageKind::Confirmation,
                                   MessageButton::Yes | MessageButton::No | MessageButton::Cancel |
                                       MessageButton::YesToAll);
}

} // namespace dvo::app
