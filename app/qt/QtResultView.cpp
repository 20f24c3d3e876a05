#include "app/qt/QtResultView.h"

#include "app/main/TMainForm.h"
#include "app/qt/NameCollation.h"
#include "app/qt/QtTransferDialog.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <QWheelEvent>

#include <algorithm>
#include <utility>
#include <vector>

using dvo::app::MenuCheck;
using dvo::app::ResultViews;

namespace dvo::qt {
namespace {

constexpr int kRowHeight = 20;

// Runs work once the events waiting now (input, repaints) have been handled: a zero timer, not a
// posted call, which the event loop would run before them. Dropped when context goes first.
void WhenIdle(QObject* context, std::function<void()> work) {
    auto* timer = new QTimer(context);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, context, [timer, work = std::move(work)] {
        timer->deleteLater();
        work();
    });
    timer->start(0);
}

// Folder captions bold italic, files regular, other kinds as the node painted before.
class TreeItemDelegate final : public QStyledItemDelegate {
public:
    TreeItemDelegate(ResultViews& results, QObject* parent)
        : QStyledItemDelegate(parent), m_results(results) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto style = m_results.SearchResultTreeCustomDrawItem(FolderTreeModel::NodeOf(index));
        option->font.setBold(style == dvo::app::TreeFontStyle::BoldItalic);
        option->font.setItalic(style == dvo::app::TreeFontStyle::BoldItalic);
    }

private:
    ResultViews& m_results;
};

// Fills the whole cell with its colour and draws the text from its top-left corner, no margin.
class GridCellDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariant fill = index.data(Qt::BackgroundRole);
        if (fill.isValid()) {
            painter->fillRect(option.rect, fill.value<QBrush>());
            painter->setPen(option.palette.color(QPalette::Text));
        } else {
            const bool selected = option.state.testFlag(QStyle::State_Selected);
            painter->fillRect(option.rect,
                              selected ? option.palette.highlight() : option.palette.base());
            painter->setPen(
                option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        }
        // A text that does not fit ends in "…" rather than being cut mid-letter at the border.
        painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                        Qt::ElideRight, option.rect.width()));
    }
};

QAction* MenuAction(QMainWindow& window, const char* name) {
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

} // namespace

