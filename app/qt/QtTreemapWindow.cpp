#include "app/qt/QtTreemapWindow.h"

#include "app/main/TMainForm.h"
#include "app/views/ResultViews.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace dvo::qt {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kLegendHeight = 22;
constexpr int kSwatch = 12;

QColor Colour(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

// The colours and names of the kinds of file, in one strip.
class TreemapLegend final : public QWidget {
public:
    explicit TreemapLegend(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("TreemapLegend"));
        setFixedHeight(kLegendHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        int x = 4;
        const int top = (height() - kSwatch) / 2;
        for (const auto& group : dvo::app::kFileGroups) {
            painter.fillRect(x, top, kSwatch, kSwatch, Colour(group.rgb));
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawRect(x, top, kSwatch - 1, kSwatch - 1);
            x += kSwatch + 4;
            const QString name = QString::fromUtf8(group.name);
            painter.drawText(QRect(x, 0, metrics.horizontalAdvance(name) + 2, height()),
                             Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
            x += metrics.horizontalAdvance(name) + 14;
        }
    }
};

} // namespace

// The map area: the cached picture, or one line of text, and the clicked entry's outline.
class TreemapCanvas final : public QWidget {
public:
    TreemapCanvas(QWidget* parent, dvo::app::TTreemapForm& logic)
        : QWidget(parent), m_logic(logic) {
        setObjectName(QStringLiteral("TreemapCanvas"));
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(16, 16);
        // Dragging the frame sends a stream of sizes: lay out once it pauses.
        m_resized.setSingleShot(true);
        m_resized.setInterval(40);
        connect(&m_resized, &QTimer::timeout, this, [this] { m_logic.FormResize(); });
    }

    QImage picture;
    QString message;
    std::optional<dvo::app::TreemapPixelRect> outline;
    std::vector<dvo::app::TreemapPixelRect> kindOutlines;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (picture.isNull()) {
            painter.fillRect(rect(), palette().color(QPalette::Base));
            painter.setPen(palette().color(QPalette::Text));
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, message);
            return;
        }
        painter.fillRect(rect(), QColor(Qt::white));
        painter.drawImage(0, 0, picture);
        // A kind's entries in yellow over black: visible on every colour of the legend.
        for (const auto& k : kindOutlines) {
            const QRect r(k.left, k.top, k.right - k.left, k.bottom - k.top);
            painter.setPen(QPen(Qt::black, 1));
            painter.drawRect(r.adjusted(0, 0, -1, -1));
            if (r.width() > 2 && r.height() > 2) {
                painter.setPen(QPen(QColor(255, 235, 59), 1));
                painter.drawRect(r.adjusted(1, 1, -2, -2));
            }
        }
        if (outline && !outline->Empty()) {
            const QRect r(outline->left, outline->top, outline->right - outline->left,
                          outline->bottom - outline->top);
            painter.setPen(QPen(Qt::black, 1));
            painter.drawRect(r.adjusted(0, 0, -1, -1));
            painter.setPen(QPen(Qt::white, 1));
            if (r.width() > 2 && r.height() > 2)
                painter.drawRect(r.adjusted(1, 1, -2, -2));
        }
    }
    void resizeEvent(QResizeEvent*) override { m_resized.start(); }
    void mouseMoveEvent(QMouseEvent* e) override {
        m_logic.MapMouseMove(e->position().toPoint().x(), e->position().toPoint().y());
    }
    void leaveEvent(QEvent*) override { m_logic.MapMouseLeave(); }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            m_logic.MapClick(e->position().toPoint().x(), e->position().toPoint().y());
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            m_logic.MapDblClick(e->position().toPoint().x(), e->position().toPoint().y());
    }

private:
    dvo::app::TTreemapForm& m_logic;
    QTimer m_resized;
};

