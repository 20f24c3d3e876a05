#include "app/qt/RadioMenuGroup.h"

#include <QAction>

namespace dvo::qt {

void RadioMenuGroup::Add(QAction* action) {
    action->setCheckable(true);
    m_actions.push_back(action);
    // A checkable action has already flipped its own check when triggered is emitted.
    connect(action, &QAction::triggered, this, [this, action](bool checked) { ItemTriggered(action, checked); });
}

void RadioMenuGroup::ItemTriggered(QAction* action, bool checked) {
    if (!checked)
        return;
    for (QAction* other : m_actions)
        if (other != action)
            other->setChecked(false);
}

} // namespace dvo::qt
