#include "app/views/ResultViews.h"

#include "app/main/UserTexts.h"
#include "app/views/BusyCursor.h"
#include "app/views/RecordText.h"
#include "app/views/TreeOrder.h"
#include "platform/Locale.h"
#include "platform/Text.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <new>
#include <unordered_map>

namespace dvo::app {
namespace {

// An entry whose attributes could not be read carries the zero time.
bool SizeUnknown(const FolderRecord& r) {
    return r.kind != DVO_KIND_FOLDER && r.modifiedTime.wYear == 0;
}

int CompareSizeUp(const FolderTreeNode& a, const FolderTreeNode& b, const void*) {
    return CompareSizeAscending(a, b);
}
int CompareSizeDown(const FolderTreeNode& a, const FolderTreeNode& b, const void*) {
    return CompareSizeDescending(a, b);
}
int CompareCaptionUp(const FolderTreeNode& a, const FolderTreeNode& b, const void* collation) {
    return (*static_cast<const ResultViews::CaptionCollation*>(collation))(a.caption, b.caption);
}
int CompareCaptionDown(const FolderTreeNode& a, const FolderTreeNode& b, const void*) {
    return CompareCaptionDescending(a, b);
}

} // namespace

ResultViews::ResultViews(IWindowServices& window, IEngine& engine, IResultView& view)
    : m_window(window), m_engine(engine), m_view(view),
      m_collation([](const char* a, const char* b) { return platform::CollateCompare(a, b); }) {
    // Size descending from the start, and the menu says so.
    SetSortMenu(m_sortState);
}

// ---- the search flow's steps ----------------------------------------------------------------

void ResultViews::ClearFolderTree() {
    for (IResultViewsWatcher* watcher : m_watchers)
        watcher->TreeCleared();
    ClearTree();
}

void ResultViews::ClearTree() {
    StopTreeLoad();
    m_tree.Clear();
}

void ResultViews::ResetRecordCount() {
    m_recordCount = 0;
    m_removedFolderRecords = 0;
}

void ResultViews::ResetShownNode() { m_shownNode = {}; }

void ResultViews::EmptyRowMarks() {
    m_rowMarks.clear();
    ShowMarkSummary();
}

void ResultViews::ResetResultGrid() {
    m_view.BeginGridUpdate();
    if (m_grid.RowCount() > 2)
        for (auto& row : m_grid.rows)
            row = ResultGrid::Row{};
    m_grid.SetRowCount(2);
    auto& w = m_grid.columnWidths;
    w[3] = 110;
    w[1] = 60;
    w[2] = 80;
    w[0] = m_view.GridWidth() - 3 * m_view.GridLineWidth() - (w[3] + w[1] + w[2]);
    SetColumnTitles(kSortNone);
    m_grid.rows[0] = ResultGrid::Row{};
    m_view.EndGridUpdate();
    m_view.RepaintGrid();
    m_shownNode = {};
    m_shownRowCount = 0;
}

void ResultViews::LoadFolderRecords() {
    m_removedFolderRecords = 0;
    int count = m_engine.DVOGetFolderInfoCount();
    if (count < 0)
        count = 0;
    try {
        if (m_failFolderRecords) {
            m_failFolderRecords = false;
            throw std::bad_alloc();
        }
        m_folderRecords.assign(static_cast<std::size_t>(count) + 1, nullptr);
    } catch (const std::bad_alloc&) {
        m_folderRecords.clear();
        m_window.ShowMessageDlg("Cannot allocate folder information buffer.", MessageKind::Error,
                                MessageButton::OK);
        return;
    }
    // The engine refuses the records when it has no memory for them: the same failure to the user.
    if (count > 0 && m_engine.DVOGetFolderInfo(m_folderRecords.data(), count) < 0) {
        m_folderRecords.clear();
        m_window.ShowMessageDlg("Cannot allocate folder information buffer.", MessageKind::Error,
                                MessageButton::OK);
        return;
    }
    m_recordCount = count;
}

void ResultViews::BuildFolderTree() {
    m_view.BeginGridUpdate();
    m_grid.SetRowCount(2);
    m_view.EndGridUpdate();
    for (IResultViewsWatcher* watcher : m_watchers)
        watcher->TreeCleared();
    ClearTree();
    if (m_recordCount == 0) {
        for (IResultViewsWatcher* watcher : m_watchers)
            watcher->TreeBuilt();
        return;
    }
    m_rootRecord = m_engine.DVOGetRootFolderInfo();
    {
        const BusyCursor busy(m_window);
        m_view.BeginTreeUpdate();
        if (m_view.IsMenuChecked(MenuCheck::TreeAtOnce)) {
            AddNodesAtOnce();
        } else if (m_view.IsMenuChecked(MenuCheck::TreeProgress)) {
            LoadChildNodes(nullptr);
            if (Node* first = m_tree.FirstTopLevel())
                LoadChildNodes(first);
        }
        m_window.SetLabelText(MainLabel::Searching, "");
        m_view.EndTreeUpdate();
        if (m_sortState != kSortNone)
            SortFolderTree(m_sortState);
    }
    // A million entries take seconds to load: the levels on screen come now, the rest in
    // slices, so the window keeps painting and answering.
    const bool sliced = m_view.IsMenuChecked(MenuCheck::TreeProgress) && m_tree.PendingCount() != 0;
    if (sliced)
        StartTreeLoad();
    if (Node* first = m_tree.FirstTopLevel()) {
        // Becoming current with auto-expand expands it, which loads the level below its children.
        m_view.SetCurrentTreeNode(first, true);
        m_view.SetTreeSelectionVisible(false);
    }
    m_window.RepaintWindow();
    if (sliced)
        ScheduleTreeSlice();
    else
        for (IResultViewsWatcher* watcher : m_watchers)
            watcher->TreeBuilt();
}

void ResultViews::StartTreeLoad() {
    m_loading = true;
    ++m_loadGeneration;
    const auto top = m_tree.Children(nullptr);
    m_loadQueue.assign(top.begin(), top.end());
    m_window.PushHourGlassCursor();
}

void ResultViews::StopTreeLoad() {
    if (!m_loading)
        return;
    m_loading = false;
    ++m_loadGeneration;
    m_loadQueue = {};
    m_window.PopCursor();
}

void ResultViews::ScheduleTreeSlice() {
    m_view.ScheduleTreeSlice([this, generation = m_loadGeneration] {
        if (generation == m_loadGeneration)
            TreeLoadSlice();
    });
}

bool ResultViews::LoadQueuedFolder(std::deque<Node*>& queue) {
    while (!queue.empty()) {
        Node* folder = queue.front();
        queue.pop_front();
        if (!folder->alive)
            continue;
        LoadChildNodes(folder);
        for (Node* child : m_tree.Children(folder)) {
            if (child->record == nullptr)
                continue;
            if (child->record->kind == DVO_KIND_FOLDER)
                queue.push_back(child);
            else
                m_tree.SetChildrenLoaded(child->record, child); // nothing below an entry
        }
        return true;
    }
    return false;
}

void ResultViews::TreeLoadSlice() {
    if (!m_loading)
        return;
    // Long enough that the widgets' work per slice stays small beside it, short enough that
    // the window answers within a frame, and a screen reader's dozen questions in a row (each
    // waits for the slice under way) within a fifth of a second.
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(10);
    m_view.BeginTreeAppend();
    while (LoadQueuedFolder(m_loadQueue) && Clock::now() < until) {
    }
    m_view.EndTreeAppend();
    if (!m_loadQueue.empty()) {
        ScheduleTreeSlice();
        return;
    }
    StopTreeLoad();
    for (IResultViewsWatcher* watcher : m_watchers)
        watcher->TreeBuilt();
}

void ResultViews::LoadSubtree(Node* folder) {
    if (folder == nullptr || !folder->alive)
        return;
    std::deque<Node*> queue{folder};
    m_view.BeginTreeAppend();
    while (LoadQueuedFolder(queue)) {
    }
    m_view.EndTreeAppend();
}

void ResultViews::FinishTreeLoad() {
    if (!m_loading)
        return;
    m_view.BeginTreeAppend();
    while (LoadQueuedFolder(m_loadQueue)) {
    }
    m_view.EndTreeAppend();
    StopTreeLoad();
    for (IResultViewsWatcher* watcher : m_watchers)
        watcher->TreeBuilt();
}

void ResultViews::ShowTotals() {
    // A delete or a move takes what went out of the engine's totals: read them again.
    m_window.RefreshSearchTotals();
    m_window.SetLabelText(MainLabel::NumberOfFiles,
                          std::to_string(m_window.CurrentSearchProgress().fileCount) +
                              m_window.PartialMark());
    m_window.SetLabelText(MainLabel::NumberOfFolders,
                          std::to_string(m_recordCount - m_removedFolderRecords) +
                              m_window.PartialMark());
}

void ResultViews::FormResize() { spSearchResultMoved(); }

void ResultViews::RefillShownFolder() {
    // The node selected last may have gone with a file operation, or belong to an earlier tree;
    // the shown folder then gives the listing the user saw, less the removed rows.
    Node* refill = m_tree.Resolve(m_lastSelectedNode);
    if (refill == nullptr)
        refill = ShownNode();
    if (refill != nullptr)
        ShowFolderContents(refill);
}

void ResultViews::SizeCountChanged() {
    if (!m_tree.FirstTopLevel())
        return; // no result shown: nothing shows a size
    // Sizes decide the order of size sorts only: under a name order or none the tree keeps
    // its order (and the view its layout).
    const bool reorder = m_sortState == kSortSizeAscending || m_sortState == kSortSizeDescending;
    m_window.PushHourGlassCursor();
    {
        CursorPop popOnFailure(m_window);
        if (reorder)
            SortWholeTree(m_sortState);
        popOnFailure.Release();
    }
    auto rest = [this] {
        {
            const CursorPop pop(m_window);
            // The same folder listed again: its marks stay on their entries, whose sizes changed.
            RefillShownFolder();
        }
        ShowMarkSummary();
        ShowTotals();
        m_view.RepaintGrid();
        for (IResultViewsWatcher* watcher : m_watchers)
            watcher->SizesChanged();
    };
    if (reorder)
        m_view.AfterTreeLayout(std::move(rest));
    else
        rest();
}

// ---- folder tree ----------------------------------------------------------------------------

void ResultViews::LoadChildNodes(Node* node) {
    if (m_rescanning)
        return; // the engine lists nothing now; the node stays pending for later
    FolderRecord* parent = nullptr;
    if (node == nullptr) {
        parent = m_engine.DVOGetRootFolderInfo();
        m_rootRecord = parent;
        if (parent == nullptr)
            return;
    } else {
        if (!node->children.empty())
            return;
        parent = node->record;
    }
    if (parent == nullptr || parent->childrenLoaded == 1)
        return;
    // Children come in the engine's order; they join the tree in the current one, so a level
    // loaded after a sort (expanding, expand-all) is not left unsorted below sorted ones.
    std::vector<FolderRecord*> records;
    std::vector<std::string> captions;
    for (FolderRecord* child = m_engine.DVOGetFirstFolderInfo(parent); child != nullptr;
         child = m_engine.DVOGetNextFolderInfo(parent)) {
        records.push_back(child);
        captions.push_back(MakeNodeCaption(*child));
    }
    std::vector<std::uint32_t> order(records.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const FolderTree::Compare compare = CompareFor(m_sortState);
    if (compare != nullptr && order.size() > 1) {
        // Two scratch nodes stand for the children being compared.
        FolderTreeNode x, y;
        const auto stand = [&](FolderTreeNode& n, std::uint32_t i) -> const FolderTreeNode& {
            n.record = records[i];
            n.caption = captions[i].c_str();
            n.captionLength = static_cast<std::uint32_t>(captions[i].size());
            return n;
        };
        StableSort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return compare(stand(x, a), stand(y, b), &m_collation) < 0;
        });
    }
    std::vector<FolderTree::NewChild> children;
    children.reserve(order.size());
    for (const std::uint32_t i : order)
        children.push_back({records[i], captions[i]});
    m_tree.AppendChildren(node, children);
    m_tree.SetChildrenLoaded(parent, node);
}

