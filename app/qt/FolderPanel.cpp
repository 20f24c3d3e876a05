#include "app/qt/FolderPanel.h"

#include <QResizeEvent>

namespace dvo::qt {

FolderPanel::FolderPanel(const QString& title, int designWidth, QWidget* parent)
    : QGroupBox(title, parent), m_designWidth(designWidth) {}

void FolderPanel::AnchorRight(QWidget* child) {
    m_anchors.push_back({child, m_designWidth - child->x()});
}

void FolderPanel::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    for (const Anchor& anchor : m_anchors)
        anchor.child->move(width() - anchor.rightDistance, anchor.child->y());
    emit Resized();
}

} // namespace dvo::qt
