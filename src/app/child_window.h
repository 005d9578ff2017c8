#pragma once

// The editor windows inside the main window's work area: closing one only hides it, and
// it cannot be moved to where its caption would be out of reach.
#include <QColor>
#include <QMdiSubWindow>
#include <QRect>
#include <QSize>

#include <optional>

namespace tw {

// Where a window of rectangle `r` (work-area coordinates) may stand in a work area of size
// `area`: its left edge not left of the area, its top neither above the area nor lower
// than 45 pixels above the area's bottom; a window whose right edge passes the area's is
// moved to the left edge and, when it can be resized and is wider than the area, narrowed
// to the area's width.
QRect LimitChildRect(const QRect& r, const QSize& area, bool sizeable);

class ChildWindow final : public QMdiSubWindow {
    Q_OBJECT
public:
    // `sizeable` windows have minimise and maximise boxes; the others keep `fixedSize`.
    ChildWindow(QWidget* content, const QString& title, const QColor& background, bool sizeable,
                const QSize& fixedSize = {});

    bool Sizeable() const { return sizeable_; }
    // Puts the window at `rect` (work-area coordinates; only the position for a window of
    // fixed size), in its normal state, held where its caption can be reached.
    void Place(const QRect& rect);
    // The window's place and size as the program or the user last set them: what a project
    // keeps. The window on screen may differ from it while a small work area squeezes it,
    // or while it is minimised or maximised.
    QRect Placed() const { return placed_; }
    // Shows the window at its place, limited to the work area (after the area changed size).
    void KeepInside();

Q_SIGNALS:
    // The user closed the window; it is hidden, not destroyed.
    void Hidden();
    // The placed size changed: the program or the user resized the window.
    void Resized(const QSize& outerSize);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::optional<QSize> AreaSize() const;
    // `rect` moved to where its caption can be reached in the work area, at its size.
    QRect HeldInReach(QRect rect) const;
    void Keep(const QRect& rect);
    // Takes a move or resize that neither the program nor the limits made as the user's.
    void FollowUser();

    bool sizeable_;
    bool limiting_ = false;
    QRect placed_;
    QRect shown_; // the geometry last shown, to tell the user's moves and resizes apart
};

} // namespace tw
