#include "app/child_window.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QPalette>

#include <algorithm>

namespace tw {

namespace {

// The part of a window that must stay above the work area's bottom edge: its caption.
constexpr int kCaptionReach = 45;

} // namespace

QRect LimitChildRect(const QRect& r, const QSize& area, bool sizeable) {
    QRect out = r;
    // The left edge first: a window pushed right by it may then pass the right edge.
    if (out.x() < 0) out.moveLeft(0);
    if (out.x() + out.width() > area.width()) {
        out.moveLeft(0);
        if (sizeable && out.width() > area.width()) out.setWidth(std::max(area.width(), 1));
    }
    if (out.y() > area.height() - kCaptionReach) out.moveTop(area.height() - kCaptionReach);
    if (out.y() < 0) out.moveTop(0);
    return out;
}

ChildWindow::ChildWindow(QWidget* content, const QString& title, const QColor& background,
                         bool sizeable, const QSize& fixedSize)
    : QMdiSubWindow(nullptr), sizeable_(sizeable) {
    Qt::WindowFlags flags =
        Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (sizeable) flags |= Qt::WindowMinMaxButtonsHint;
    setWindowFlags(flags);
    // Closing hides: the window and its editor live for the whole run.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(title);
    QPalette palette = content->palette();
    palette.setColor(QPalette::Window, background);
    content->setPalette(palette);
    content->setAutoFillBackground(true);
    setWidget(content);
    if (!sizeable && fixedSize.isValid()) setFixedSize(fixedSize);
}

void ChildWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    Q_EMIT Hidden();
}

std::optional<QSize> ChildWindow::AreaSize() const {
    const QMdiArea* area = mdiArea();
    if (area == nullptr || !area->isVisible()) return std::nullopt;
    return area->viewport()->size();
}

void ChildWindow::Place(const QRect& rect) {
    if (isMaximized() || isMinimized()) showNormal();
    Keep(HeldInReach(sizeable_ ? rect : QRect(rect.topLeft(), size())));
    KeepInside();
}

QRect ChildWindow::HeldInReach(QRect rect) const {
    // The size stays as it is, even where the work area is too small for it today.
    if (const std::optional<QSize> area = AreaSize())
        rect.moveTopLeft(LimitChildRect(rect, *area, false).topLeft());
    return rect;
}

void ChildWindow::Keep(const QRect& rect) {
    const bool resized = rect.size() != placed_.size();
    placed_ = rect;
    if (resized) Q_EMIT Resized(placed_.size());
}

void ChildWindow::KeepInside() {
    if (limiting_ || isMaximized() || isMinimized()) return;
    QRect shown = placed_;
    if (const std::optional<QSize> area = AreaSize())
        shown = LimitChildRect(placed_, *area, sizeable_);
    if (shown != geometry()) {
        // Moving from inside a move event sends another one; the flag keeps it from
        // recursing and from being taken for the user's move.
        limiting_ = true;
        setGeometry(shown);
        limiting_ = false;
    }
    shown_ = geometry();
}

void ChildWindow::FollowUser() {
    // Minimised and maximised are states of the window, not a place the project keeps.
    if (limiting_ || isMaximized() || isMinimized()) return;
    const QRect now = geometry();
    if (now == shown_) return;
    // A new size is the user's resize, taken as it is; a move alone keeps the size the
    // window has in the layout, which a small work area may be squeezing.
    Keep(now.size() != shown_.size() ? now : HeldInReach(QRect(now.topLeft(), placed_.size())));
    shown_ = now;
}

void ChildWindow::moveEvent(QMoveEvent* event) {
    QMdiSubWindow::moveEvent(event);
    FollowUser();
    KeepInside();
}

void ChildWindow::resizeEvent(QResizeEvent* event) {
    QMdiSubWindow::resizeEvent(event);
    FollowUser();
}

} // namespace tw
