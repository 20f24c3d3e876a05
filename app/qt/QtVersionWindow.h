#pragma once
// The version window on screen: a centred read-only memo and the button "閉じる". It carries out
// what TIGForm asks and forwards its events to TIGForm in one line each.
#include "app/main/IVersionView.h"
#include "app/main/TIGForm.h"

#include <QWidget>

class QPushButton;
class QTextEdit;

namespace dvo::app {
class OperationLog;
}

namespace dvo::qt {

class QtVersionWindow final : public QWidget, public dvo::app::IVersionView {
    Q_OBJECT
public:
    // Created hidden. The log may be null; it must outlive the window.
    explicit QtVersionWindow(const dvo::app::OperationLog* log, QWidget* parent = nullptr);

    [[nodiscard]] dvo::app::TIGForm& Form() { return m_form; }

    // dvo::app::IVersionView
    void SetCaption(const std::string& text) override;
    void AppendMemoLine(const std::string& text) override;
    void ClearMemo() override;
    void SetMemoBounds(int left, int top, int width, int height) override;
    void SetWindowSize(int width, int height) override;
    void SetCloseButtonPosition(int left, int top) override;
    void FocusCloseButton() override;
    void ShowWindow() override;
    void HideWindow() override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    dvo::app::TIGForm m_form;
    QTextEdit* m_memo11 = nullptr;        // owned through Qt's parent chain
    QPushButton* m_closeButton = nullptr; // owned through Qt's parent chain
};

} // namespace dvo::qt