void ResultViews::AddNodesAtOnce() {
    // The folder list is in pre-order and siblings share one directory text, so a folder's
    // parent is the folder whose children carry that same pointer; one not met before is the
    // first child of the folder just added. Record depths stop at 255 and cannot tell this.
    std::unordered_map<const char16_t*, Node*> parentOf;
    Node* last = nullptr;
    for (int index = 0; index < m_recordCount; ++index) {
        FolderRecord* r = m_folderRecords[static_cast<std::size_t>(index)];
        if (r == nullptr) // an engine that wrote fewer records than it counted
            continue;
        Node* parent = nullptr;
        if (last != nullptr && r->depth != 0)
            parent = parentOf.try_emplace(r->directory, last).first->second;
        last = m_tree.AppendChild(parent, r, MakeNodeCaption(*r));
    }
}

int ResultViews::FolderState(const FolderRecord& record) const {
    return record.kind == DVO_KIND_FOLDER ? m_engine.DVOGetFolderState(&record) : DVO_FOLDER_READ;
}

std::string ResultViews::FolderNote(int state) {
    switch (state) {
    case DVO_FOLDER_UNREADABLE: return " ［読み取れません］";
    case DVO_FOLDER_PARTIAL: return " ［未検索］";
    case DVO_FOLDER_MOUNT_POINT: return " ［別のファイルシステム］";
    default: return {};
    }
}

