#include "app/qt/ResultGridModel.h"

#include "app/main/UserTexts.h"
#include "app/qt/PlainTextToolTip.h"
#include "app/views/RecordText.h"

#include <QBrush>
#include <QColor>

namespace dvo::qt {

ResultGridModel::ResultGridModel(const dvo::app::ResultViews& results, QObject* parent)
    : QAbstractTableModel(parent), m_results(results) {}

void ResultGridModel::BeginUpdate() {
    if (!m_updating) {
        m_updating = true;
        beginResetModel();
    }
}

void ResultGridModel::EndUpdate() {
    if (m_updating) {
        m_updating = false;
        endResetModel();
    }
}

void ResultGridModel::Refresh() {
    if (m_updating)
        return;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int ResultGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_results.Grid().rows.size());
}

int ResultGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : dvo::app::ResultGrid::kColumns;
}

QVariant ResultGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const auto& rows = m_results.Grid().rows;
    if (static_cast<std::size_t>(index.row()) >= rows.size())
        return {};
    const auto& row = rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        const std::string& text = row.cells[static_cast<std::size_t>(index.column())];
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    if (role == Qt::ToolTipRole)
        return row.record != nullptr
                   ? PlainTextToolTip(QString::fromStdString(dvo::app::RecordPath(*row.record)))
                   : QVariant();
    if (role == Qt::StatusTipRole)
        return QString::fromUtf8(dvo::app::kGridMenuHint);
    if (role == Qt::BackgroundRole) {
        if (const auto fill = m_results.lsSearchResultDrawCell(
                index.column(), dvo::app::ResultGrid::GridRowOf(index.row())))
            return QBrush(QColor(fill->r, fill->g, fill->b));
        return {};
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignTop);
    return {};
}

QVariant ResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= dvo::app::ResultGrid::kColumns)
        return {};
    return QString::fromStdString(m_results.Grid().titles[static_cast<std::size_t>(section)]);
}

Qt::ItemFlags ResultGridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace dvo::qt
