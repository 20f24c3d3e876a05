#pragma once
// Everything the main window's logic asks of its widgets. Plain std and value types only: the
// Qt window carries it out in the program, a recording fake in the tests.
#include "app/main/MessageBoxLayout.h"

#include <functional>
#include <optional>
#include <string>

namespace dvo::app {

// The value labels of the counter panel.
enum class MainLabel { FolderSize, Searching, NumberOfFiles, NumberOfFolders };

enum class MainButton { Execute, Cancel };

// The permanent fields at the right of the status bar: what the grid has marked, what the
// last search could not read, and the free space of the searched folder's file system.
enum class StatusField { Marks, Unread, FreeSpace };

// The choices of "表示" > "サイズの数え方": apparent sizes or disk usage.
enum class SizeCount { FileSize, DiskUsage };

// Screen cursors of the busy-cursor stack; Default is the toolkit's ordinary pointer.
enum class ScreenCursor { Default, AppStart, HourGlass };

class IMainView {
public:
    virtual ~IMainView() = default;

    virtual void SetCaption(const std::string& text) = 0;
    // Centres the main window on the screen the first time and shows it.
    virtual void ShowWindow() = 0;
    // Asks the main window to close: the toolkit's close request, which ends in FormClose.
    virtual void CloseWindow() = 0;
    // Ends the message loop as soon as the handler that is running now has returned.
    virtual void TerminateApplication() = 0;

    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetStatusField(StatusField field, const std::string& text) = 0;
    virtual void SetLabelText(MainLabel label, const std::string& text) = 0;
    virtual void RepaintLabel(MainLabel label) = 0;
    virtual void SetSearchDirectoryText(const std::string& text) = 0;
    // Names the folder whose search the result panel shows ("" for none).
    virtual void SetResultFolderText(const std::string& text) = 0;
    virtual void SetButtonEnabled(MainButton button, bool enabled) = 0;
    // The radio items of "サイズの数え方": which one is checked (without running its handler),
    // and whether they can be chosen.
    virtual void SetSizeCountChecked(SizeCount count) = 0;
    virtual void SetSizeCountEnabled(bool enabled) = 0;

    // Geometry of the folder panel, in window pixels, for the edit-width rule on resizing.
    [[nodiscard]] virtual int SearchDirectoryLeft() const = 0;
    [[nodiscard]] virtual int AddDirectoryButtonLeft() const = 0;
    virtual void SetSearchDirectoryWidth(int width) = 0;

    [[nodiscard]] virtual ScreenCursor CurrentScreenCursor() const = 0;
    virtual void SetScreenCursor(ScreenCursor cursor) = 0;
    // Repaints the whole main window at once, not at the next ordinary paint.
    virtual void RepaintWindow() = 0;

    // Modal, centred on the screen; returns the result number of the button pressed.
    virtual int ShowMessageBox(const std::string& text, const MessageBoxLayout& layout) = 0;
    // Modal folder selection; nothing when the user cancels, and nothing after an error box when
    // the chosen folder cannot be handed back exactly (TMainForm::IsUsableFolder).
    [[nodiscard]] virtual std::optional<std::string>
    SelectFolder(const std::string& title, const std::string& initialFolder) = 0;
    // Modal selection of an existing file to open, showing files that match filter first
    // ("ncdu JSON (*.json)"); nothing when the user cancels.
    [[nodiscard]] virtual std::optional<std::string> SelectOpenFile(const std::string& title,
                                                                    const std::string& filter) = 0;
    // Opens a document (an absolute path) or a web address with the desktop's default
    // application (xdg-open, as one argument, no shell), without waiting. `done` runs later on
    // the GUI thread once the helper has ended, with its exit status (0 success) and the start
    // of what it wrote to its standard error; status -1 and the reason when it could not be
    // started. It never runs once the window is gone.
    using HelperDone = std::function<void(int status, const std::string& errorText)>;
    virtual void OpenWithDefaultApplication(const std::string& target, HelperDone done) = 0;
    // A second start: hands folder ("" for none) to the instance that holds the lock and asks
    // it to bring its window to the front. False when no running instance answered.
    [[nodiscard]] virtual bool ReachRunningInstance(const std::string& folder) = 0;
    // The instance that holds the lock starts answering later starts (OtherInstanceStarted).
    virtual void ListenForLaterStarts() = 0;
    // Shows the main window in front of the others, restored if it was minimised.
    virtual void BringToFront() = 0;
    // Handles every pending input and paint event without waiting for new ones.
    virtual void ProcessPendingEvents() = 0;
};

} // namespace dvo::app