std::string ResultViews::MakeNodeCaption(const FolderRecord& record) const {
    std::string caption =
        platform::Utf16ArrayToUtf8(record.name, DVO_NAME_UNITS) + FolderNote(FolderState(record));
    if (m_view.IsMenuChecked(MenuCheck::ShowNumberOfFiles) && record.kind == DVO_KIND_FOLDER) {
        // A 32-bit sum, wrapping as the counts' own type does.
        const auto total =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(record.folderCount) +
                                      static_cast<std::uint32_t>(record.fileCount));
        caption += " (" + std::to_string(total) + ")";
    }
    return caption;
}

void ResultViews::SearchResultTreeExpanding(Node* node) {
    if (!m_view.IsMenuChecked(MenuCheck::TreeProgress))
        return;
    const BusyCursor busy(m_window);
    if (m_loading) {
        // The background load brings the rest; what the expanded node shows comes now.
        for (Node* child : m_tree.Children(node))
            LoadChildNodes(child);
        return;
    }
    // Loading a node that is not pending does nothing, so the walk ends once none is left.
    for (Node* n = m_tree.FirstChild(node); n != nullptr && m_tree.PendingCount() != 0;
         n = m_tree.NextInTreeOrder(n))
        LoadChildNodes(n);
}

TreeFontStyle ResultViews::SearchResultTreeCustomDrawItem(const Node* node) {
    if (node != nullptr && node->record != nullptr) {
        if (node->record->kind == DVO_KIND_FOLDER)
            m_treeFontStyle = TreeFontStyle::BoldItalic;
        else if (node->record->kind == DVO_KIND_FILE)
            m_treeFontStyle = TreeFontStyle::Regular;
    }
    return m_treeFontStyle;
}

