#pragma once
// The version window: a centred read-only memo of a few lines and the button "閉じる". It is
// created hidden at start and lives until the program ends; its memo is emptied whenever the
// button hides it.
#include "app/main/IVersionView.h"

#include <string>

namespace dvo::app {

class OperationLog;

class TIGForm {
public:
    // Design size of CloseButton; ResizeMemo places the button by it.
    static constexpr int kCloseButtonWidth = 73;
    static constexpr int kCloseButtonHeight = 25;

    // The view must outlive the form; the log may be null (nothing is logged) and is not owned.
    TIGForm(IVersionView& view, const OperationLog* log) : m_view(view), m_log(log) {}

    void SetCaption(const std::string& text);
    // Appends text to the memo as a new line.
    void SetText(const std::string& text);
    // Gives the memo this size and fits the window and the button around it.
    void ResizeMemo(int width, int height);
    void Show();

    void FormActivate();
    void CloseButtonClick();

private:
    IVersionView& m_view;
    const OperationLog* m_log;
};

} // namespace dvo::app
