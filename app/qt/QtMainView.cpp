#include "app/qt/QtMainView.h"

#include "app/main/AppConstants.h"
#include "app/main/UserTexts.h"
#include "app/qt/CentredMessageBox.h"
#include "app/qt/FolderPanel.h"
#include "app/qt/FolderTreeModel.h"
#include "app/qt/InstanceChannel.h"
#include "app/qt/QtCompareWindow.h"
#include "app/qt/QtListingWindow.h"
#include "app/qt/QtResultView.h"
#include "app/qt/QtTestDataWindow.h"
#include "app/qt/QtTreemapWindow.h"
#include "platform/HelperProcess.h"
#include "platform/InstanceLock.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <functional>
#include <set>

using dvo::app::MainButton;
using dvo::app::MainLabel;
using dvo::app::ScreenCursor;

namespace dvo::qt {
namespace {

// Design sizes in pixels at 96 dots per inch.
constexpr int kClientWidth = 1019;
constexpr int kClientHeight = 690; // below the menu bar
constexpr int kMenuBarHeight = 22;
constexpr int kFolderPanelHeight = 67;
constexpr int kSplitterWidth = 10;
constexpr int kCounterPanelHeight = 82;
constexpr int kTreeGroupWidth = 400;
constexpr int kStatusBarHeight = 21;

// Where a menu item's shortcut is kept; the window's own shortcut objects act on it, because Qt
// disables the shortcuts of hidden actions and refuses a key that two actions share.
constexpr const char* kShortcutProperty = "dvoShortcut";

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QLabel* AddLabel(QWidget* parent, const char* name, const char* text, int x, int y, int width) {
    auto* label = new QLabel(Text(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    // Values hold scanned paths: a name that looks like markup must never be parsed (an <img>
    // would make Qt read a file, and a FIFO there would hang the window).
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(x, y, width, 16);
    return label;
}

QPushButton* AddButton(QWidget* parent, const char* name, const char* text, const char* hint, int x,
                       int width) {
    auto* button = new QPushButton(Text(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(Text(hint));
    button->setGeometry(x, 32, width, 25);
    return button;
}

// Radio items keep exactly one choice: an item that becomes checked unchecks the others, and
// choosing the checked item again keeps it checked (a group with none checked would leave the
// tree mode undefined and every later search with an empty tree).
QActionGroup* NewRadioGroup(QObject* parent) {
    auto* group = new QActionGroup(parent);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    return group;
}

QAction* AddRadio(QActionGroup* group, QAction* action) {
    action->setCheckable(true);
    return group->addAction(action);
}

} // namespace

QtMainView::QtMainView(dvo::app::IEngine& engine, QWidget* parent)
    : QMainWindow(parent), m_form(*this, engine), m_listingSource(engine),
      m_helperMailbox(dvo::app::GuiMailbox::Open([this](std::function<void()> work) {
          QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
      })) {
    setObjectName(QStringLiteral("TMainForm"));
    BuildMenus();
    BuildPanels();
    InstallMenuShortcuts();
    m_resultView = std::make_unique<QtResultView>(*this, m_form, *m_searchResultTree,
                                                  *m_lsSearchResult, *m_spSearchResult);
    m_form.SetResultViews(&m_resultView->Results());
    m_form.SetStartupSteps(&m_operationLog);
    m_form.SetOperationLog(&m_operationLog);
    resize(kClientWidth, kMenuBarHeight + kClientHeight);
    m_form.FormCreate();
    m_testData = std::make_unique<QtTestDataWindow>(dvo::app::RecordsOf(m_resultView->Results()));
    m_form.SetSearchTimings(&m_testData->Logic());
    m_treemap = std::make_unique<QtTreemapWindow>(
        *this, *findChild<QAction*>(QStringLiteral("mnuTreemap")), m_form, m_resultView->Results());
    m_compare =
        std::make_unique<QtCompareWindow>(*this, *findChild<QAction*>(QStringLiteral("mnuCompare")),
                                          m_form, *this, m_resultView->Results());
    const auto listing = [this](const char* item, dvo::app::ListingKind kind) {
        return std::make_unique<QtListingWindow>(
            *this, *findChild<QAction*>(QString::fromLatin1(item)), kind, m_form,
            m_resultView->Results(), m_listingSource);
    };
    m_largestFiles = listing("mnuLargestFiles", dvo::app::ListingKind::LargestFiles);
    m_kinds = listing("mnuKinds", dvo::app::ListingKind::Types);
    m_years = listing("mnuYears", dvo::app::ListingKind::Years);
    // A kind chosen in its window is outlined in the treemap.
    m_kinds->Logic().SetKindChosen(
        [this](const std::u16string* extension) { m_treemap->Logic().OutlineKind(extension); });
}

QtListingWindow& QtMainView::ListingWindow(dvo::app::ListingKind kind) {
    switch (kind) {
    case dvo::app::ListingKind::LargestFiles: return *m_largestFiles;
    case dvo::app::ListingKind::Types: return *m_kinds;
    case dvo::app::ListingKind::Years: return *m_years;
    }
    return *m_largestFiles;
}

dvo::app::FileCommands& QtMainView::Files() { return m_resultView->Files(); }

void QtMainView::SetSaveChooser(FolderChooser chooser) {
    m_resultView->SetSaveChooser(std::move(chooser));
}

QtMainView::~QtMainView() {
    m_helperMailbox->Close(); // a helper ending from now on reaches nothing of this window
    m_years.reset();
    m_kinds.reset();
    m_largestFiles.reset();
    m_compare.reset();
    m_laterStarts.reset();
    m_treemap.reset();
    m_form.SetSearchTimings(nullptr);
    m_testData.reset();
    m_form.SetResultViews(nullptr);
    m_resultView.reset();
    m_form.FormDestroy();
    // The cursor is the program's, not this window's: a window closed while busy (its tree
    // still loading) gives it back.
    if (m_form.CursorCount() > 0)
        SetScreenCursor(ScreenCursor::Default);
}

QAction* QtMainView::AddItem(QMenu* menu, const char* name, const QString& text,
                             QKeyCombination key, bool visible) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    if (key != QKeyCombination()) {
        const QKeySequence sequence(key);
        action->setProperty(kShortcutProperty, sequence);
        action->setText(text + QLatin1Char('\t') + sequence.toString(QKeySequence::NativeText));
    }
    action->setVisible(visible);
    return action;
}

QMenu* QtMainView::AddSubmenu(QMenu* parent, const char* name, const QString& text,
                              QKeyCombination key, bool visible) {
    QMenu* menu = parent->addMenu(text);
    menu->setObjectName(QString::fromLatin1(name));
    QAction* action = menu->menuAction();
    action->setObjectName(QString::fromLatin1(name) + QStringLiteral("Item"));
    if (key != QKeyCombination())
        action->setProperty(kShortcutProperty, QKeySequence(key));
    action->setVisible(visible);
    return menu;
}

void QtMainView::BuildMenus() {
    QMenuBar* bar = menuBar();
    // The CJK font is taller than the design font: slimmer item padding keeps the bar at its
    // design height instead of pushing the menus into the overflow button.
    bar->setStyleSheet(QStringLiteral("QMenuBar::item { padding: 1px 8px; }"));
    bar->setFixedHeight(kMenuBarHeight);
    const auto alt = [](Qt::Key key) { return QKeyCombination(Qt::AltModifier, key); };

    QMenu* file = bar->addMenu(Text("ファイル"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QAction* openResult = AddItem(file, "mnuOpenResult", Text("検索結果を開く..."),
                                  QKeyCombination(Qt::ControlModifier, Qt::Key_O));
    connect(openResult, &QAction::triggered, this, [this] { m_form.mnuOpenResultClick(); });
    QMenu* exportMenu = AddSubmenu(file, "mnuExport", Text("エクスポート"));
    AddItem(exportMenu, "mnuExportFolderTree", Text("ツリー"), alt(Qt::Key_T));
    AddItem(exportMenu, "mnuExportFileList", Text("リスト"), alt(Qt::Key_L));
    QAction* e1 = AddItem(file, "E1", Text("終了"), alt(Qt::Key_E));
    connect(e1, &QAction::triggered, this, [this] { m_form.E1Click(); });

    QMenu* view = bar->addMenu(Text("表示"));
    view->setObjectName(QStringLiteral("mnuView"));
    QMenu* sort = AddSubmenu(view, "mnuSort", Text("ソート"));
    m_sortGroup = NewRadioGroup(this);
    QAction* sortNone = AddItem(sort, "mnuSortNone", Text("なし"), alt(Qt::Key_0));
    AddRadio(m_sortGroup, sortNone);
    AddRadio(m_sortGroup, AddItem(sort, "mnuSortSizeUp", Text("サイズ(昇順)"), alt(Qt::Key_1)));
    AddRadio(m_sortGroup, AddItem(sort, "mnuSizeDown", Text("サイズ(降順)"), alt(Qt::Key_2)));
    AddRadio(m_sortGroup, AddItem(sort, "mnuAlpha", Text("アルファベット(昇順)"), alt(Qt::Key_3)));
    AddRadio(m_sortGroup,
             AddItem(sort, "mnuAlphaDown", Text("アルファベット(降順)"), alt(Qt::Key_4)));
    m_sizeCountMenu = AddSubmenu(view, "mnuSizeCount", Text("サイズの数え方"));
    QActionGroup* sizeCountGroup = NewRadioGroup(this);
    m_sizeFile = AddRadio(sizeCountGroup, AddItem(m_sizeCountMenu, "mnuSizeFile",
                                                  Text("ファイルサイズ"), alt(Qt::Key_5)));
    m_sizeDisk = AddRadio(sizeCountGroup, AddItem(m_sizeCountMenu, "mnuSizeDisk",
                                                  Text("ディスク使用量"), alt(Qt::Key_6)));
    m_sizeFile->setChecked(true);
    connect(m_sizeFile, &QAction::triggered, this, [this] { m_form.mnuSizeFileClick(); });
    connect(m_sizeDisk, &QAction::triggered, this, [this] { m_form.mnuSizeDiskClick(); });
    AddItem(view, "mnuDetail", Text("詳細情報"), alt(Qt::Key_D), false);
    QMenu* treeView = AddSubmenu(view, "mnuTreeView", Text("ツリー表示"), alt(Qt::Key_T), false);
    m_treeModeGroup = NewRadioGroup(this);
    AddRadio(m_treeModeGroup, AddItem(treeView, "mnuTreeAtOnce", Text("一括表示"), alt(Qt::Key_B)));
    QAction* treeProgress = AddItem(treeView, "mnuTreeProgress", Text("逐次表示"), alt(Qt::Key_S));
    AddRadio(m_treeModeGroup, treeProgress);
    treeProgress->setChecked(true);
    AddItem(view, "N3", Text("全展開"), alt(Qt::Key_X));
    AddItem(view, "N4", Text("全収容"), alt(Qt::Key_A));
    QAction* showNumberOfFiles =
        AddItem(view, "mnuShowNumberOfFiles", Text("ファイル数表示"), alt(Qt::Key_N));
    showNumberOfFiles->setCheckable(true);
    // F5 reaches the handler whatever the item showed when the menu was last open: the
    // handler itself checks that a folder can be read again now.
    QAction* rescan = AddItem(view, "mnuRescanFolder", Text("選択したフォルダを再検索"));
    rescan->setText(rescan->text() + QLatin1Char('\t') +
                    QKeySequence(Qt::Key_F5).toString(QKeySequence::NativeText));
    connect(rescan, &QAction::triggered, this, [this] { m_form.mnuRescanFolderClick(); });
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            [this] { m_form.mnuRescanFolderClick(); });
    connect(view, &QMenu::aboutToShow, this,
            [this, rescan] { rescan->setEnabled(m_form.CanRescanFolder()); });
    AddItem(view, "mnuCompare", Text("前回と比較..."), alt(Qt::Key_C));
    AddItem(view, "mnuTreemap", Text("ツリーマップ表示"), alt(Qt::Key_G))->setCheckable(true);
    AddItem(view, "mnuLargestFiles", Text("大きいファイル"), alt(Qt::Key_F));
    AddItem(view, "mnuKinds", Text("種類別"), alt(Qt::Key_K));
    AddItem(view, "mnuYears", Text("更新年別"), alt(Qt::Key_Y));

    QMenu* option = bar->addMenu(Text("オプション"));
    option->setObjectName(QStringLiteral("mnuOption"));
    option->menuAction()->setVisible(false);

    QMenu* help = bar->addMenu(Text("ヘルプ"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    QAction* version = AddItem(help, "mnuVersion", Text("バージョン情報(&V)"), {}, false);
    connect(version, &QAction::triggered, this, [this] { m_form.mnuVersionClick(); });
    QAction* n2 = AddItem(help, "N2", Text("マニュアル表示"), alt(Qt::Key_M));
    connect(n2, &QAction::triggered, this, [this] { m_form.N2Click(); });
    QAction* n5 = AddItem(help, "N5", Text("製品ホームページ"), alt(Qt::Key_H));
    connect(n5, &QAction::triggered, this, [this] { m_form.N5Click(); });
    // Sorting, export, expand and collapse and the file-count switch are connected by the
    // modules that handle them; the check marks above already work.
}

void QtMainView::InstallMenuShortcuts() {
    // Menu order, depth first: of two items with one key the earlier one gets it.
    std::set<QString> taken;
    std::function<void(const QList<QAction*>&)> walk = [&](const QList<QAction*>& actions) {
        for (QAction* action : actions) {
            const auto key = action->property(kShortcutProperty).value<QKeySequence>();
            if (!key.isEmpty() && taken.insert(key.toString()).second) {
                auto* shortcut = new QShortcut(key, this);
                connect(shortcut, &QShortcut::activated, action, &QAction::trigger);
            }
            if (auto* submenu = action->menu())
                walk(submenu->actions());
        }
    };
    walk(menuBar()->actions());
}

void QtMainView::BuildPanels() {
    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Vertical, central);
    splitter->setHandleWidth(kSplitterWidth);
    splitter->setChildrenCollapsible(false);
    centralLayout->addWidget(splitter);

    m_folderPanel = new FolderPanel(Text("検索フォルダ指定"), kClientWidth, splitter);
    m_folderPanel->setObjectName(QStringLiteral("grpSearchDirectory"));
    m_folderPanel->setMinimumHeight(kSplitterWidth);
    m_edtSearchDirectory = new QLineEdit(m_folderPanel);
    m_edtSearchDirectory->setObjectName(QStringLiteral("edtSearchDirectory"));
    // Typed or pasted paths are taken too; the form checks them as it checks the dialog's.
    m_edtSearchDirectory->setGeometry(8, 32, 721, 20);
    m_btnAddDirectory = AddButton(m_folderPanel, "btnAddDirectory", "指定...",
                                  "チェックするディレクトリを指定します", 759, 43);
    m_btnExecute = AddButton(m_folderPanel, "btnExecute", "実行", "検索を実行します", 834, 75);
    m_btnCancel = AddButton(m_folderPanel, "btnCancel", "キャンセル", "検索を中止します", 922, 75);
    for (QWidget* button :
         {static_cast<QWidget*>(m_btnAddDirectory), static_cast<QWidget*>(m_btnExecute),
          static_cast<QWidget*>(m_btnCancel)})
        m_folderPanel->AnchorRight(button);

    auto* result = new QGroupBox(Text("検索結果"), splitter);
    result->setObjectName(QStringLiteral("grpSearchResult"));
    // The title names the searched folder; however long, it must not widen the window.
    result->setMinimumWidth(kSplitterWidth);
    m_grpSearchResult = result;
    auto* resultLayout = new QVBoxLayout(result);
    resultLayout->setContentsMargins(2, 2, 2, 2);
    resultLayout->setSpacing(0);
    auto* counters = new QWidget(result);
    counters->setObjectName(QStringLiteral("pnlCounters"));
    counters->setFixedHeight(kCounterPanelHeight);
    constexpr int kValueWidth = 4096; // clipped by the panel: a long path shows its beginning
    AddLabel(counters, "lblFolderSizeCaption", "フォルダサイズ", 8, 8, 88);
    AddLabel(counters, "lblSearchingCaption", "検索対象", 8, 24, 88);
    AddLabel(counters, "lblNumberOfFilesCaption", "ファイル数", 8, 40, 88);
    AddLabel(counters, "lblNumberOfFoldersCaption", "フォルダ数", 8, 56, 88);
    m_lblFolderSize = AddLabel(counters, "lblFolderSize", "0", 96, 8, kValueWidth);
    m_lblSearching = AddLabel(counters, "lblSearching", "", 96, 24, kValueWidth);
    m_lblNumberOfFiles = AddLabel(counters, "lblNumberOfFiles", "0", 96, 40, kValueWidth);
    m_lblNumberOfFolders = AddLabel(counters, "lblNumberOfFolders", "0", 96, 56, kValueWidth);
    resultLayout->addWidget(counters);

    m_spSearchResult = new QSplitter(Qt::Horizontal, result);
    m_spSearchResult->setObjectName(QStringLiteral("spSearchResult"));
    m_spSearchResult->setHandleWidth(kSplitterWidth);
    m_spSearchResult->setChildrenCollapsible(false);
    auto* treeGroup = new QGroupBox(Text("フォルダツリー"), m_spSearchResult);
    treeGroup->setObjectName(QStringLiteral("grpFolderTree"));
    treeGroup->setMinimumWidth(kSplitterWidth);
    auto* treeLayout = new QVBoxLayout(treeGroup);
    treeLayout->setContentsMargins(2, 2, 2, 2);
    m_searchResultTree = new FolderTreeView(treeGroup);
    m_searchResultTree->setObjectName(QStringLiteral("SearchResultTree"));
    m_searchResultTree->setIndentation(19);
    m_searchResultTree->setHeaderHidden(true);
    m_searchResultTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    treeLayout->addWidget(m_searchResultTree);
    m_lsSearchResult = new QTableView(m_spSearchResult);
    m_lsSearchResult->setObjectName(QStringLiteral("lsSearchResult"));
    // The hint goes to the status bar: a tooltip over every row would hide the names' own.
    m_lsSearchResult->setStatusTip(Text(dvo::app::kGridMenuHint));
    m_lsSearchResult->setMinimumWidth(kSplitterWidth);
    m_spSearchResult->setStretchFactor(1, 1);
    m_spSearchResult->setSizes({kTreeGroupWidth, kClientWidth - kTreeGroupWidth - kSplitterWidth});
    resultLayout->addWidget(m_spSearchResult, 1);

    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kFolderPanelHeight, kClientHeight - kFolderPanelHeight - kSplitterWidth});
    setCentralWidget(central);

    m_pnlStatus = new QLabel(statusBar());
    m_pnlStatus->setObjectName(QStringLiteral("pnlStatus"));
    m_pnlStatus->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(m_pnlStatus, 1);
    for (QLabel** field : {&m_pnlMarks, &m_pnlUnread, &m_pnlFreeSpace}) {
        *field = new QLabel(statusBar());
        (*field)->setTextFormat(Qt::PlainText);
        statusBar()->addPermanentWidget(*field);
    }
    m_pnlMarks->setObjectName(QStringLiteral("pnlMarks"));
    m_pnlUnread->setObjectName(QStringLiteral("pnlUnread"));
    m_pnlFreeSpace->setObjectName(QStringLiteral("pnlFreeSpace"));
    statusBar()->setFixedHeight(kStatusBarHeight);

    connect(m_btnAddDirectory, &QPushButton::clicked, this,
            [this] { m_form.btnAddDirectoryClick(); });
    connect(m_btnExecute, &QPushButton::clicked, this, [this] { m_form.btnExecuteClick(); });
    connect(m_edtSearchDirectory, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_form.edtSearchDirectoryChange(QFile::encodeName(text).toStdString());
    });
    connect(m_edtSearchDirectory, &QLineEdit::returnPressed, this,
            [this] { m_form.edtSearchDirectoryReturn(); });
    connect(m_btnCancel, &QPushButton::clicked, this, [this] { m_form.btnCancelClick(); });
    // The folder panel spans the window, so its resize is the window's change of width; by then
    // its right-anchored buttons have moved.
    connect(m_folderPanel, &FolderPanel::Resized, this, [this] { m_form.FormResize(); });
}

void QtMainView::closeEvent(QCloseEvent* event) {
    // The window itself never closes here: an allowed close ends the message loop instead,
    // after which the program destroys the window.
    event->ignore();
    m_form.FormClose();
}

void QtMainView::SetCaption(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

void QtMainView::ShowWindow() {
    if (!m_placed) {
        m_placed = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), size());
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    show();
}

void QtMainView::CloseWindow() { close(); }

void QtMainView::TerminateApplication() {
    // Queued, so the loop ends only when control is back in it: a close confirmed inside the
    // search flow takes effect after the flow has returned, and one before the loop has
    // started ends it at once.
    QMetaObject::invokeMethod(
        qApp, [code = m_form.ExitCode()] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
}

void QtMainView::SetStatusText(const std::string& text) {
    m_pnlStatus->setText(QString::fromStdString(text));
}

void QtMainView::SetStatusField(dvo::app::StatusField field, const std::string& text) {
    QLabel* label = field == dvo::app::StatusField::Marks    ? m_pnlMarks
                    : field == dvo::app::StatusField::Unread ? m_pnlUnread
                                                             : m_pnlFreeSpace;
    label->setText(QString::fromStdString(text));
}

QLabel* QtMainView::Label(MainLabel label) const {
    switch (label) {
    case MainLabel::FolderSize: return m_lblFolderSize;
    case MainLabel::Searching: return m_lblSearching;
    case MainLabel::NumberOfFiles: return m_lblNumberOfFiles;
    case MainLabel::NumberOfFolders: return m_lblNumberOfFolders;
    }
    return m_lblFolderSize;
}

void QtMainView::SetLabelText(MainLabel label, const std::string& text) {
    Label(label)->setText(QString::fromStdString(text));
}

void QtMainView::RepaintLabel(MainLabel label) { Label(label)->repaint(); }

void QtMainView::SetSearchDirectoryText(const std::string& text) {
    m_edtSearchDirectory->setText(QString::fromStdString(text));
}

void QtMainView::SetResultFolderText(const std::string& text) {
    m_grpSearchResult->setTitle(
        text.empty() ? Text("検索結果") : Text("検索結果 - ") + QFile::decodeName(text.c_str()));
}

void QtMainView::SetButtonEnabled(MainButton button, bool enabled) {
    (button == MainButton::Execute ? m_btnExecute : m_btnCancel)->setEnabled(enabled);
}

void QtMainView::SetSizeCountChecked(dvo::app::SizeCount count) {
    (count == dvo::app::SizeCount::DiskUsage ? m_sizeDisk : m_sizeFile)->setChecked(true);
}

void QtMainView::SetSizeCountEnabled(bool enabled) {
    m_sizeCountMenu->menuAction()->setEnabled(enabled);
    m_sizeFile->setEnabled(enabled);
    m_sizeDisk->setEnabled(enabled);
}

int QtMainView::SearchDirectoryLeft() const { return m_edtSearchDirectory->x(); }

int QtMainView::AddDirectoryButtonLeft() const { return m_btnAddDirectory->x(); }

void QtMainView::SetSearchDirectoryWidth(int width) {
    m_edtSearchDirectory->resize(width, m_edtSearchDirectory->height());
}

ScreenCursor QtMainView::CurrentScreenCursor() const {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    if (cursor == nullptr)
        return ScreenCursor::Default;
    switch (cursor->shape()) {
    case Qt::BusyCursor: return ScreenCursor::AppStart;
    case Qt::WaitCursor: return ScreenCursor::HourGlass;
    default: return ScreenCursor::Default;
    }
}

void QtMainView::SetScreenCursor(ScreenCursor cursor) {
    // One override at most: the stack of saved cursors lives in the form, not in Qt.
    while (QGuiApplication::overrideCursor() != nullptr)
        QGuiApplication::restoreOverrideCursor();
    if (cursor == ScreenCursor::AppStart)
        QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    else if (cursor == ScreenCursor::HourGlass)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void QtMainView::RepaintWindow() { repaint(); }

int QtMainView::ShowMessageBox(const std::string& text, const dvo::app::MessageBoxLayout& layout) {
    CentredMessageBox box(QString::fromStdString(text), layout, this);
    return box.Run();
}

std::optional<std::string> QtMainView::SelectFolder(const std::string& title,
                                                    const std::string& initialFolder) {
    std::optional<std::string> chosen;
    if (m_folderChooser) {
        chosen = m_folderChooser(title, initialFolder);
    } else {
        const QString folder = QFileDialog::getExistingDirectory(
            this, QString::fromStdString(title), QFile::decodeName(initialFolder.c_str()),
            QFileDialog::ShowDirsOnly);
        if (!folder.isEmpty())
            chosen = QFile::encodeName(folder).toStdString();
    }
    if (chosen && !dvo::app::TMainForm::IsUsableFolder(*chosen)) {
        m_form.ReportUnusableFolder(*chosen);
        return std::nullopt;
    }
    return chosen;
}

std::optional<std::string> QtMainView::SelectOpenFile(const std::string& title,
                                                      const std::string& filter) {
    if (m_fileChooser)
        return m_fileChooser(title, filter);
    const QString file = QFileDialog::getOpenFileName(
        this, QString::fromStdString(title), QDir::homePath(), QString::fromStdString(filter));
    if (file.isEmpty())
        return std::nullopt;
    return QFile::encodeName(file).toStdString();
}

void QtMainView::OpenWithDefaultApplication(const std::string& target, HelperDone done) {
    // xdg-open gets the path's bytes or the address as one argument: '%', '#' or '?' in a
    // folder name stay part of it, and its exit status and complaint come back.
    auto mailbox = m_helperMailbox;
    int started = ENOMEM;
    try {
        started = platform::StartHelper(
            {"xdg-open", target}, [mailbox, done](const platform::HelperExit& exit) {
                mailbox->Post([done, exit] { done(exit.status, exit.errorText); });
            });
    } catch (...) {
        started = ENOMEM;
    }
    if (started != 0) {
        const std::string reason =
            started == ENOENT ? std::string("コマンド xdg-open がインストールされていません")
                              : std::string(std::strerror(started));
        mailbox->Post([done, reason] { done(-1, reason); });
    }
}

bool QtMainView::ReachRunningInstance(const std::string& folder) {
    return InstanceChannel::Send(platform::InstanceSocketPath(std::string(dvo::app::MutexName)),
                                 folder);
}

void QtMainView::ListenForLaterStarts() {
    if (m_laterStarts)
        return;
    m_laterStarts = std::make_unique<InstanceChannel>(
        platform::InstanceSocketPath(std::string(dvo::app::MutexName)), [this](std::string folder) {
            // From the message loop, not from inside the socket's signal: the request may start
            // a whole search.
            QMetaObject::invokeMethod(
                this, [this, folder] { LaterStartReceived(folder, false); }, Qt::QueuedConnection);
        });
}

void QtMainView::LaterStartReceived(const std::string& folder, bool raised) {
    // A dialog's or menu's answer comes first: a search started under an open box would run
    // inside that box's loop. Its window comes to the front meanwhile, once.
    QWidget* open = QApplication::activeModalWidget();
    if (open == nullptr)
        open = QApplication::activePopupWidget();
    if (open != nullptr) {
        if (!raised) {
            open->raise();
            open->activateWindow();
        }
        QTimer::singleShot(200, this, [this, folder] { LaterStartReceived(folder, true); });
        return;
    }
    m_form.OtherInstanceStarted(folder);
}

void QtMainView::BringToFront() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void QtMainView::ProcessPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

} // namespace dvo::qt
