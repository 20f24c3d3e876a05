#include "app/qt/QtListingWindow.h"

#include "app/main/TMainForm.h"
#include "app/views/ResultViews.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace dvo::qt {

// The list's cells, straight from the logic; every text is plain text (paths come from the
// disk, and a view guesses rich text only in delegates it is told to).
class ListingModel final : public QAbstractTableModel {
public:
    ListingModel(dvo::app::TListingForm& logic, QObject* parent)
        : QAbstractTableModel(parent), m_logic(logic) {}

    void Reset() {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : m_logic.RowCount();
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : dvo::app::TListingForm::kColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            const QString text =
                QString::fromStdString(m_logic.CellText(index.row(), index.column()));
            // A tooltip is read as rich text when it looks like markup: escape it.
            return role == Qt::ToolTipRole ? text.toHtmlEscaped() : text;
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(
                Qt::AlignVCenter |
                (m_logic.RightAligned(index.column()) ? Qt::AlignRight : Qt::AlignLeft));
        case Qt::DecorationRole:
            if (index.column() == 0)
                if (const auto rgb = m_logic.RowColour(index.row()))
                    return QColor::fromRgb(static_cast<QRgb>(*rgb));
            return {};
        default: return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return QString::fromUtf8(m_logic.ColumnTitle(section));
        return {};
    }

private:
    dvo::app::TListingForm& m_logic;
};

namespace {

// The years' share drawn as a bar behind its figure.
class BarDelegate final : public QStyledItemDelegate {
public:
    BarDelegate(dvo::app::TListingForm& logic, QObject* parent)
        : QStyledItemDelegate(parent), m_logic(logic) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (const auto length = m_logic.BarLength(index.row())) {
            QRect bar = option.rect.adjusted(2, 3, -2, -3);
            bar.setWidth(static_cast<int>(bar.width() * std::clamp(*length, 0.0, 1.0)));
            if (bar.width() > 0)
                painter->fillRect(bar, QColor(0x1e, 0x88, 0xe5, 110));
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    dvo::app::TListingForm& m_logic;
};

QString ObjectName(dvo::app::ListingKind kind) {
    switch (kind) {
    case dvo::app::ListingKind::LargestFiles: return QStringLiteral("TLargestFilesForm");
    case dvo::app::ListingKind::Types: return QStringLiteral("TKindsForm");
    case dvo::app::ListingKind::Years: return QStringLiteral("TYearsForm");
    }
    return {};
}

} // namespace

QtListingWindow::QtListingWindow(QWidget& owner, QAction& menuItem, dvo::app::ListingKind kind,
                                 dvo::app::TMainForm& form, dvo::app::ResultViews& results,
                                 dvo::app::IListingSource& source)
    : QWidget(&owner, Qt::Window), m_results(results), m_logic(kind, form, results, source, *this) {
    setObjectName(ObjectName(kind));
    setWindowTitle(QString::fromUtf8(m_logic.Title()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("lblListingSummary"));
    m_summary->setTextFormat(Qt::PlainText);
    layout->addWidget(m_summary);
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("lsListing"));
    m_model = new ListingModel(m_logic, this);
    m_list->setModel(m_model);
    if (m_logic.BarColumn() >= 0)
        m_list->setItemDelegateForColumn(m_logic.BarColumn(), new BarDelegate(m_logic, m_list));
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setTextElideMode(Qt::ElideMiddle); // a path's both ends tell most
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    // The path takes what the figures leave; the other lists share the width.
    if (kind == dvo::app::ListingKind::LargestFiles)
        m_list->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    else
        m_list->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(m_list, 1);

    connect(m_list, &QTableView::clicked, this,
            [this](const QModelIndex& index) { m_logic.lsListingClick(index.row()); });
    connect(m_list, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { m_logic.lsListingDblClick(index.row()); });
    connect(&menuItem, &QAction::triggered, this, [this] { m_logic.mnuListingClick(); });
    m_results.AddWatcher(&m_logic);
}

QtListingWindow::~QtListingWindow() {
    m_results.RemoveWatcher(&m_logic);
    // The list and its model read the logic, which goes before QWidget deletes its children.
    delete m_list;
    delete m_model;
}

void QtListingWindow::ShowWindow() {
    if (!m_placed) {
        m_placed = true;
        resize(m_logic.Kind() == dvo::app::ListingKind::LargestFiles ? 900 : 520, 520);
    }
    show();
    raise();
    activateWindow();
}

void QtListingWindow::SetSummaryText(const std::string& text) {
    m_summary->setText(QString::fromStdString(text));
}

void QtListingWindow::RowsChanged() {
    m_model->Reset();
    if (m_logic.Kind() == dvo::app::ListingKind::LargestFiles)
        for (int column = 0; column < 3; ++column)
            m_list->resizeColumnToContents(column);
}

void QtListingWindow::keyPressEvent(QKeyEvent* event) {
    // A look-up window goes with Escape, as a dialog would.
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}

void QtListingWindow::closeEvent(QCloseEvent* event) {
    m_logic.FormClose();
    event->accept();
}

} // namespace dvo::qt
