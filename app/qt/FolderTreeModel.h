#pragma once
// Qt item model over the folder tree: one column, a node's caption; the index's internal id
// stands for the node (its address, mixed: see IdOf), and its row is the node's kept row, so no
// lookup runs in parent().
#include "app/views/FolderTree.h"

#include <QAbstractItemModel>
#include <QTreeView>

namespace dvo::qt {

class FolderTreeModel final : public QAbstractItemModel, private app::FolderTreeObserver {
    Q_OBJECT
public:
    explicit FolderTreeModel(app::FolderTree& tree, QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // Between these the model reports one reset instead of every change (a tree build). A
    // reset keeps every node that is not removed: views listening to modelAboutToBeReset and
    // modelReset can save their state by node and give it back.
    void BeginBatch();
    void EndBatch();

    [[nodiscard]] QModelIndex IndexOf(const app::FolderTreeNode* node) const;
    [[nodiscard]] static app::FolderTreeNode* NodeOf(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void BeforeReset() override;
    void AfterReset() override;
    void BeforeInsert(app::FolderTreeNode* parent, std::uint32_t first,
                      std::uint32_t last) override;
    void AfterInsert() override;
    void BeforeRemove(app::FolderTreeNode* node) override;
    void AfterRemove() override;
    void BeforeReorder() override;
    void AfterReorder() override;

    app::FolderTree& m_tree; // owned by the window logic, outlives the model
    int m_batchDepth = 0;
    QModelIndexList m_reorderIndexes;
};

// The folder tree's widget: a tree view that can be told a layout is due, so that a slice of
// insertions costs one layout instead of a search of the shown rows per inserted parent.
class FolderTreeView final : public QTreeView {
public:
    using QTreeView::QTreeView;
    void ScheduleLayout() { scheduleDelayedItemsLayout(); }
    // The layout that is scheduled, now; nothing when none is.
    void LayOutNow() { executeDelayedItemsLayout(); }
    // How often the view laid every shown row out (a tenth of a second at a million).
    [[nodiscard]] int FullLayouts() const { return m_fullLayouts; }
    void doItemsLayout() override {
        ++m_fullLayouts;
        QTreeView::doItemsLayout();
    }

private:
    int m_fullLayouts = 0;
};

} // namespace dvo::qt
