#include "app/main/TIGForm.h"

#include "app/main/OperationLog.h"

namespace dvo::app {

void TIGForm::SetCaption(const std::string& text) { m_view.SetCaption(text); }

void TIGForm::SetText(const std::string& text) { m_view.AppendMemoLine(text); }

void TIGForm::ResizeMemo(int width, int height) {
    constexpr int kMemoLeft = 16;
    constexpr int kMemoTop = 24;
    m_view.SetMemoBounds(kMemoLeft, kMemoTop, width, height);
    m_view.SetWindowSize(width + 40, height + kCloseButtonHeight + 72);
    // The button's right edge lines up with the memo's.
    m_view.SetCloseButtonPosition(width + 16 - kCloseButtonWidth, height + 32);
}

void TIGForm::Show() { m_view.ShowWindow(); }

void TIGForm::FormActivate() { m_view.FocusCloseButton(); }

void TIGForm::CloseButtonClick() {
    if (m_log != nullptr)
        m_log->Write(kLogLevelUserAction, "メモ:閉じるボタンクリック");
    m_view.ClearMemo();
    m_view.HideWindow();
}

} // namespace dvo::app
