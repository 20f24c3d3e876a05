#include "app/qt/CentredMessageBox.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace dvo::qt {
namespace {

QMessageBox::Icon IconOf(dvo::app::MessageIcon icon) {
    switch (icon) {
    case dvo::app::MessageIcon::Exclamation: return QMessageBox::Warning;
    case dvo::app::MessageIcon::Stop: return QMessageBox::Critical;
    case dvo::app::MessageIcon::Information: return QMessageBox::Information;
    case dvo::app::MessageIcon::Question: return QMessageBox::Question;
    case dvo::app::MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

CentredMessageBox::CentredMessageBox(const QString& text, const dvo::app::MessageBoxLayout& layout,
                                     QWidget* parent)
    : QMessageBox(parent), m_escapeResult(dvo::app::MessageResult::Cancel) {
    setObjectName(QStringLiteral("MessageBox"));
    setWindowTitle(QString::fromStdString(layout.title));
    setIcon(IconOf(layout.icon));
    // The format first: a text set while it is still automatic is already parsed as markup.
    setTextFormat(Qt::PlainText);
    setText(text);
    for (std::size_t i = 0; i < layout.buttons.size(); ++i) {
        // One role for all keeps them in the order given instead of the platform's role order.
        QPushButton* button =
            addButton(QString::fromStdString(layout.buttons[i].caption), QMessageBox::ActionRole);
        button->setObjectName(QStringLiteral("result%1").arg(layout.buttons[i].result));
        m_buttons.push_back({button, layout.buttons[i].result});
        if (static_cast<int>(i) == layout.defaultButton)
            setDefaultButton(button);
        if (static_cast<int>(i) == layout.escapeButton) {
            setEscapeButton(button);
            m_escapeResult = layout.buttons[i].result;
        }
    }
}

int CentredMessageBox::Run() {
    exec();
    const QAbstractButton* clicked = clickedButton();
    for (const Button& b : m_buttons)
        if (b.button == clicked)
            return b.result;
    return m_escapeResult;
}

void CentredMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect box = frameGeometry();
        box.moveCenter(screen->availableGeometry().center());
        move(box.topLeft());
    }
}

} // namespace dvo::qt
