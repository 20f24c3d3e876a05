#include "app/qt/QtTransferDialog.h"

#include "engine/DVOSUB.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <thread>

namespace dvo::qt {

class QtTransferDialog::Sink final : public dvo::app::ProgressSink {
public:
    explicit Sink(QtTransferDialog& dialog) : m_dialog(dialog) {}
    bool Report(int permille, const std::string& text) override {
        return m_dialog.Keep(permille, text);
    }

private:
    QtTransferDialog& m_dialog;
};

QtTransferDialog::QtTransferDialog(QWidget* parent, const QString& title) : QDialog(parent) {
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    // No frame buttons that would close it: only the work's end does.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMinimumWidth(420);
    m_text->setWordWrap(true);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 0); // busy until the first report with a total
    m_cancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    connect(m_cancel, &QPushButton::clicked, this, &QtTransferDialog::RequestCancel);
}

int QtTransferDialog::Run(QWidget* parent, const QString& title,
                          const std::function<int(dvo::app::ProgressSink&)>& work) {
    QtTransferDialog dialog(parent, title);
    Sink sink(dialog);
    int result = DVO_E_IO;
    auto body = [&] {
        try {
            result = work(sink);
        } catch (...) {
            result = DVO_E_IO;
        }
        QMetaObject::invokeMethod(
            &dialog,
            [&dialog] {
                dialog.m_finished = true;
                dialog.m_loop.quit();
            },
            Qt::QueuedConnection);
    };
    std::thread worker;
    try {
        worker = std::thread(body);
    } catch (...) {
        body(); // no thread to be had: the work still gets done, the window waits for it
    }
    // A quick operation never flashes a dialog: for its first moments the window only repaints,
    // and input waits (it is delivered, not lost, once the operation has ended or the dialog
    // blocks it).
    QTimer::singleShot(kShowAfterMs, &dialog, [&dialog] { dialog.m_loop.quit(); });
    if (!dialog.m_finished)
        dialog.m_loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!dialog.m_finished) {
        dialog.show();
        dialog.m_loop.exec();
    }
    if (worker.joinable())
        worker.join();
    dialog.hide();
    return result;
}

QString QtTransferDialog::Text() const { return m_text->text(); }

bool QtTransferDialog::Keep(int permille, const std::string& text) {
    {
        std::lock_guard lock(m_mutex);
        m_permille = permille;
        m_latest = text;
        if (!m_showPending) {
            m_showPending = true;
            QMetaObject::invokeMethod(
                this, [this] { ShowLatest(); }, Qt::QueuedConnection);
        }
    }
    return !m_cancelled.load();
}

void QtTransferDialog::ShowLatest() {
    int permille = 0;
    std::string text;
    {
        std::lock_guard lock(m_mutex);
        permille = m_permille;
        text = m_latest;
        m_showPending = false;
    }
    m_text->setText(QString::fromStdString(text));
    if (permille < 0) {
        m_bar->setRange(0, 0);
    } else {
        m_bar->setRange(0, 1000);
        m_bar->setValue(permille);
    }
}

void QtTransferDialog::RequestCancel() {
    m_cancelled = true;
    m_cancel->setEnabled(false);
    m_cancel->setText(QString::fromUtf8("キャンセルしています…"));
}

void QtTransferDialog::reject() {
    if (!m_finished)
        RequestCancel();
}

void QtTransferDialog::closeEvent(QCloseEvent* event) {
    if (m_finished) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    RequestCancel();
}

} // namespace dvo::qt
