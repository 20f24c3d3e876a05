#include "app/qt/FolderTreeModel.h"

#include "app/qt/PlainTextToolTip.h"
#include "app/views/RecordText.h"

#include <algorithm>
#include <bit>

namespace dvo::qt {
namespace {

// Views hash indexes by row plus internal id (QTreeView's expanded set, the persistent indexes),
// and Qt's hash tables take the low bits as they are: nodes' addresses step by their size, so
// their low bits barely change and a hundred thousand expanded folders crowd into a few buckets.
// An index therefore carries the address times an odd constant, turned so that the product's
// best mixed upper half comes first (a product keeps the address's zero low bits); both steps
// are undone exactly.
constexpr quintptr kIdFactor = static_cast<quintptr>(0x9E3779B97F4A7C15ull);
constexpr quintptr Inverse(quintptr odd) {
    quintptr x = odd; // Newton's iteration doubles the correct low bits each step
    for (int i = 0; i < 6; ++i)
        x *= 2 - odd * x;
    return x;
}
constexpr quintptr kIdInverse = Inverse(kIdFactor);
static_assert(kIdFactor * kIdInverse == 1);
constexpr int kIdTurn = 32;
static_assert(sizeof(quintptr) == 8, "the turn splits a 64-bit id in halves");

quintptr IdOf(const app::FolderTreeNode* node) {
    return std::rotr(reinterpret_cast<quintptr>(node) * kIdFactor, kIdTurn);
}

} // namespace

FolderTreeModel::FolderTreeModel(app::FolderTree& tree, QObject* parent)
    : QAbstractItemModel(parent), m_tree(tree) {
    m_tree.SetObserver(this);
}

FolderTreeModel::~FolderTreeModel() { m_tree.SetObserver(nullptr); }

void FolderTreeModel::BeginBatch() {
    if (m_batchDepth++ == 0)
        beginResetModel();
}

void FolderTreeModel::EndBatch() {
    if (m_batchDepth > 0 && --m_batchDepth == 0)
        endResetModel();
}

app::FolderTreeNode* FolderTreeModel::NodeOf(const QModelIndex& index) {
    return index.isValid()
               ? reinterpret_cast<app::FolderTreeNode*>(
                     std::rotl(static_cast<quintptr>(index.internalId()), kIdTurn) * kIdInverse)
               : nullptr;
}

QModelIndex FolderTreeModel::IndexOf(const app::FolderTreeNode* node) const {
    if (node == nullptr || !node->alive)
        return {};
    return createIndex(static_cast<int>(node->row), 0, IdOf(node));
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0 || (parent.isValid() && parent.column() != 0))
        return {};
    const auto children = m_tree.Children(NodeOf(parent));
    const auto at = static_cast<std::size_t>(row);
    if (at >= children.size())
        return {};
    // The view lays its rows out one after the other and asks each row's flags next, which
    // reads the node: after a sort the nodes lie scattered, so they are fetched ahead, a
    // folder's first ones together (most folders hold a few entries).
    constexpr std::size_t kAhead = 16;
    if (at == 0)
        for (std::size_t i = 0; i < std::min(kAhead, children.size()); ++i)
            __builtin_prefetch(children[i]);
    else if (at + kAhead - 1 < children.size())
        __builtin_prefetch(children[at + kAhead - 1]);
    return createIndex(row, 0, IdOf(children[at]));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    return IndexOf(m_tree.Parent(NodeOf(child)));
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(m_tree.Children(NodeOf(parent)).size());
}

int FolderTreeModel::columnCount(const QModelIndex& /*parent*/) const { return 1; }

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    const app::FolderTreeNode* node = NodeOf(index);
    if (node == nullptr)
        return {};
    if (role == Qt::ToolTipRole && node->record != nullptr)
        return PlainTextToolTip(QString::fromStdString(app::RecordPath(*node->record)));
    if (role != Qt::DisplayRole)
        return {};
    return QString::fromUtf8(node->caption, static_cast<qsizetype>(node->captionLength));
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // An entry that is not a folder never gets children: saying so spares the view a lookup in
    // its expanded set for each of them at every layout (nine rows in ten of a large tree).
    const app::FolderTreeNode* node = NodeOf(index);
    const bool leaf = node != nullptr && node->entry && node->children.empty();
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | // captions are read-only
           (leaf ? Qt::ItemNeverHasChildren : Qt::NoItemFlags);
}

void FolderTreeModel::BeforeReset() {
    if (m_batchDepth == 0)
        beginResetModel();
}

void FolderTreeModel::AfterReset() {
    if (m_batchDepth == 0)
        endResetModel();
}

void FolderTreeModel::BeforeInsert(app::FolderTreeNode* parent, std::uint32_t first,
                                   std::uint32_t last) {
    if (m_batchDepth == 0)
        beginInsertRows(IndexOf(parent), static_cast<int>(first), static_cast<int>(last));
}

void FolderTreeModel::AfterInsert() {
    if (m_batchDepth == 0)
        endInsertRows();
}

void FolderTreeModel::BeforeRemove(app::FolderTreeNode* node) {
    if (m_batchDepth == 0) {
        const int row = static_cast<int>(node->row);
        beginRemoveRows(IndexOf(m_tree.Parent(node)), row, row);
    }
}

void FolderTreeModel::AfterRemove() {
    if (m_batchDepth == 0)
        endRemoveRows();
}

void FolderTreeModel::BeforeReorder() {
    if (m_batchDepth != 0)
        return;
    // A layout change, not a reset, even with a hundred thousand folders expanded: the view's
    // expanded set hashes its persistent indexes by identity, so moving them keeps every folder
    // expanded, and the view lays its rows out once. A reset would make it forget them all and
    // expand each again.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_reorderIndexes = persistentIndexList();
}

void FolderTreeModel::AfterReorder() {
    if (m_batchDepth != 0)
        return;
    // Nodes keep their addresses through a sort; only their rows changed, and an index whose
    // row stayed needs no move (each move costs Qt a hash entry freed and one made).
    QModelIndexList from;
    QModelIndexList to;
    for (const QModelIndex& old : m_reorderIndexes) {
        const app::FolderTreeNode* node = NodeOf(old);
        if (node != nullptr && static_cast<int>(node->row) == old.row())
            continue;
        from.append(old);
        to.append(node != nullptr
                      ? createIndex(static_cast<int>(node->row), old.column(), IdOf(node))
                      : QModelIndex());
    }
    if (!from.isEmpty())
        changePersistentIndexList(from, to);
    m_reorderIndexes.clear();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace dvo::qt