void ResultViews::SearchResultTreeKeyUp(int virtualKey) {
    if (virtualKey == kVirtualKeyUp || virtualKey == kVirtualKeyDown)
        ShowSelectedFolder();
}

void ResultViews::SearchResultTreeMouseDown() {
    ShowSelectedFolder();
    m_window.SetStatusText("フォルダ内容を表示しています");
}

void ResultViews::ShowSelectedFolder() {
    Node* selected = m_view.CurrentTreeNode();
    if (selected == nullptr || m_tree.Ref(selected) == m_lastSelectedNode)
        return;
    m_lastSelectedNode = m_tree.Ref(selected);
    ShowFolderContents(selected);
}

void ResultViews::SelectTreeNode(Node* node) {
    if (node == nullptr || !node->alive)
        return;
    m_view.SetCurrentTreeNode(node, false);
    m_view.SetTreeSelectionVisible(true);
    SearchResultTreeMouseDown();
}

void ResultViews::SelectEntry(Node* folder, const FolderRecord* entry) {
    SelectTreeNode(folder);
    if (entry == nullptr || ShownNode() != folder)
        return;
    for (int row = 1; row <= m_shownRowCount; ++row) {
        if (m_grid.DataRow(row).record != entry)
            continue;
        const int top = m_view.GridTopRow();
        const int visible = std::max(1, m_view.GridVisibleRowCount());
        if (row < top || row >= top + visible)
            m_view.SetGridTopRow(std::max(1, row - visible / 2));
        m_view.SetGridCurrentRow(row);
        return;
    }
}

void ResultViews::AddWatcher(IResultViewsWatcher* watcher) {
    if (watcher != nullptr &&
        std::find(m_watchers.begin(), m_watchers.end(), watcher) == m_watchers.end())
        m_watchers.push_back(watcher);
}

void ResultViews::RemoveWatcher(IResultViewsWatcher* watcher) { std::erase(m_watchers, watcher); }

// ---- orders ---------------------------------------------------------------------------------

void ResultViews::SortFolderTree(int state) {
    m_window.SetStatusText("フォルダツリーをソートしています...");
    {
        const BusyCursor busy(m_window);
        ReorderFolderTree(state);
        ShowSelectedFolder();
    }
    m_window.SetStatusText("検索結果を表示します.");
}

void ResultViews::SortFolderTreeByMenu(int state) {
    m_window.SetStatusText("フォルダツリーをソートしています...");
    m_window.PushHourGlassCursor();
    {
        CursorPop popOnFailure(m_window);
        ReorderFolderTree(state);
        popOnFailure.Release();
    }
    // The shown folder, the cursor and the status once the widget has laid out the rows anew:
    // at a million expanded rows the sort and that layout would be one long stall together.
    m_view.AfterTreeLayout([this] {
        {
            const CursorPop pop(m_window);
            ShowSelectedFolder();
        }
        m_window.SetStatusText("検索結果を表示します.");
    });
}

void ResultViews::ReorderFolderTree(int state) {
    ClearRowMarks(); // marks are on rows, and the rows move
    SortWholeTree(state);
    m_lastSelectedNode = {};
    SetColumnTitles(state);
}

