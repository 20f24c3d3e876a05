#pragma once
// The main window's modal message box: title, icon and buttons as the layout describes them,
// buttons in the layout's order, centred on the screen.
#include "app/main/MessageBoxLayout.h"

#include <QMessageBox>

#include <vector>

namespace dvo::qt {

class CentredMessageBox final : public QMessageBox {
    Q_OBJECT
public:
    CentredMessageBox(const QString& text, const dvo::app::MessageBoxLayout& layout,
                      QWidget* parent);

    // Runs the box modally; the result number of the button pressed (the Escape button's when
    // the box was closed otherwise).
    int Run();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Button {
        QAbstractButton* button; // owned by the box
        int result;
    };
    std::vector<Button> m_buttons;
    int m_escapeResult;
};

} // namespace dvo::qt
