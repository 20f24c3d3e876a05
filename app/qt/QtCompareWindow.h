#pragma once
// The comparison window on screen: the summary line above a list of the changed entries, which
// a small table model reads from TCompareForm; a double click goes to the logic.
#include "app/views/ICompareView.h"
#include "app/views/TCompareForm.h"

#include <QWidget>

class QAction;
class QLabel;
class QTableView;

namespace dvo::app {
class IMainView;
class ResultViews;
class TMainForm;
} // namespace dvo::app

namespace dvo::qt {

class CompareModel;

class QtCompareWindow final : public QWidget, public dvo::app::ICompareView {
    Q_OBJECT
public:
    // A window of its own above owner; the menu item opens it. Everything given must outlive
    // this object. File choices go through mainView's open dialog.
    QtCompareWindow(QWidget& owner, QAction& menuItem, dvo::app::TMainForm& form,
                    dvo::app::IMainView& mainView, dvo::app::ResultViews& results);
    ~QtCompareWindow() override;

    [[nodiscard]] dvo::app::TCompareForm& Logic() { return m_logic; }
    [[nodiscard]] QTableView& List() { return *m_list; }

    // dvo::app::ICompareView
    void ShowWindow() override;
    [[nodiscard]] std::optional<std::string> SelectExportFile(const std::string& title,
                                                              const std::string& filter) override;
    void SetSummaryText(const std::string& text) override;
    void RowsChanged() override;

private:
    dvo::app::IMainView& m_mainView;
    dvo::app::TCompareForm m_logic;
    bool m_placed = false;
    // Widgets, owned through Qt's parent chain.
    QLabel* m_summary = nullptr;
    QTableView* m_list = nullptr;
    CompareModel* m_model = nullptr;
};

} // namespace dvo::qt