void ResultViews::SortWholeTree(int state) {
    // A million comparisons that each follow two nodes to their records or captions cost more
    // than reading each once.
    if (state == kSortSizeAscending || state == kSortSizeDescending)
        m_tree.SortAllLevelsByKey(SizeKey, state == kSortSizeDescending);
    else if (state == kSortCaptionDescending)
        m_tree.SortAllLevelsByText(CaptionKey, true);
    else if (const FolderTree::Compare compare = CompareFor(state); compare != nullptr)
        m_tree.SortAllLevels(compare, &m_collation, m_collationConcurrent);
}

FolderTree::Compare ResultViews::CompareFor(int state) const {
    switch (state) {
    case kSortSizeAscending: return CompareSizeUp;
    case kSortSizeDescending: return CompareSizeDown;
    case kSortCaptionAscending: return CompareCaptionUp;
    case kSortCaptionDescending: return CompareCaptionDown;
    default: return nullptr;
    }
}

void ResultViews::mnuSortNoneClick() {
    m_sortState = kSortNone;
    SortFolderTreeByMenu(m_sortState);
}

void ResultViews::mnuSortSizeUpClick() {
    m_sortState = kSortSizeAscending;
    SortFolderTreeByMenu(m_sortState);
}

void ResultViews::mnuSizeDownClick() {
    m_sortState = kSortSizeDescending;
    SortFolderTreeByMenu(m_sortState);
}

void ResultViews::mnuAlphaClick() {
    m_sortState = kSortCaptionAscending;
    SortFolderTreeByMenu(m_sortState);
}

void ResultViews::mnuAlphaDownClick() {
    m_sortState = kSortCaptionDescending;
    SortFolderTreeByMenu(m_sortState);
}

void ResultViews::lsSearchResultMouseUp(int column, int row) {
    if (row != 0)
        return;
    if (column == 0)
        m_sortState =
            m_sortState == kSortCaptionAscending ? kSortCaptionDescending : kSortCaptionAscending;
    else if (column == 2)
        m_sortState = m_sortState == kSortSizeAscending ? kSortSizeDescending : kSortSizeAscending;
    SortFolderTreeByMenu(m_sortState);
    SetSortMenu(m_sortState);
}

void ResultViews::SetSortMenu(int state) {
    static constexpr MenuCheck kItems[] = {MenuCheck::SortNone, MenuCheck::SortSizeUp,
                                           MenuCheck::SortSizeDown, MenuCheck::SortAlpha,
                                           MenuCheck::SortAlphaDown};
    for (int i = 0; i < 5; ++i)
        m_view.SetMenuChecked(kItems[i], i == state);
}

// ---- contents grid --------------------------------------------------------------------------

void ResultViews::SetColumnTitles(int state) {
    m_grid.titles = {kTitleName, kTitleRatio, kTitleSize, kTitleTime};
    switch (state) {
    case kSortSizeAscending: m_grid.titles[2] += kMarkAscending; break;
    case kSortSizeDescending: m_grid.titles[2] += kMarkDescending; break;
    case kSortCaptionAscending: m_grid.titles[0] += kMarkAscending; break;
    case kSortCaptionDescending: m_grid.titles[0] += kMarkDescending; break;
    default: break;
    }
    m_view.RepaintGrid();
}

std::string ResultViews::EngineText(int (IEngine::*format)(char16_t*, int, long long),
                                    long long value) {
    char16_t buffer[DVO_DISPLAY_TEXT_UNITS] = {};
    (m_engine.*format)(buffer, static_cast<int>(sizeof buffer), value);
    return platform::Utf16ArrayToUtf8(buffer, DVO_DISPLAY_TEXT_UNITS);
}

