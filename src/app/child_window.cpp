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
        if (sizeable) out.setWidth(std::max(area.width(), 1));
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

void ChildWindow::KeepInside() {
    QMdiArea* area = mdiArea();
    if (limiting_ || area == nullptr || !area->isVisible() || isMaximized() || isMinimized())
        return;
    const QSize size = area->viewport()->size();
    const QRect limited = LimitChildRect(geometry(), size, sizeable_);
    if (limited == geometry()) return;
    // Moving from inside a move event sends another one; the flag keeps it from recursing.
    limiting_ = true;
    setGeometry(limited);
    limiting_ = false;
}

void ChildWindow::moveEvent(QMoveEvent* event) {
    QMdiSubWindow::moveEvent(event);
    KeepInside();
}

void ChildWindow::resizeEvent(QResizeEvent* event) {
    QMdiSubWindow::resizeEvent(event);
    Q_EMIT Resized(size());
}

} // namespace tw
