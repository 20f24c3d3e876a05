#include "app/qt/QtCompareWindow.h"

#include "app/main/IMainView.h"
#include "app/main/TMainForm.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace dvo::qt {

// The list's cells, straight from the logic; the text of a cell is plain text (paths come from
// the disk, and a view guesses rich text only in delegates it is told to).
class CompareModel final : public QAbstractTableModel {
public:
    CompareModel(dvo::app::TCompareForm& logic, QObject* parent)
        : QAbstractTableModel(parent), m_logic(logic) {}

    void Reset() {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : m_logic.RowCount();
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : dvo::app::TCompareForm::kColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            const QString text =
                QString::fromStdString(m_logic.CellText(index.row(), index.column()));
            // A tooltip is read as rich text when it looks like markup: escape it.
            return role == Qt::ToolTipRole ? text.toHtmlEscaped() : text;
        }
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignVCenter |
                                       (dvo::app::TCompareForm::RightAligned(index.column())
                                            ? Qt::AlignRight
                                            : Qt::AlignLeft));
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return QString::fromUtf8(dvo::app::TCompareForm::ColumnTitle(section));
        return {};
    }

private:
    dvo::app::TCompareForm& m_logic;
};

QtCompareWindow::QtCompareWindow(QWidget& owner, QAction& menuItem, dvo::app::TMainForm& form,
                                 dvo::app::IMainView& mainView, dvo::app::ResultViews& results)
    : QWidget(&owner, Qt::Window), m_mainView(mainView), m_logic(form, results, *this) {
    setObjectName(QStringLiteral("TCompareForm"));
    setWindowTitle(QString::fromUtf8("比較"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("lblCompareSummary"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("lsChanges"));
    m_model = new CompareModel(m_logic, this);
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setTextElideMode(Qt::ElideMiddle); // a path's both ends tell most
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    layout->addWidget(m_list, 1);

    connect(m_list, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { m_logic.lsChangesDblClick(index.row()); });
    connect(&menuItem, &QAction::triggered, this, [this] { m_logic.mnuCompareClick(); });
}

QtCompareWindow::~QtCompareWindow() = default;

void QtCompareWindow::ShowWindow() {
    if (!m_placed) {
        m_placed = true;
        resize(800, 500);
    }
    show();
    raise();
    activateWindow();
}

std::optional<std::string> QtCompareWindow::SelectExportFile(const std::string& title,
                                                             const std::string& filter) {
    return m_mainView.SelectOpenFile(title, filter);
}

void QtCompareWindow::SetSummaryText(const std::string& text) {
    m_summary->setText(QString::fromStdString(text));
}

void QtCompareWindow::RowsChanged() {
    m_model->Reset();
    for (int column = 1; column < dvo::app::TCompareForm::kColumnCount; ++column)
        m_list->resizeColumnToContents(column);
}

} // namespace dvo::qt