void ResultViews::ShowFolderContents(Node* node) {
    const BusyCursor busy(m_window);
    if (node != nullptr && node->record != nullptr && node->record->kind == DVO_KIND_FILE)
        node = m_tree.Parent(node);
    if (node == nullptr) {
        m_shownRowCount = 0;
        return;
    }
    if (m_loading)
        LoadChildNodes(node); // a folder the background load has not reached yet
    // Marks belong to entries: listing the same folder again keeps them on their entries
    // (rows may have gone or moved), another folder starts with none.
    std::vector<const FolderRecord*> marked;
    if (ShownNode() == node)
        for (int row = 1; row <= m_shownRowCount; ++row)
            if (RowMarked(row))
                marked.push_back(m_grid.DataRow(row).record);
    m_shownRowCount = 0;
    m_rowMarks.clear();
    m_shownNode = m_tree.Ref(node);
    for (IResultViewsWatcher* watcher : m_watchers)
        watcher->ShownFolderChanged();
    const long long parentSize = node->record != nullptr ? node->record->size : 0;
    const auto children = m_tree.Children(node);
    const auto n = static_cast<int>(children.size());
    m_view.BeginGridUpdate();
    m_grid.SetRowCount(2);
    m_grid.rows[0] = ResultGrid::Row{};
    if (n < 1) {
        m_view.EndGridUpdate();
        ShowMarkSummary();
        return;
    }
    m_grid.SetRowCount(n + 1);
    for (int i = 0; i < n; ++i) {
        FolderRecord* r = children[static_cast<std::size_t>(i)]->record;
        ResultGrid::Row& row = m_grid.rows[static_cast<std::size_t>(i)];
        if (r == nullptr) {
            row = ResultGrid::Row{};
            ++m_shownRowCount;
            continue;
        }
        const int state = FolderState(*r);
        // Nothing read of a folder that could not be opened: its size is not known to be 0.
        const bool unknown = SizeUnknown(*r) || (state == DVO_FOLDER_UNREADABLE && r->size == 0 &&
                                                 r->folderCount == 0 && r->fileCount == 0);
        row.cells[1] = unknown ? "" : RatioText(r->size, parentSize);
        row.cells[2] = unknown ? kUnknown : EngineText(&IEngine::DVOFileSize2String, r->size);
        if (SizeUnknown(*r)) {
            row.cells[3] = kUnknown;
        } else {
            char16_t time[DVO_DISPLAY_TEXT_UNITS] = {};
            m_engine.DVOSystemTime2String(time, static_cast<int>(sizeof time), &r->modifiedTime);
            row.cells[3] = platform::Utf16ArrayToUtf8(time, DVO_DISPLAY_TEXT_UNITS);
        }
        row.record = r;
        row.cells[0] = platform::Utf16ArrayToUtf8(r->name, DVO_NAME_UNITS) + FolderNote(state);
        ++m_shownRowCount;
    }
    try {
        if (m_failRowMarks) {
            m_failRowMarks = false;
            throw std::bad_alloc();
        }
        m_rowMarks.assign(static_cast<std::size_t>(m_shownRowCount), false);
        std::sort(marked.begin(), marked.end(), std::less<>());
        for (int i = 0; i < m_shownRowCount && !marked.empty(); ++i)
            if (std::binary_search(marked.begin(), marked.end(),
                                   m_grid.rows[static_cast<std::size_t>(i)].record, std::less<>()))
                m_rowMarks[static_cast<std::size_t>(i)] = true;
    } catch (const std::bad_alloc&) {
        m_window.ShowMessageDlg("Cannot allocate show information buffer.", MessageKind::Error,
                                MessageButton::OK);
    }
    m_view.EndGridUpdate();
    ShowMarkSummary();
}

bool ResultViews::RowMarked(int row) const {
    return row >= 1 && static_cast<std::size_t>(row) <= m_rowMarks.size() &&
           m_rowMarks[static_cast<std::size_t>(ResultGrid::DataIndexOf(row))];
}

void ResultViews::ToggleRowMark(int row) {
    if (row <= 0 || row > m_shownRowCount || static_cast<std::size_t>(row) > m_rowMarks.size())
        return;
    RowMark(row) = !RowMark(row);
    m_view.RepaintGrid();
    ShowMarkSummary();
}

void ResultViews::ClearRowMarks() {
    std::fill(m_rowMarks.begin(), m_rowMarks.end(), false);
    ShowMarkSummary();
}

int ResultViews::MarkedCount() const {
    return static_cast<int>(std::count(m_rowMarks.begin(), m_rowMarks.end(), true));
}

long long ResultViews::MarkedSize() const {
    long long total = 0;
    for (int row = 1; row <= m_shownRowCount; ++row)
        if (const FolderRecord* r = m_grid.DataRow(row).record; r != nullptr && RowMarked(row))
            total += r->size;
    return total;
}

void ResultViews::ShowMarkSummary() {
    const int count = MarkedCount();
    m_window.SetStatusField(StatusField::Marks,
                            count == 0
                                ? std::string()
                                : "マーク: " + std::to_string(count) + " 件 " +
                                      EngineText(&IEngine::DVOFileSize2String, MarkedSize()));
}

std::optional<Rgb> ResultViews::lsSearchResultDrawCell(int /*column*/, int row) const {
    if (row == 0 || m_window.FormCreating() || m_shownRowCount == 0)
        return std::nullopt;
    if (RowMarked(row))
        return kMarkColour;
    return std::nullopt; // the colour the grid prepared for the cell
}

void ResultViews::lsSearchResultClick() { ToggleRowMark(m_view.GridRowUnderPointer()); }

void ResultViews::lsSearchResultKeyDown(int virtualKey) {
    if (virtualKey == kVirtualKeySpace)
        ToggleRowMark(m_view.GridCurrentRow());
}

bool ResultViews::lsSearchResultMouseWheelDown() {
    if (m_view.GridVisibleRowCount() + m_view.GridTopRow() < m_grid.RowCount())
        m_view.SetGridTopRow(m_view.GridTopRow() + 1);
    return true;
}

