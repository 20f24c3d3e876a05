#pragma once
// The tree and grid widgets without a screen: keeps what the user would see and, like a tree
// widget, runs the expanding handler when a node with children is expanded.
#include "app/views/IResultView.h"
#include "app/views/ResultViews.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace dvo::test {

class FakeResultView final : public app::IResultView {
public:
    app::ResultViews* results = nullptr; // set once the logic exists

    std::map<app::MenuCheck, bool> checks{{app::MenuCheck::TreeProgress, true}};
    dvo::app::FolderTreeNode* current = nullptr;
    mutable dvo::app::FolderTreeNodeRef currentRef;
    bool selectionVisible = true;
    int treeUpdates = 0;
    int gridUpdates = 0;
    int gridRepaints = 0;
    int gridTopRow = 1;
    int visibleRows = 10;
    int rowUnderPointer = -1;
    int gridWidth = 600;
    int splitterLeft = 400;
    int groupWidth = 1015;
    int panelLeft = 0;
    int panelWidth = 0;
    int expandAllCalls = 0;
    int collapseAllCalls = 0;
    // Script: the pop-up menu's choices and the destination dialog's answers, in order; with
    // none left the menu closes without a choice and the dialog is cancelled.
    std::deque<int> menuChoices;
    std::deque<std::optional<std::string>> destinationAnswers;
    std::vector<std::string> shownMenu;                                  // "caption/name/shown"
    std::vector<std::pair<std::string, std::string>> destinationDialogs; // title, initial folder