QtResultView::QtResultView(QMainWindow& window, dvo::app::TMainForm& form, QTreeView& tree,
                           QTableView& grid, QSplitter& splitter)
    : m_form(form), m_tree(tree), m_grid(grid), m_splitter(splitter) {
    m_menu = {
        {MenuCheck::TreeAtOnce, MenuAction(window, "mnuTreeAtOnce")},
        {MenuCheck::TreeProgress, MenuAction(window, "mnuTreeProgress")},
        {MenuCheck::ShowNumberOfFiles, MenuAction(window, "mnuShowNumberOfFiles")},
        {MenuCheck::SortNone, MenuAction(window, "mnuSortNone")},
        {MenuCheck::SortSizeUp, MenuAction(window, "mnuSortSizeUp")},
        {MenuCheck::SortSizeDown, MenuAction(window, "mnuSizeDown")},
        {MenuCheck::SortAlpha, MenuAction(window, "mnuAlpha")},
        {MenuCheck::SortAlphaDown, MenuAction(window, "mnuAlphaDown")},
    };
    m_results = std::make_unique<ResultViews>(form, form.Engine(), *this);
    m_files = std::make_unique<dvo::app::FileCommands>(form, form.Engine(), *this, *m_results);
    ResultViews& r = *m_results;
    const NameCollation collation;
    r.SetCaptionCollation(collation, collation.Concurrent());

    m_treeModel = new FolderTreeModel(r.Tree(), this);
    m_tree.setModel(m_treeModel);
    m_tree.setItemDelegate(new TreeItemDelegate(r, this));
    m_tree.setUniformRowHeights(true);
    // Deep levels scroll sideways instead of being squeezed to nothing: the one column is as
    // wide as its widest shown row (measured on the rows near the view, not on all of them).
    m_tree.header()->setStretchLastSection(false);
    m_tree.header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    // The selection stays visible when the tree loses the focus.
    QPalette palette = m_tree.palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    m_tree.setPalette(palette);
    m_tree.installEventFilter(this);
    m_tree.viewport()->installEventFilter(this);
    // After the view's own handlers: its reset has cleared the expanded set by then.
    connect(m_treeModel, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { SaveTreeState(); });
    connect(m_treeModel, &QAbstractItemModel::modelReset, this, [this] { RestoreTreeState(); });
    // A repaint still owed when the rows are reordered would lay them all out in that event.
    connect(m_treeModel, &QAbstractItemModel::layoutAboutToBeChanged, this,
            [this] { PayOwedTreeRepaint(); });
    // Each node carries whether the view shows it expanded, so that saving the state before a
    // reset reads a flag per node instead of asking the view about each one.
    connect(&m_tree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (app::FolderTreeNode* node = FolderTreeModel::NodeOf(index))
            node->expanded = true;
        if (!m_expandingByProgram)
            m_results->SearchResultTreeExpanding(FolderTreeModel::NodeOf(index));
    });
    connect(&m_tree, &QTreeView::collapsed, this, [](const QModelIndex& index) {
        if (app::FolderTreeNode* node = FolderTreeModel::NodeOf(index))
            node->expanded = false;
    });

    m_gridModel = new ResultGridModel(r, this);
    m_grid.setModel(m_gridModel);
    m_grid.setItemDelegate(new GridCellDelegate(this));
    m_grid.verticalHeader()->hide();
    m_grid.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid.verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_grid.horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid.horizontalHeader()->setHighlightSections(false);
    m_grid.setShowGrid(true);
    m_grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid.setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid.setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_grid.setWordWrap(false);
    m_grid.viewport()->installEventFilter(this);
    m_grid.installEventFilter(this);
    m_grid.horizontalHeader()->viewport()->installEventFilter(this);
    connect(&m_grid, &QTableView::clicked, this, [this] { m_results->lsSearchResultClick(); });
    connect(m_grid.horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                if (!m_applyingWidths)
                    m_results->GridColumnResized(column, width);
            });
    connect(&m_splitter, &QSplitter::splitterMoved, this,
            [this] { m_results->spSearchResultMoved(); });

    connect(m_menu[MenuCheck::SortNone], &QAction::triggered, this,
            [this] { m_results->mnuSortNoneClick(); });
    connect(m_menu[MenuCheck::SortSizeUp], &QAction::triggered, this,
            [this] { m_results->mnuSortSizeUpClick(); });
    connect(m_menu[MenuCheck::SortSizeDown], &QAction::triggered, this,
            [this] { m_results->mnuSizeDownClick(); });
    connect(m_menu[MenuCheck::SortAlpha], &QAction::triggered, this,
            [this] { m_results->mnuAlphaClick(); });
    connect(m_menu[MenuCheck::SortAlphaDown], &QAction::triggered, this,
            [this] { m_results->mnuAlphaDownClick(); });

    m_grid.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_grid, &QTableView::customContextMenuRequested, this,
            [this] { m_files->lsSearchResultContextPopup(); });
    // The window's commands on the whole tree; "詳細情報" has no action.
    const std::pair<const char*, void (ResultViews::*)()> commands[] = {
        {"N3", &ResultViews::N3Click},
        {"N4", &ResultViews::N4Click},
        {"mnuShowNumberOfFiles", &ResultViews::mnuShowNumberOfFilesClick},
        {"mnuExportFolderTree", &ResultViews::mnuExportFolderTreeClick},
        {"mnuExportFileList", &ResultViews::mnuExportFileListClick},
    };
    for (const auto& [name, handler] : commands)
        if (QAction* action = MenuAction(window, name))
            connect(action, &QAction::triggered, this,
                    [this, click = handler] { ((*m_results).*click)(); });
}

