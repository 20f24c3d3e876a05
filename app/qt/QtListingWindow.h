#pragma once
// A listing window on screen (the largest files, the kinds, the years): the summary line above
// a list that a small table model reads from TListingForm, the kinds' colour swatches and the
// years' bars; clicks go to the logic.
#include "app/views/IListingView.h"
#include "app/views/TListingForm.h"

#include <QWidget>

class QAction;
class QLabel;
class QTableView;

namespace dvo::app {
class IListingSource;
class ResultViews;
class TMainForm;
} // namespace dvo::app

namespace dvo::qt {

class ListingModel;

class QtListingWindow final : public QWidget, public dvo::app::IListingView {
    Q_OBJECT
public:
    // A window of its own above owner; the menu item opens it. Everything given must outlive
    // this object, which follows the result views from its creation to its destruction.
    QtListingWindow(QWidget& owner, QAction& menuItem, dvo::app::ListingKind kind,
                    dvo::app::TMainForm& form, dvo::app::ResultViews& results,
                    dvo::app::IListingSource& source);
    ~QtListingWindow() override;

    [[nodiscard]] dvo::app::TListingForm& Logic() { return m_logic; }
    [[nodiscard]] QTableView& List() { return *m_list; }
    [[nodiscard]] QLabel& Summary() { return *m_summary; }

    // dvo::app::IListingView
    void ShowWindow() override;
    void SetSummaryText(const std::string& text) override;
    void RowsChanged() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    dvo::app::ResultViews& m_results;
    dvo::app::TListingForm m_logic;
    bool m_placed = false;
    // Widgets, owned through Qt's parent chain.
    QLabel* m_summary = nullptr;
    QTableView* m_list = nullptr;
    ListingModel* m_model = nullptr;
};

} // namespace dvo::qt
