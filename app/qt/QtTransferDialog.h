#pragma once
// The progress dialog of a long file operation: the operation runs on a thread of its own while
// this dialog, modal to the whole program, shows how far it got and offers "キャンセル". Its
// event loop keeps the window painting; the dialog stays until the operation has returned, so
// the user cannot act on the tree while the engine still works on it.
#include "app/views/ProgressSink.h"

#include <QDialog>
#include <QEventLoop>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace dvo::qt {

class QtTransferDialog final : public QDialog {
    Q_OBJECT
public:
    // How long an operation runs before its dialog appears.
    static constexpr int kShowAfterMs = 250;
    // Runs work on its own thread behind the dialog and returns work's result.
    static int Run(QWidget* parent, const QString& title,
                   const std::function<int(dvo::app::ProgressSink&)>& work);

    // The dialog's button, for tests.
    [[nodiscard]] QPushButton* CancelButton() const { return m_cancel; }
    [[nodiscard]] QString Text() const;

protected:
    // Escape and the frame's close button ask to cancel; the dialog closes only when work ends.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    class Sink;
    QtTransferDialog(QWidget* parent, const QString& title);
    void RequestCancel();
    // On the GUI thread: shows the latest report.
    void ShowLatest();
    // From the working thread: keeps the report and has it shown, once per batch of reports.
    bool Keep(int permille, const std::string& text);

    QLabel* m_text = nullptr; // children of the dialog
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
    QEventLoop m_loop;
    std::atomic<bool> m_cancelled{false};
    bool m_finished = false;

    std::mutex m_mutex; // guards the report kept for the GUI thread
    int m_permille = 0;
    std::string m_latest;
    bool m_showPending = false;
};

} // namespace dvo::qt