QtTreemapWindow::QtTreemapWindow(QWidget& owner, QAction& menuItem, dvo::app::TMainForm& form,
                                 dvo::app::ResultViews& results)
    : QWidget(&owner, Qt::Window), m_results(results), m_menuItem(menuItem),
      m_logic(form, results, *this) {
    setObjectName(QStringLiteral("TTreemapForm"));
    setWindowTitle(QString::fromUtf8("ツリーマップ"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(3);
    auto* top = new QHBoxLayout();
    m_btnUp = new QPushButton(QString::fromUtf8("上へ"), this);
    m_btnUp->setObjectName(QStringLiteral("btnUp"));
    m_btnUp->setToolTip(QString::fromUtf8("一つ上のフォルダを表示します (Backspace)"));
    m_btnUp->setEnabled(false);
    m_btnUp->setFocusPolicy(Qt::NoFocus);
    top->addWidget(m_btnUp);
    top->addStretch(1);
    layout->addLayout(top);
    m_canvas = new TreemapCanvas(this, m_logic);
    layout->addWidget(m_canvas, 1);
    layout->addWidget(new TreemapLegend(this));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("pnlTreemapStatus"));
    // Names come from the disk: never rich text.
    m_status->setTextFormat(Qt::PlainText);
    m_status->setFrameShape(QFrame::StyledPanel);
    m_status->setMinimumWidth(1);
    // One height whatever the text: a line that grew with its first path would shrink the map
    // and lay it out again under the pointer.
    m_status->setText(QString::fromUtf8("あAgy"));
    m_status->setFixedHeight(m_status->sizeHint().height() + 2);
    m_status->clear();
    layout->addWidget(m_status);
    setFocusPolicy(Qt::StrongFocus);

    connect(m_btnUp, &QPushButton::clicked, this, [this] { m_logic.btnUpClick(); });
    m_menuItem.setCheckable(true);
    connect(&m_menuItem, &QAction::triggered, this,
            [this](bool checked) { m_logic.mnuTreemapClick(checked); });
    m_results.AddWatcher(&m_logic);
}

QtTreemapWindow::~QtTreemapWindow() { m_results.RemoveWatcher(&m_logic); }

const QImage& QtTreemapWindow::Picture() const { return m_canvas->picture; }

QWidget& QtTreemapWindow::Canvas() { return *m_canvas; }

void QtTreemapWindow::ShowWindow() {
    if (!m_placed) {
        resize(kWidth, kHeight);
        m_placed = true;
    }
    show();
    raise();
}

void QtTreemapWindow::HideWindow() { hide(); }

void QtTreemapWindow::SetMenuChecked(bool checked) { m_menuItem.setChecked(checked); }

int QtTreemapWindow::MapWidth() const { return m_canvas->width(); }

int QtTreemapWindow::MapHeight() const { return m_canvas->height(); }

void QtTreemapWindow::ShowMap(const dvo::app::TreemapGeometry& map) {
    const QSize size = m_canvas->size();
    if (m_canvas->picture.size() != size)
        m_canvas->picture = QImage(size, QImage::Format_RGB32);
    if (!m_canvas->picture.isNull())
        dvo::app::RenderTreemap(map, reinterpret_cast<std::uint32_t*>(m_canvas->picture.bits()),
                                size.width(), size.height(), m_canvas->picture.bytesPerLine() / 4);
    m_canvas->message.clear();
    m_canvas->update();
}

void QtTreemapWindow::ShowMessageLine(const std::string& text) {
    m_canvas->picture = QImage();
    m_canvas->message = QString::fromStdString(text);
    m_canvas->update();
}

void QtTreemapWindow::SetOutline(const std::optional<dvo::app::TreemapPixelRect>& rect) {
    m_canvas->outline = rect;
    m_canvas->update();
}

void QtTreemapWindow::SetKindOutlines(const std::vector<dvo::app::TreemapPixelRect>& rects) {
    m_canvas->kindOutlines = rects;
    m_canvas->update();
}

const std::vector<dvo::app::TreemapPixelRect>& QtTreemapWindow::KindOutlines() const {
    return m_canvas->kindOutlines;
}

void QtTreemapWindow::SetStatusText(const std::string& text) {
    m_status->setText(QString::fromStdString(text));
}

void QtTreemapWindow::SetUpEnabled(bool enabled) { m_btnUp->setEnabled(enabled); }

void QtTreemapWindow::closeEvent(QCloseEvent* event) {
    m_logic.FormClose();
    event->accept();
}

void QtTreemapWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace)
        m_logic.FormKeyDown(dvo::app::TTreemapForm::kVirtualKeyBack);
    else
        QWidget::keyPressEvent(event);
}

} // namespace dvo::qt
