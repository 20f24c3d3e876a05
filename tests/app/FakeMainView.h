#pragma once
// A view without a screen: records every widget operation in the shared event log, keeps what
// the user would see, and answers message boxes and the folder dialog from a script.
#include "app/main/IMainView.h"
#include "app/main/TMainForm.h"
#include "tests/app/EventLog.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace dvo::test {

inline const char* LabelName(app::MainLabel label) {
    switch (label) {
    case app::MainLabel::FolderSize: return "FolderSize";
    case app::MainLabel::Searching: return "Searching";
    case app::MainLabel::NumberOfFiles: return "NumberOfFiles";
    case app::MainLabel::NumberOfFolders: return "NumberOfFolders";
    }
    return "?";
}

inline const char* CursorName(app::ScreenCursor cursor) {
    switch (cursor) {
    case app::ScreenCursor::Default: return "Default";
    case app::ScreenCursor::AppStart: return "AppStart";
    case app::ScreenCursor::HourGlass: return "HourGlass";
    }
    return "?";
}

class FakeMainView final : public app::IMainView {
public:
    explicit FakeMainView(EventLog& log) : m_log(log) {}

    // The form whose FormClose a close request runs, as the window frame would.
    app::TMainForm* form = nullptr;

    // Script.
    std::deque<int> messageBoxAnswers;                    // results, in order of the boxes
    std::deque<std::optional<std::string>> folderAnswers; // dialog answers
    std::function<void(int pass)> onProcessEvents;        // runs inside the poll loop

    // What the user sees.
    std::string caption;
    std::string status;
    std::map<app::MainLabel, std::string> labels;
    std::string searchDirectory;
    bool executeEnabled = true; // widgets start enabled, as a toolkit creates them
    bool cancelEnabled = true;
    bool shown = false;
    bool terminated = false;
    app::ScreenCursor cursor = app::ScreenCursor::Default;
    int editWidth = 721;
    int processEventsCalls = 0;

    struct ShownBox {
        std::string text;
        app::MessageBoxLayout layout;
    };
    std::vector<ShownBox> boxes;
    std::vector<std::pair<std::string, std::string>> folderDialogs; // title, initial folder

    void SetCaption(const std::string& text) override {
        caption = text;
        m_log.Add("caption:" + text);
    }
    void ShowWindow() override {
        shown = true;
        m_log.Add("show");
    }
    void CloseWindow() override {
        m_log.Add("close");
        if (form != nullptr)
            form->FormClose();
    }
    void TerminateApplication() override {
        terminated = true;
        m_log.Add("terminate");
    }
    void SetStatusText(const std::string& text) override {
        status = text;
        m_log.Add("status:" + text);
    }
    void SetStatusField(app::StatusField field, const std::string& text) override {
        statusFields[field] = text;
        // Not in the event log either: the free space follows every search and file operation.
        if (field == app::StatusField::FreeSpace)
            return;
        m_log.Add(std::string(field == app::StatusField::Marks ? "marks:" : "unread:") + text);
    }
    std::map<app::StatusField, std::string> statusFields;
    // Not in the event log: the orders the log tests pin stay as they were.
    void SetResultFolderText(const std::string& text) override { resultFolder = text; }
    std::string resultFolder;
    bool ReachRunningInstance(const std::string& folder) override {
        handedToRunningInstance.push_back(folder);
        return runningInstanceAnswers;
    }
    void ListenForLaterStarts() override { listening = true; }
    void BringToFront() override { ++broughtToFront; }
    bool runningInstanceAnswers = false; // script: whether a running instance answers
    std::vector<std::string> handedToRunningInstance;
    bool listening = false;
    int broughtToFront = 0;
    void SetLabelText(app::MainLabel label, const std::string& text) override {
        labels[label] = text;
        m_log.Add(std::string("label:") + LabelName(label) + "=" + text);
    }
    void RepaintLabel(app::MainLabel label) override {
        m_log.Add(std::string("repaint:") + LabelName(label));
    }
    void SetSearchDirectoryText(const std::string& text) override {
        searchDirectory = text;
        m_log.Add("edit:" + text);
    }
    void SetButtonEnabled(app::MainButton button, bool enabled) override {
        const bool execute = button == app::MainButton::Execute;
        (execute ? executeEnabled : cancelEnabled) = enabled;
        m_log.Add(std::string("enable:") + (execute ? "Execute=" : "Cancel=") +
                  (enabled ? "1" : "0"));
    }
    // Not in the event log either: every phase change sets them.
    void SetSizeCountChecked(app::SizeCount count) override { sizeCount = count; }
    void SetSizeCountEnabled(bool enabled) override { sizeCountEnabled = enabled; }
    app::SizeCount sizeCount = app::SizeCount::FileSize;
    bool sizeCountEnabled = true;
    int SearchDirectoryLeft() const override { return 8; }
    int AddDirectoryButtonLeft() const override { return addDirectoryLeft; }
    int addDirectoryLeft = 759;
    void SetSearchDirectoryWidth(int width) override {
        editWidth = width;
        m_log.Add("editWidth:" + std::to_string(width));
    }
    app::ScreenCursor CurrentScreenCursor() const override { return cursor; }
    void SetScreenCursor(app::ScreenCursor c) override {
        cursor = c;
        m_log.Add(std::string("cursor:") + CursorName(c));
    }
    void RepaintWindow() override { m_log.Add("repaintWindow"); }
    int ShowMessageBox(const std::string& text, const app::MessageBoxLayout& layout) override {
        boxes.push_back({text, layout});
        m_log.Add("messageBox:" + text);
        if (messageBoxAnswers.empty())
            return layout.escapeButton >= 0
                       ? layout.buttons[static_cast<std::size_t>(layout.escapeButton)].result
                       : 2;
        const int answer = messageBoxAnswers.front();
        messageBoxAnswers.pop_front();
        return answer;
    }
    std::optional<std::string> SelectFolder(const std::string& title,
                                            const std::string& initial) override {
        folderDialogs.emplace_back(title, initial);
        m_log.Add("folderDialog");
        if (folderAnswers.empty())
            return std::nullopt;
        auto answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }
    std::deque<std::optional<std::string>> fileAnswers; // open-file dialog answers
    std::optional<std::string> SelectOpenFile(const std::string& title,
                                              const std::string&) override {
        m_log.Add("fileDialog:" + title);
        if (fileAnswers.empty())
            return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
    void OpenWithDefaultApplication(const std::string& target, HelperDone done) override {
        opened.push_back(target);
        openDone.push_back(std::move(done));
        m_log.Add("open:" + target);
    }
    std::vector<std::string> opened;  // documents and addresses handed to the desktop
    std::vector<HelperDone> openDone; // how each of them is told its helper ended
    void ProcessPendingEvents() override {
        m_log.Add("processEvents");
        const int pass = processEventsCalls++;
        if (onProcessEvents)
            onProcessEvents(pass);
    }

private:
    EventLog& m_log;
};

} // namespace dvo::test
