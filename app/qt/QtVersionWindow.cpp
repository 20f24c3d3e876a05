#include "app/qt/QtVersionWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextOption>

namespace dvo::qt {

QtVersionWindow::QtVersionWindow(const dvo::app::OperationLog* log, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_form(*this, log) {
    // Design size at 96 dots per inch: a fixed border and no caption buttons, so the window
    // closes only through its button.
    setObjectName(QStringLiteral("TIGForm"));
    setFixedSize(360, 374);
    m_memo11 = new QTextEdit(this);
    m_memo11->setObjectName(QStringLiteral("Memo11"));
    m_memo11->setReadOnly(true);
    // The memo holds plain text only: its lines go in through insertText, never as markup.
    m_memo11->setAcceptRichText(false);
    m_memo11->setGeometry(16, 16, 329, 281);
    m_memo11->document()->setDefaultTextOption(QTextOption(Qt::AlignHCenter));
    m_closeButton = new QPushButton(QString::fromUtf8("閉じる"), this);
    m_closeButton->setObjectName(QStringLiteral("CloseButton"));
    m_closeButton->setGeometry(271, 317, dvo::app::TIGForm::kCloseButtonWidth,
                               dvo::app::TIGForm::kCloseButtonHeight);
    connect(m_closeButton, &QPushButton::clicked, this, [this] { m_form.CloseButtonClick(); });
}

bool QtVersionWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        m_form.FormActivate();
    return QWidget::event(event);
}

void QtVersionWindow::closeEvent(QCloseEvent* event) {
    // Only the button hides the window (it also empties the memo); the window frame may not.
    if (event->spontaneous())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void QtVersionWindow::SetCaption(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

void QtVersionWindow::AppendMemoLine(const std::string& text) {
    // QTextEdit::append would guess markup; a line is inserted as text into a paragraph of its own.
    QTextCursor cursor(m_memo11->document());
    cursor.movePosition(QTextCursor::End);
    if (!m_memo11->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(QString::fromStdString(text));
}

void QtVersionWindow::ClearMemo() {
    m_memo11->setPlainText(QString());
    m_memo11->document()->setDefaultTextOption(QTextOption(Qt::AlignHCenter));
}

void QtVersionWindow::SetMemoBounds(int left, int top, int width, int height) {
    m_memo11->setGeometry(left, top, width, height);
}

void QtVersionWindow::SetWindowSize(int width, int height) { setFixedSize(width, height); }

void QtVersionWindow::SetCloseButtonPosition(int left, int top) { m_closeButton->move(left, top); }

void QtVersionWindow::FocusCloseButton() { m_closeButton->setFocus(Qt::ActiveWindowFocusReason); }

void QtVersionWindow::ShowWindow() {
    if (!isVisible()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), size());
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

void QtVersionWindow::HideWindow() { hide(); }

} // namespace dvo::qt
