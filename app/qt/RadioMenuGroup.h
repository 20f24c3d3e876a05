#pragma once
// Radio menu items that flip their check when chosen: an item that becomes checked unchecks the
// others, and choosing the checked item leaves none checked (QActionGroup's exclusive mode would
// keep it checked).
#include <QObject>

#include <vector>

class QAction;

namespace dvo::qt {

class RadioMenuGroup final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The action becomes checkable; it stays owned by its menu.
    void Add(QAction* action);

private:
    void ItemTriggered(QAction* action, bool checked);

    std::vector<QAction*> m_actions;
};

} // namespace dvo::qt