    void BeginTreeUpdate() override { ++treeUpdates; }
    void EndTreeUpdate() override {}
    void BeginTreeAppend() override {}
    void EndTreeAppend() override {}
    // The background load's slices run at once, one after the other, so a test sees the whole
    // tree after a search; with holdSlices they wait for RunSlice, as on a busy message loop.
    bool holdSlices = false;
    int slicesRun = 0;
    void ScheduleTreeSlice(std::function<void()> slice) override {
        m_slices.push_back(std::move(slice));
        if (holdSlices || m_runningSlices)
            return;
        m_runningSlices = true;
        while (!m_slices.empty() && !holdSlices)
            RunSlice();
        m_runningSlices = false;
    }
    // The widget's new layout comes at once, so a test sees a sort's end when it returns.
    void AfterTreeLayout(std::function<void()> then) override { then(); }
    // Runs the oldest waiting slice; false when none waits.
    bool RunSlice() {
        if (m_slices.empty())
            return false;
        auto slice = std::move(m_slices.front());
        m_slices.pop_front();
        ++slicesRun;
        slice();
        return true;
    }
    [[nodiscard]] std::size_t WaitingSlices() const { return m_slices.size(); }
    // Like a tree widget, forgets its current node when the tree it came from is cleared.
    dvo::app::FolderTreeNode* CurrentTreeNode() const override {
        if (current != nullptr && results != nullptr && currentRef.node != current)
            currentRef = results->Tree().Ref(current); // set directly by a test
        return results != nullptr ? results->Tree().Resolve(currentRef) : current;
    }
    void SetCurrentTreeNode(dvo::app::FolderTreeNode* node, bool autoExpand) override {
        current = node;
        currentRef = results != nullptr ? results->Tree().Ref(node) : dvo::app::FolderTreeNodeRef{};
        selectionVisible = true;
        if (autoExpand && node != nullptr && !node->children.empty() && results != nullptr) {
            results->SearchResultTreeExpanding(node);
            node->expanded = true;
        }
    }
    void SetTreeSelectionVisible(bool visible) override { selectionVisible = visible; }
    void ExpandAllTreeNodes() override { ++expandAllCalls; }
    void CollapseAllTreeNodes() override { ++collapseAllCalls; }
    void BeginGridUpdate() override {}
    // A widget that fails while it shows the grid's new content (set: the next end throws).
    bool failNextGridUpdate = false;
    void EndGridUpdate() override {
        ++gridUpdates;
        if (std::exchange(failNextGridUpdate, false))
            throw std::runtime_error("grid update failed");
    }
    void RepaintGrid() override { ++gridRepaints; }
    int GridWidth() const override { return gridWidth; }
    int GridLineWidth() const override { return 1; }
    int GridTopRow() const override { return gridTopRow; }
    void SetGridTopRow(int row) override { gridTopRow = row; }
    int GridVisibleRowCount() const override { return visibleRows; }
    int GridRowUnderPointer() const override { return rowUnderPointer; }
    int GridCurrentRow() const override { return currentRow; }
    void SetGridCurrentRow(int row) override { currentRow = row; }
    int currentRow = 0;
    int SplitterLeft() const override { return splitterLeft; }
    int SplitterWidth() const override { return 10; }
    int ResultGroupWidth() const override { return groupWidth; }
    void SetGridPanelBounds(int left, int width) override {
        panelLeft = left;
        panelWidth = width;
    }
    int PopupGridMenu(std::span<const app::GridMenuItem> items) override {
        shownMenu.clear();
        for (const auto& item : items)
            shownMenu.push_back(std::string(item.caption) + "/" + item.name + "/" +
                                (item.shown ? "1" : "0") + (item.enabled ? "" : "/disabled"));
        if (menuChoices.empty())
            return -1;
        const int choice = menuChoices.front();
        menuChoices.pop_front();
        return choice;
    }
    std::optional<std::string> SelectDestinationFolder(const std::string& title,
                                                       const std::string& initial) override {
        destinationDialogs.emplace_back(title, initial);
        if (destinationAnswers.empty())
            return std::nullopt;
        auto answer = destinationAnswers.front();
        destinationAnswers.pop_front();
        return answer;
    }
    // Save dialogs as "title|default name|filter"; each answers the next of saveAnswers
    // (cancelled when none is left).
    std::vector<std::string> saveDialogs;
    std::deque<std::optional<std::string>> saveAnswers;
    std::optional<std::string> SelectSaveFile(const std::string& title,
                                              const std::string& defaultName,
                                              const std::string& filter) override {
        saveDialogs.push_back(title + "|" + defaultName + "|" + filter);
        if (saveAnswers.empty())
            return std::nullopt;
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    unsigned long long WindowHandle() const override { return 77; }

    // The progress dialog, run inline: its titles and every report as "permille|text"; the user
    // presses "キャンセル" at report number cancelAtReport of each run (none when negative).
    int cancelAtReport = -1;
    std::vector<std::string> progressTitles;
    std::vector<std::string> progressReports;
    int RunWithProgress(const std::string& title,
                        std::function<int(app::ProgressSink&)> work) override {
        progressTitles.push_back(title);
        struct Sink final : app::ProgressSink {
            FakeResultView& view;
            int count = 0;
            explicit Sink(FakeResultView& v) : view(v) {}
            bool Report(int permille, const std::string& text) override {
                view.progressReports.push_back(std::to_string(permille) + "|" + text);
                return view.cancelAtReport < 0 || count++ < view.cancelAtReport;
            }
        } sink(*this);
        return work(sink);
    }
    // Work posted from other threads waits here until the test drains it, as on a GUI thread.
    void PostToGuiThread(std::function<void()> work) override {
        std::lock_guard lock(m_postedMutex);
        m_posted.push_back(std::move(work));
    }
    // Runs what was posted so far; the number of functions run.
    int DrainPosted() {
        std::deque<std::function<void()>> posted;
        {
            std::lock_guard lock(m_postedMutex);
            posted.swap(m_posted);
        }
        for (auto& work : posted)
            work();
        return static_cast<int>(posted.size());
    }
    bool IsMenuChecked(app::MenuCheck item) const override {
        const auto it = checks.find(item);
        return it != checks.end() && it->second;
    }
    void SetMenuChecked(app::MenuCheck item, bool checked) override { checks[item] = checked; }

private:
    std::deque<std::function<void()>> m_slices;
    bool m_runningSlices = false;
    std::mutex m_postedMutex;
    std::deque<std::function<void()>> m_posted; // guarded by m_postedMutex
};

} // namespace dvo::test