bool ResultViews::lsSearchResultMouseWheelUp() {
    if (m_view.GridTopRow() > 1)
        m_view.SetGridTopRow(m_view.GridTopRow() - 1);
    return true;
}

void ResultViews::spSearchResultMoved() {
    const int left = m_view.SplitterLeft() + m_view.SplitterWidth() + 1;
    const int width = m_view.ResultGroupWidth() - m_view.SplitterLeft() - 1;
    m_view.SetGridPanelBounds(left, width);
    ApplyColumnZeroWidth(width);
}

void ResultViews::GridColumnResized(int column, int width) {
    if (column >= 0 && column < ResultGrid::kColumns)
        m_grid.columnWidths[static_cast<std::size_t>(column)] = width;
}

void ResultViews::ApplyColumnZeroWidth(int panelWidth) {
    auto& w = m_grid.columnWidths;
    w[0] = panelWidth - (w[1] + w[2] + w[3]);
    m_view.RepaintGrid();
}

// ---- changes made by the file commands ------------------------------------------------------

void ResultViews::FileOperationStarting() {
    // The operation changes records and nodes: no slice may load from them meanwhile.
    FinishTreeLoad();
    for (IResultViewsWatcher* watcher : m_watchers)
        watcher->FileOperationStarted();
}

void ResultViews::UnmarkEntries(std::vector<const FolderRecord*> entries) {
    std::sort(entries.begin(), entries.end(), std::less<>());
    for (int row = 1; row <= m_shownRowCount; ++row)
        if (RowMarked(row) && std::binary_search(entries.begin(), entries.end(),
                                                 m_grid.DataRow(row).record, std::less<>()))
            RowMark(row) = false;
}

void ResultViews::FileOperationEnded(bool entriesWent, Node* movedInto) {
    if (entriesWent) {
        std::vector<Node*> changed;
        if (Node* shown = ShownNode())
            changed.push_back(shown);
        if (movedInto != nullptr && movedInto->alive)
            changed.push_back(movedInto);
        RefreshFolders(changed);
    }
    RefillShownFolder();
    ShowMarkSummary();
    ShowTotals();
    m_view.RepaintGrid();
    for (IResultViewsWatcher* watcher : m_watchers)
        watcher->FileOperationEnded();
}

void ResultViews::RemoveChildNode(const FolderRecord* record, bool stillSearched) {
    Node* shown = ShownNode();
    if (shown == nullptr || record == nullptr)
        return;
    for (Node* child : m_tree.Children(shown)) {
        const FolderRecord* r = child->record;
        if (r == record) {
            // The folder and every folder below it go.
            if (r->kind == DVO_KIND_FOLDER && !stillSearched)
                m_removedFolderRecords += r->folderCount + 1;
            // A folder that moved within the search keeps its records: they are loaded again at
            // the new place, so their flags must say they have not been.
            std::vector<FolderRecord*> reload;
            if (stillSearched)
                for (Node* n = child; n != nullptr && (n == child || IsBelow(n, child));
                     n = m_tree.NextInTreeOrder(n))
                    if (n->record != nullptr && n->record->kind == DVO_KIND_FOLDER)
                        reload.push_back(n->record);
            m_tree.Remove(child); // the record stays with the engine
            for (FolderRecord* folder : reload)
                folder->childrenLoaded = 0;
            return;
        }
    }
}

namespace {

// A folder node's path as the records give it: its folder's path, one '/', its name.
std::string NodePath(const FolderTreeNode& node) { return RecordPath(*node.record); }

} // namespace

ResultViews::Node* ResultViews::FindFolderNode(const std::string& path) const {
    // Without loading, the walk changes nothing.
    return const_cast<ResultViews*>(this)->WalkToFolder(path, false);
}

std::string ResultViews::SearchedFolderPath() const {
    const Node* top = m_tree.FirstTopLevel();
    return top != nullptr && top->record != nullptr ? NodePath(*top) : std::string();
}

ResultViews::Node* ResultViews::RevealFolderNode(const std::string& path) {
    return WalkToFolder(path, true);
}

ResultViews::Node* ResultViews::WalkToFolder(const std::string& path, bool reveal) {
    Node* node = m_tree.FirstTopLevel();
    if (node == nullptr || node->record == nullptr)
        return nullptr;
    const std::string top = NodePath(*node);
    if (path == top)
        return node;
    const std::string prefix = top.ends_with('/') ? top : top + '/';
    if (!path.starts_with(prefix))
        return reveal ? node : nullptr;
    std::string_view rest = std::string_view(path).substr(prefix.size());
    while (!rest.empty() && node != nullptr) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty())
            continue;
        if (reveal)
            LoadChildNodes(node);
        Node* next = nullptr;
        for (Node* child : m_tree.Children(node))
            if (child->record != nullptr && child->record->kind == DVO_KIND_FOLDER &&
                platform::Utf16ToUtf8(RecordName(*child->record)) == part) {
                next = child;
                break;
            }
        if (next == nullptr && reveal)
            return node; // the deepest folder of the path that is in the result
        node = next;
    }
    return node;
}

