#pragma once

// The editor windows inside the main window's work area: closing one only hides it, and
// it cannot be moved to where its caption would be out of reach.
#include <QColor>
#include <QMdiSubWindow>
#include <QRect>
#include <QSize>

namespace tw {

// Where a window of rectangle `r` (work-area coordinates) may stand in a work area of size
// `area`: its left edge not left of the area, its top neither above the area nor lower
// than 45 pixels above the area's bottom; a window whose right edge passes the area's is
// moved to the left edge and, when it can be resized, narrowed to the area's width.
QRect LimitChildRect(const QRect& r, const QSize& area, bool sizeable);

class ChildWindow final : public QMdiSubWindow {
    Q_OBJECT
public:
    // `sizeable` windows have minimise and maximise boxes; the others keep `fixedSize`.
    ChildWindow(QWidget* content, const QString& title, const QColor& background, bool sizeable,
                const QSize& fixedSize = {});

    bool Sizeable() const { return sizeable_; }
    // Moves the window back inside its work area (after the area shrank).
    void KeepInside();

Q_SIGNALS:
    // The user closed the window; it is hidden, not destroyed.
    void Hidden();
    void Resized(const QSize& outerSize);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool sizeable_;
    bool limiting_ = false;
};

} // namespace tw
