#pragma once
// Qt table model over the contents grid the logic keeps: model row r is grid row r + 1 (the
// title row is the header), four columns, the marked rows' fill colour from the logic.
#include "app/views/ResultViews.h"

#include <QAbstractTableModel>

namespace dvo::qt {

class ResultGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    ResultGridModel(const dvo::app::ResultViews& results, QObject* parent);

    void BeginUpdate();
    void EndUpdate();
    // Every cell and title may have changed, the row count has not.
    void Refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const dvo::app::ResultViews& m_results; // outlives the model
    bool m_updating = false;
};

} // namespace dvo::qt