QtResultView::~QtResultView() {
    // The models read the logic's state: detach them before it goes.
    m_tree.setModel(nullptr);
    m_grid.setModel(nullptr);
    delete m_treeModel;
    delete m_gridModel;
}

bool QtResultView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_grid && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        m_results->lsSearchResultKeyDown(ResultViews::kVirtualKeySpace);
        return true; // the mark is the grid's answer to Space
    }
    if (watched == &m_grid && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        // In a list Home and End go to the first and last entry (a table's own would only go
        // to the first and last column of the row, which the row selection hides).
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Home || key == Qt::Key_End) && m_gridModel->rowCount() > 0) {
            const int row = key == Qt::Key_Home ? 0 : m_gridModel->rowCount() - 1;
            m_grid.setCurrentIndex(
                m_gridModel->index(row, std::max(0, m_grid.currentIndex().column())));
            return true;
        }
    }
    if (watched == &m_tree && event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down)
            m_results->SearchResultTreeKeyUp(key == Qt::Key_Up ? ResultViews::kVirtualKeyUp
                                                               : ResultViews::kVirtualKeyDown);
    } else if (watched == m_tree.viewport() && event->type() == QEvent::MouseButtonPress) {
        // Queued: the handler runs after the tree has moved its selection for this press.
        QMetaObject::invokeMethod(
            this, [this] { m_results->SearchResultTreeMouseDown(); }, Qt::QueuedConnection);
    } else if (watched == m_grid.viewport() && event->type() == QEvent::Resize) {
        // The grid's own new width, after the layout has placed it (a window resize reaches the
        // form before the grid has its new size); a scroll bar coming or going lands here too.
        m_results->spSearchResultMoved();
    } else if (watched == m_grid.viewport() && event->type() == QEvent::Wheel) {
        // One notch (120) moves the rows the desktop's setting asks for, three by default.
        const int rowsPerNotch = std::max(1, QApplication::wheelScrollLines());
        m_wheelRemainder += static_cast<QWheelEvent*>(event)->angleDelta().y();
        while (m_wheelRemainder >= 120) {
            m_wheelRemainder -= 120;
            for (int i = 0; i < rowsPerNotch; ++i)
                m_results->lsSearchResultMouseWheelUp();
        }
        while (m_wheelRemainder <= -120) {
            m_wheelRemainder += 120;
            for (int i = 0; i < rowsPerNotch; ++i)
                m_results->lsSearchResultMouseWheelDown();
        }
        return true;
    } else if (watched == m_grid.horizontalHeader()->viewport() &&
               event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int column = m_grid.horizontalHeader()->logicalIndexAt(mouse->position().toPoint());
        // A release after dragging a column border is a resize, not a click on a title.
        const bool onBorder = m_grid.horizontalHeader()->cursor().shape() == Qt::SplitHCursor;
        if (column >= 0 && !onBorder)
            m_results->lsSearchResultMouseUp(column, 0);
    }
    return QObject::eventFilter(watched, event);
}

void QtResultView::BeginTreeUpdate() {
    m_tree.setUpdatesEnabled(false);
    m_treeModel->BeginBatch();
}

void QtResultView::EndTreeUpdate() {
    m_treeModel->EndBatch();
    m_tree.setUpdatesEnabled(true);
}

void QtResultView::BeginTreeAppend() {
    // With a layout pending the view takes each insertion as it comes and lays out once, at the
    // next paint; otherwise it looks every inserted parent up among all its shown rows.
    if (auto* view = dynamic_cast<FolderTreeView*>(&m_tree))
        view->ScheduleLayout();
}

void QtResultView::EndTreeAppend() {}

void QtResultView::ScheduleTreeSlice(std::function<void()> slice) {
    // A zero timer fires once the events already waiting have been handled: repaints and input
    // come between two slices.
    QTimer::singleShot(0, this, std::move(slice));
}

void QtResultView::AfterTreeLayout(std::function<void()> then) { LayOutTreeApart(std::move(then)); }

