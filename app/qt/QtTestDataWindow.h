#pragma once
// The diagnostics window on screen: carries out the label and text-area operations of TTestData
// and forwards the button click to it. The program creates it hidden and never shows it.
#include "app/main/ITestDataView.h"
#include "app/main/TTestData.h"

#include <QWidget>

#include <array>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace dvo::qt {

class QtTestDataWindow final : public QWidget, public dvo::app::ITestDataView {
    Q_OBJECT
public:
    // A top-level window, built hidden; `records` is read at each click on "一覧表示".
    explicit QtTestDataWindow(dvo::app::FolderRecordSource records, QWidget* parent = nullptr);

    [[nodiscard]] dvo::app::TTestData& Logic() { return m_logic; }

    // The user's long time format from the system locale: its hour form and AM/PM marker; the
    // time zone of Qt's long format is not part of it.
    [[nodiscard]] static dvo::app::LongTimeFormat SystemLongTimeFormat();

    // dvo::app::ITestDataView
    void SetLabelText(dvo::app::TestDataLabel label, const std::string& text) override;
    void AppendLines(const std::vector<std::string>& lines) override;

private:
    std::array<QLabel*, dvo::app::kTestDataLabelCount> m_values{}; // owned by the window
    QPushButton* m_listButton = nullptr;
    QPlainTextEdit* m_dataCheck = nullptr;
    dvo::app::TTestData m_logic; // after the widgets: FormCreate fills them
};

} // namespace dvo::qt
