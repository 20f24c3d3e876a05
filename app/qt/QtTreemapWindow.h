#pragma once
// The treemap window on screen: draws the laid-out map into a cached picture, shows the legend
// and the status line, and forwards its events, one line each, to the handlers of TTreemapForm.
#include "app/views/ITreemapView.h"
#include "app/views/TTreemapForm.h"

#include <QWidget>

class QAction;
class QLabel;
class QPushButton;

namespace dvo::app {
class ResultViews;
class TMainForm;
} // namespace dvo::app

namespace dvo::qt {

class TreemapCanvas;

class QtTreemapWindow final : public QWidget, public dvo::app::ITreemapView {
    Q_OBJECT
public:
    // A window of its own above owner. The menu item, the form and the result views must outlive
    // this object, which follows the result views from its creation to its destruction.
    QtTreemapWindow(QWidget& owner, QAction& menuItem, dvo::app::TMainForm& form,
                    dvo::app::ResultViews& results);
    ~QtTreemapWindow() override;

    [[nodiscard]] dvo::app::TTreemapForm& Logic() { return m_logic; }
    [[nodiscard]] dvo::app::ResultViews& Results() { return m_results; }
    // The map's cached picture (null while a line of text is shown), for tests.
    [[nodiscard]] const QImage& Picture() const;
    [[nodiscard]] QWidget& Canvas();
    // The outlined entries of the kind chosen in the kinds window, for tests.
    [[nodiscard]] const std::vector<dvo::app::TreemapPixelRect>& KindOutlines() const;

    // dvo::app::ITreemapView
    void ShowWindow() override;
    void HideWindow() override;
    void SetMenuChecked(bool checked) override;
    [[nodiscard]] int MapWidth() const override;
    [[nodiscard]] int MapHeight() const override;
    void ShowMap(const dvo::app::TreemapGeometry& map) override;
    void ShowMessageLine(const std::string& text) override;
    void SetOutline(const std::optional<dvo::app::TreemapPixelRect>& rect) override;
    void SetKindOutlines(const std::vector<dvo::app::TreemapPixelRect>& rects) override;
    void SetStatusText(const std::string& text) override;
    void SetUpEnabled(bool enabled) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    dvo::app::ResultViews& m_results;
    QAction& m_menuItem;
    dvo::app::TTreemapForm m_logic;
    bool m_placed = false;
    // Widgets, owned through Qt's parent chain.
    TreemapCanvas* m_canvas = nullptr;
    QPushButton* m_btnUp = nullptr;
    QLabel* m_status = nullptr;
};

} // namespace dvo::qt