void ResultViews::AddMovedNode(Node* into, const std::u16string& name) {
    // The tree built at once holds every folder and no file; the progressive one a folder's
    // children once it has been loaded, and the moved entry comes with them when it is later.
    const bool atOnce = m_view.IsMenuChecked(MenuCheck::TreeAtOnce);
    if (into == nullptr || into->record == nullptr ||
        (!atOnce && into->record->childrenLoaded == 0))
        return;
    FolderRecord* moved = nullptr;
    for (FolderRecord* child = m_engine.DVOGetFirstFolderInfo(into->record); child != nullptr;
         child = m_engine.DVOGetNextFolderInfo(into->record))
        if (RecordName(*child) == name)
            moved = child;
    if (moved == nullptr || (atOnce && moved->kind != DVO_KIND_FOLDER))
        return;
    for (const Node* existing : m_tree.Children(into))
        if (existing->record == moved)
            return;
    Node* node = m_tree.AppendChild(into, moved, MakeNodeCaption(*moved));
    if (moved->kind != DVO_KIND_FOLDER)
        return;
    if (!atOnce) {
        LoadChildNodes(node); // one level ahead, as for every shown folder
        return;
    }
    std::vector<Node*> pending{node};
    while (!pending.empty()) {
        Node* folder = pending.back();
        pending.pop_back();
        std::vector<FolderRecord*> folders;
        for (FolderRecord* c = m_engine.DVOGetFirstFolderInfo(folder->record); c != nullptr;
             c = m_engine.DVOGetNextFolderInfo(folder->record))
            if (c->kind == DVO_KIND_FOLDER)
                folders.push_back(c);
        for (FolderRecord* c : folders)
            pending.push_back(m_tree.AppendChild(folder, c, MakeNodeCaption(*c)));
    }
}

void ResultViews::RefreshFolders(const std::vector<Node*>& changed) {
    // Every folder above a change has new figures: its caption (the count) and its place among
    // its siblings (the size) follow them; so do the changed folders' own children.
    std::vector<Node*> parents;
    for (Node* n : changed) {
        if (n == nullptr || !n->alive)
            continue;
        parents.push_back(n);
        for (Node* up = n; up != nullptr; up = m_tree.Parent(up)) {
            if (up->record != nullptr)
                m_tree.SetCaption(up, MakeNodeCaption(*up->record));
            parents.push_back(m_tree.Parent(up));
        }
    }
    std::sort(parents.begin(), parents.end());
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
    m_tree.SortChildrenOf(parents, CompareFor(m_sortState), &m_collation);
}

// ---- tree-wide commands and export items ----------------------------------------------------

void ResultViews::N3Click() {
    if (m_window.CurrentSearchProgress().folderCount > kExpandAllWithoutAsking &&
        m_window.ShowMessageBox(
            "表示されている全てのフォルダの展開には非常に時間がかかりますが実行しますか？"
            "（途中でキャンセルできません）",
            MessageKind::Confirmation,
            MessageButton::OK | MessageButton::Cancel) != MessageResult::OK)
        return;
    FinishTreeLoad();
    m_window.SetStatusText("フォルダを展開しています...");
    // Every expansion runs the expanding handler first, as a click would; once nothing is left
    // to load it would only walk the tree again, so the later ones are skipped.
    for (Node* n = m_tree.FirstTopLevel(); n != nullptr; n = m_tree.NextInTreeOrder(n)) {
        if (n->children.empty())
            continue;
        if (m_tree.PendingCount() != 0)
            SearchResultTreeExpanding(n);
        n->expanded = true;
    }
    m_view.ExpandAllTreeNodes();
    m_window.SetStatusText("フォルダの展開を完了しました");
}

void ResultViews::N4Click() {
    for (Node* n = m_tree.FirstTopLevel(); n != nullptr; n = m_tree.NextInTreeOrder(n))
        n->expanded = false;
    m_view.CollapseAllTreeNodes();
    m_window.SetStatusText("フォルダを収容しました");
}

// The menu item is checkable and flips its own check; captions read it as nodes are added, so
// the tree on screen keeps its captions until the next search.
void ResultViews::mnuShowNumberOfFilesClick() {}

void ResultViews::mnuExportFolderTreeClick() { ExportFolderTree(); }
void ResultViews::mnuExportFileListClick() { ExportFileList(); }

} // namespace dvo::app