void QtResultView::PayOwedTreeRepaint() {
    // Before a change that the view lays out apart: a repaint the view still owes (where a
    // question's box stood, say) would otherwise paint, and so lay out, in the changing event.
    if (m_tree.isVisible() && m_tree.updatesEnabled())
        m_tree.viewport()->repaint();
}

void QtResultView::LayOutTreeApart(std::function<void()> then) {
    // A change of the model only schedules the view's relayout, but any repaint in this event
    // would run it at once, a tenth of a second more at a million shown rows: the tree holds its
    // repaints until its relayout, which runs in an event of its own, and the rest comes after.
    m_tree.setUpdatesEnabled(false);
    WhenIdle(this, [this, then = std::move(then)]() mutable {
        m_tree.setUpdatesEnabled(true);
        if (auto* view = dynamic_cast<FolderTreeView*>(&m_tree))
            view->LayOutNow();
        if (then)
            WhenIdle(this, std::move(then));
    });
}

app::FolderTreeNode* QtResultView::CurrentTreeNode() const {
    return FolderTreeModel::NodeOf(m_tree.currentIndex());
}

void QtResultView::SetCurrentTreeNode(app::FolderTreeNode* node, bool autoExpand) {
    QModelIndex index = m_treeModel->IndexOf(node);
    m_tree.setCurrentIndex(index);
    if (autoExpand && node != nullptr && !node->children.empty() && !m_tree.isExpanded(index)) {
        // Loading below a node can add the rest of the tree, a million rows after a search: one
        // reset for them instead of one insertion each.
        m_treeModel->BeginBatch();
        m_results->SearchResultTreeExpanding(node);
        m_treeModel->EndBatch();
        index = m_treeModel->IndexOf(node);
        m_expandingByProgram = true;
        m_tree.expand(index);
        m_expandingByProgram = false;
    }
}

void QtResultView::SetTreeSelectionVisible(bool visible) {
    if (visible)
        m_tree.selectionModel()->select(m_tree.currentIndex(), QItemSelectionModel::ClearAndSelect);
    else
        m_tree.selectionModel()->clearSelection();
}

void QtResultView::ExpandAllTreeNodes() {
    // QTreeView::expandAll lays out row by row while it stores each folder; after a reset the
    // folders are only stored and the view lays the rows out once, in an event of its own
    // (the restore asks for it).
    m_expandAllOnRestore = true;
    PayOwedTreeRepaint();
    m_tree.setUpdatesEnabled(false);
    m_treeModel->BeginBatch();
    m_treeModel->EndBatch();
}

void QtResultView::SaveTreeState() {
    const app::FolderTree& tree = m_results->Tree();
    m_treeState = {};
    for (const app::FolderTreeNode* n = tree.FirstTopLevel(); n != nullptr && !m_expandAllOnRestore;
         n = tree.NextInTreeOrder(n))
        if (n->expanded && !n->children.empty())
            m_treeState.expanded.push_back(tree.Ref(n));
    const QModelIndex current = m_tree.currentIndex();
    m_treeState.current = tree.Ref(FolderTreeModel::NodeOf(current));
    m_treeState.currentSelected = current.isValid() && m_tree.selectionModel()->isSelected(current);
    m_treeState.vertical = m_tree.verticalScrollBar()->value();
    m_treeState.horizontal = m_tree.horizontalScrollBar()->value();
}

