#pragma once
// The framed folder group at the top of the main window. Children placed by hand at their design
// positions; those marked as right-anchored keep their distance to the right edge on resizing.
#include <QGroupBox>

#include <vector>

namespace dvo::qt {

class FolderPanel final : public QGroupBox {
    Q_OBJECT
public:
    FolderPanel(const QString& title, int designWidth, QWidget* parent = nullptr);

    // Keeps `child` at its current distance to the right edge of the design width.
    void AnchorRight(QWidget* child);

signals:
    // After the right-anchored children have moved.
    void Resized();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Anchor {
        QWidget* child; // owned by this panel as a Qt child
        int rightDistance;
    };
    int m_designWidth;
    std::vector<Anchor> m_anchors;
};

} // namespace dvo::qt
