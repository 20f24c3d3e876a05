// The result views' side of reading one folder again: the folder keeps its node and record,
// everything below it is built anew from the engine's new records.
#include "app/views/BusyCursor.h"
#include "app/views/RecordText.h"
#include "app/views/ResultViews.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace dvo::app {

namespace {

// The names from below `top` down to node.
std::vector<std::u16string> NamesBelow(const FolderTreeNode* top, const FolderTreeNode* node) {
    std::vector<std::u16string> names;
    for (const FolderTreeNode* n = node; n != top && n != nullptr; n = n->parent)
        names.emplace_back(RecordName(*n->record));
    std::reverse(names.begin(), names.end());
    return names;
}

} // namespace

FolderRecord* ResultViews::SelectedFolderRecord() {
    Node* node = m_view.CurrentTreeNode();
    if (node == nullptr || !node->alive || node->record == nullptr ||
        node->record->kind != DVO_KIND_FOLDER)
        return nullptr;
    return node->record;
}

void ResultViews::RescanStarting() {
    m_rescanning = true;
    m_rescanNode = m_tree.Ref(m_view.CurrentTreeNode());
    // The engine's records are out of reach until the end, as during a file operation.
    for (IResultViewsWatcher* watcher : m_watchers)
        watcher->FileOperationStarted();
}

void ResultViews::RescanEnded(FolderRecord* record, bool gone) {
    m_rescanning = false;
    Node* node = m_tree.Resolve(std::exchange(m_rescanNode, {}));
    if (node != nullptr && node->record != record)
        node = nullptr;
    const BusyCursor busy(m_window);
    const bool atOnce = m_view.IsMenuChecked(MenuCheck::TreeAtOnce);
    Node* refill = nullptr;
    if (node != nullptr) {
        m_view.BeginTreeUpdate();
        if (gone) {
            refill = m_tree.Parent(node);
            m_tree.Remove(node);
            if (refill != nullptr)
                RefreshFolders({refill});
        } else {
            // Where the user had opened the folders below, by their names: the new records are
            // other ones.
            std::vector<std::vector<std::u16string>> expanded;
            // A rescan that changed nothing (cancelled, refused) lists the same records again:
            // their folders must be loaded anew under the new nodes.
            std::vector<FolderRecord*> reload;
            for (Node* n = m_tree.FirstChild(node); n != nullptr && IsBelow(n, node);
                 n = m_tree.NextInTreeOrder(n)) {
                if (n->expanded)
                    expanded.push_back(NamesBelow(node, n));
                if (n->record != nullptr && n->record->kind == DVO_KIND_FOLDER)
                    reload.push_back(n->record);
            }
            while (!node->children.empty())
                m_tree.Remove(node->children.back());
            for (FolderRecord* folder : reload)
                folder->childrenLoaded = 0; // their nodes are gone, so no count is off
            m_tree.SetChildrenUnloaded(record, node);
            if (atOnce) {
                // The tree built at once holds every folder and no file.
                std::vector<Node*> folders{node};
                for (std::size_t i = 0; i < folders.size(); ++i) {
                    Node* folder = folders[i];
                    std::vector<FolderRecord*> children;
                    for (FolderRecord* c = m_engine.DVOGetFirstFolderInfo(folder->record);
                         c != nullptr; c = m_engine.DVOGetNextFolderInfo(folder->record))
                        if (c->kind == DVO_KIND_FOLDER)
                            children.push_back(c);
                    for (FolderRecord* c : children)
                        folders.push_back(m_tree.AppendChild(folder, c, MakeNodeCaption(*c)));
                }
                m_tree.SortChildrenOf(folders, CompareFor(m_sortState), &m_collation);
            } else {
                LoadChildNodes(node);
                if (node->expanded)
                    SearchResultTreeExpanding(node); // as when it was opened
            }
            for (const auto& names : expanded) {
                Node* at = node;
                for (const std::u16string& name : names) {
                    if (!atOnce)
                        LoadChildNodes(at);
                    Node* next = nullptr;
                    for (Node* c : m_tree.Children(at))
                        if (c->record != nullptr && RecordName(*c->record) == name)
                            next = c;
                    at = next;
                    if (at == nullptr)
                        break;
                }
                if (at != nullptr) {
                    at->expanded = true;
                    if (!atOnce) {
                        LoadChildNodes(at);
                        for (Node* c : m_tree.Children(at))
                            LoadChildNodes(c); // one level ahead, as for an opened folder
                    }
                }
            }
            RefreshFolders({node});
            refill = node;
        }
        m_view.EndTreeUpdate();
        // A second pass lets the widget take the expanded marks of the new nodes.
        m_view.BeginTreeUpdate();
        m_view.EndTreeUpdate();
    }

    // The folder list and its count are the engine's new ones; folders deleted or moved away
    // since the search stay off the count, as the engine's totals have them.
    LoadFolderRecords();
    m_window.RefreshSearchTotals();
    m_removedFolderRecords =
        std::max(0, m_recordCount - (m_window.CurrentSearchProgress().folderCount + 1));

    if (refill != nullptr) {
        m_view.SetCurrentTreeNode(refill, false);
        m_view.SetTreeSelectionVisible(true);
        m_lastSelectedNode = m_tree.Ref(refill);
        ShowFolderContents(refill);
    } else if (node != nullptr && gone) {
        ResetResultGrid(); // the searched folder itself went: nothing is left to list
    } else if (Node* shown = ShownNode()) {
        ShowFolderContents(shown);
    }
    ShowMarkSummary();
    m_view.RepaintGrid();
    for (IResultViewsWatcher* watcher : m_watchers)
        watcher->FileOperationEnded();
}

} // namespace dvo::app