void QtResultView::RestoreTreeState() {
    const app::FolderTree& tree = m_results->Tree();
    m_expandingByProgram = true;
    // The view lays out after a reset only when it paints or is asked: expanding now only
    // stores each folder.
    if (m_expandAllOnRestore) {
        for (const app::FolderTreeNode* n = tree.FirstTopLevel(); n != nullptr;
             n = tree.NextInTreeOrder(n))
            if (!n->children.empty())
                m_tree.expand(m_treeModel->IndexOf(n));
    } else {
        for (const app::FolderTreeNodeRef& ref : m_treeState.expanded)
            if (const app::FolderTreeNode* n = tree.Resolve(ref))
                m_tree.expand(m_treeModel->IndexOf(n));
    }
    m_expandingByProgram = false;
    const bool expandedAll = std::exchange(m_expandAllOnRestore, false);
    const app::FolderTreeNode* current = tree.Resolve(m_treeState.current);
    const QItemSelectionModel::SelectionFlags select = m_treeState.currentSelected
                                                           ? QItemSelectionModel::ClearAndSelect
                                                           : QItemSelectionModel::NoUpdate;
    const int vertical = m_treeState.vertical;
    const int horizontal = m_treeState.horizontal;
    m_treeState = {};
    if (!expandedAll) {
        if (current != nullptr)
            m_tree.selectionModel()->setCurrentIndex(m_treeModel->IndexOf(current), select);
        // The scroll bars get their ranges from the layout: lay out now, once, to put them back.
        if (vertical != 0 || horizontal != 0) {
            m_tree.doItemsLayout();
            m_tree.verticalScrollBar()->setValue(vertical);
            m_tree.horizontalScrollBar()->setValue(horizontal);
        }
        return;
    }
    // Every folder expanded: the layout runs apart, so the view is not told of the current node
    // now (it would lay out to draw it); the repaint after the layout shows it, and the place
    // comes back then.
    if (current != nullptr) {
        const QSignalBlocker quiet(m_tree.selectionModel());
        m_tree.selectionModel()->setCurrentIndex(m_treeModel->IndexOf(current), select);
    }
    LayOutTreeApart([this, vertical, horizontal] {
        if (vertical != 0 || horizontal != 0) {
            m_tree.verticalScrollBar()->setValue(vertical);
            m_tree.horizontalScrollBar()->setValue(horizontal);
        } else {
            m_tree.scrollTo(m_tree.currentIndex());
        }
    });
}

void QtResultView::CollapseAllTreeNodes() { m_tree.collapseAll(); }

void QtResultView::BeginGridUpdate() { m_gridModel->BeginUpdate(); }

void QtResultView::EndGridUpdate() {
    m_gridModel->EndUpdate();
    ApplyColumnWidths();
}

void QtResultView::RepaintGrid() {
    m_gridModel->Refresh();
    ApplyColumnWidths();
    m_grid.viewport()->update();
}

void QtResultView::ApplyColumnWidths() {
    m_applyingWidths = true;
    const auto& widths = m_results->Grid().columnWidths;
    for (int c = 0; c < dvo::app::ResultGrid::kColumns; ++c)
        if (m_grid.columnWidth(c) != widths[static_cast<std::size_t>(c)])
            m_grid.setColumnWidth(c, std::max(0, widths[static_cast<std::size_t>(c)]));
    m_applyingWidths = false;
}

int QtResultView::GridWidth() const { return m_grid.viewport()->width(); }

int QtResultView::GridLineWidth() const { return m_grid.showGrid() ? 1 : 0; }

int QtResultView::GridTopRow() const {
    return dvo::app::ResultGrid::GridRowOf(m_grid.verticalScrollBar()->value());
}

void QtResultView::SetGridTopRow(int row) {
    m_grid.verticalScrollBar()->setValue(dvo::app::ResultGrid::DataIndexOf(row));
}

int QtResultView::GridVisibleRowCount() const { return m_grid.viewport()->height() / kRowHeight; }

int QtResultView::GridCurrentRow() const {
    const QModelIndex current = m_grid.currentIndex();
    return current.isValid() ? dvo::app::ResultGrid::GridRowOf(current.row()) : 0;
}

void QtResultView::SetGridCurrentRow(int row) {
    const int index = dvo::app::ResultGrid::DataIndexOf(row);
    if (index < 0 || index >= m_gridModel->rowCount())
        return;
    m_grid.setCurrentIndex(m_gridModel->index(index, 0));
    m_grid.scrollTo(m_gridModel->index(index, 0));
}

