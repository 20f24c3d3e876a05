#include "app/qt/QtTestDataWindow.h"

#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using dvo::app::TestDataLabel;

namespace dvo::qt {
namespace {

// Design sizes in pixels at 96 dots per inch.
constexpr int kClientWidth = 610;
constexpr int kClientHeight = 723;
constexpr int kPanelHeight = 65;

struct LabelPlace {
    TestDataLabel label;
    const char* caption;
    const char* name;
    int captionX, valueX, y;
};

constexpr LabelPlace kLabels[] = {
    {TestDataLabel::SearchStart, "検索開始時刻", "lblSearchStart", 32, 136, 8},
    {TestDataLabel::SearchEnd, "検索終了時刻", "lblSearchEnd", 32, 136, 24},
    {TestDataLabel::SearchDuration, "検索所要時間", "lblSearchDuration", 32, 136, 40},
    {TestDataLabel::ShowStart, "表示開始時刻", "lblShowStart", 240, 320, 8},
    {TestDataLabel::ShowEnd, "表示終了時刻", "lblShowEnd", 240, 320, 24},
    {TestDataLabel::ShowDuration, "表示所要時間", "lblShowDuration", 240, 320, 40},
    {TestDataLabel::TotalDuration, "総所要時間", "lblTotalDuration", 424, 504, 8},
};

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

QtTestDataWindow::QtTestDataWindow(dvo::app::FolderRecordSource records, QWidget* parent)
    : QWidget(parent, Qt::Window), m_logic(*this, SystemLongTimeFormat(), std::move(records)) {
    setObjectName(QStringLiteral("TTestData"));
    setWindowTitle(QStringLiteral("TestData"));

    auto* panel = new QWidget(this);
    panel->setFixedHeight(kPanelHeight);
    for (const LabelPlace& place : kLabels) {
        auto* caption = new QLabel(QString::fromUtf8(place.caption), panel);
        caption->setTextFormat(Qt::PlainText);
        caption->setGeometry(place.captionX, place.y, place.valueX - place.captionX - 4, 16);
        auto* value = new QLabel(panel);
        value->setTextFormat(Qt::PlainText); // never parse a value as markup
        value->setObjectName(QString::fromLatin1(place.name));
        value->setGeometry(place.valueX, place.y, 96, 16);
        m_values[static_cast<std::size_t>(place.label)] = value;
    }
    m_listButton = new QPushButton(QStringLiteral("一覧表示"), panel);
    m_listButton->setObjectName(QStringLiteral("ListButton"));
    m_listButton->setGeometry(520, 32, 75, 25);

    m_dataCheck = new QPlainTextEdit(this);
    m_dataCheck->setObjectName(QStringLiteral("DataCheck"));
    m_dataCheck->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(panel);
    layout->addWidget(m_dataCheck, 1);
    resize(kClientWidth, kClientHeight);

    connect(m_listButton, &QPushButton::clicked, this, [this] { m_logic.ListButtonClick(); });
    m_logic.FormCreate();
}

dvo::app::LongTimeFormat QtTestDataWindow::SystemLongTimeFormat() {
    const QLocale locale = QLocale::system();
    return dvo::app::LongTimeFormat::FromPattern(
        locale.timeFormat(QLocale::LongFormat).toStdString(), locale.amText().toStdString(),
        locale.pmText().toStdString());
}

void QtTestDataWindow::SetLabelText(TestDataLabel label, const std::string& text) {
    m_values[static_cast<std::size_t>(label)]->setText(Text(text));
}

void QtTestDataWindow::AppendLines(const std::vector<std::string>& lines) {
    // One block of text: appending line by line would lay out the document once per record.
    QString block;
    for (const std::string& line : lines) {
        block += Text(line);
        block += QLatin1Char('\n');
    }
    block.chop(1);
    m_dataCheck->appendPlainText(block);
}

} // namespace dvo::qt