int QtResultView::GridRowUnderPointer() const {
    const QPoint inViewport = m_grid.viewport()->mapFromGlobal(QCursor::pos());
    if (m_grid.viewport()->rect().contains(inViewport)) {
        const int row = m_grid.rowAt(inViewport.y());
        return row < 0 ? -1 : dvo::app::ResultGrid::GridRowOf(row);
    }
    QHeaderView* header = m_grid.horizontalHeader();
    return header->rect().contains(header->mapFromGlobal(QCursor::pos())) ? 0 : -1;
}

// The splitter lays the grid out itself; these figures make the logic's resize rule (the resize
// contract in IResultView.h) give the grid's visible width: width = ResultGroupWidth() -
// SplitterLeft() - 1 = viewport width, so column 0 takes exactly the room the other three leave.
int QtResultView::SplitterLeft() const { return m_grid.x() - m_splitter.handleWidth() - 1; }

int QtResultView::SplitterWidth() const { return m_splitter.handleWidth(); }

int QtResultView::ResultGroupWidth() const {
    return SplitterLeft() + 1 + m_grid.viewport()->width();
}

void QtResultView::SetGridPanelBounds(int /*left*/, int /*width*/) {}

int QtResultView::PopupGridMenu(std::span<const dvo::app::GridMenuItem> items) {
    QMenu menu(&m_grid);
    std::vector<QAction*> actions;
    for (const auto& item : items) {
        QAction* action = menu.addAction(QString::fromUtf8(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setVisible(item.shown);
        action->setEnabled(item.enabled);
        actions.push_back(action);
    }
    QAction* chosen = menu.exec(QCursor::pos());
    const auto it = std::find(actions.begin(), actions.end(), chosen);
    return chosen != nullptr && it != actions.end() ? static_cast<int>(it - actions.begin()) : -1;
}

std::optional<std::string> QtResultView::SelectDestinationFolder(const std::string& title,
                                                                 const std::string& initialFolder) {
    const QString folder = QFileDialog::getExistingDirectory(
        m_grid.window(), QString::fromStdString(title), QFile::decodeName(initialFolder.c_str()),
        QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    std::string chosen = QFile::encodeName(folder).toStdString();
    if (!dvo::app::TMainForm::IsUsableFolder(chosen)) {
        m_form.ReportUnusableFolder(chosen);
        return std::nullopt;
    }
    return chosen;
}

std::optional<std::string> QtResultView::SelectSaveFile(const std::string& title,
                                                        const std::string& defaultName,
                                                        const std::string& filter) {
    if (m_saveChooser)
        return m_saveChooser(title, defaultName);
    if (m_saveFolder.isEmpty())
        m_saveFolder = QDir::homePath();
    const QString file = QFileDialog::getSaveFileName(
        m_grid.window(), QString::fromStdString(title),
        QDir(m_saveFolder).filePath(QString::fromStdString(defaultName)),
        QString::fromStdString(filter));
    if (file.isEmpty())
        return std::nullopt;
    m_saveFolder = QFileInfo(file).absolutePath();
    return QFile::encodeName(file).toStdString();
}

unsigned long long QtResultView::WindowHandle() const {
    return static_cast<unsigned long long>(m_grid.window()->winId());
}

int QtResultView::RunWithProgress(const std::string& title,
                                  std::function<int(dvo::app::ProgressSink&)> work) {
    return QtTransferDialog::Run(m_grid.window(), QString::fromStdString(title), work);
}

void QtResultView::PostToGuiThread(std::function<void()> work) {
    // Queued calls to an object that is gone are dropped by Qt.
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

bool QtResultView::IsMenuChecked(MenuCheck item) const {
    const auto it = m_menu.find(item);
    return it != m_menu.end() && it->second != nullptr && it->second->isChecked();
}

void QtResultView::SetMenuChecked(MenuCheck item, bool checked) {
    if (QAction* action = m_menu[item])
        action->setChecked(checked);
}

} // namespace dvo::qt
