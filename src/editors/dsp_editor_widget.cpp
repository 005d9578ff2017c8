#include "editors/dsp_editor_widget.h"

#include "editors/dsp_context_menu.h"

#include <QAction>
#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace tw {

namespace {

constexpr int kTickMs = 40; // 25 pictures per second

} // namespace

DspEditorWidget::DspEditorWidget(Project& project, Platform& platform, QWidget* parent)
    : QWidget(parent), project_(project), platform_(platform) {
    // The painter covers every pixel; nothing is erased first, so a frame never flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Moves with the button up still matter: they settle a band that was only clicked.
    setMouseTracking(true);
    setWindowTitle(QStringLiteral("Dsp Editor"));
    project_.buttonDown = 0;
    menuRunner_ = [](QMenu& menu, const QPoint& at) { return menu.exec(at); };
    connect(&timer_, &QTimer::timeout, this, [this] {
        update();
        Q_EMIT Ticked();
    });
    timer_.start(kTickMs);
    WatchFrame();
}

void DspEditorWidget::SetLiveSources(const UtilityState* utility,
                                     std::function<bool()> midiInputOpen) {
    utility_ = utility;
    midiInputOpen_ = std::move(midiInputOpen);
}

void DspEditorWidget::SetMenuRunner(MenuRunner runner) {
    menuRunner_ = std::move(runner);
}

CanvasLiveView DspEditorWidget::LiveView() const {
    CanvasLiveView live;
    live.utility = utility_;
    live.midiInputOpen = midiInputOpen_ ? midiInputOpen_() : false;
    return live;
}

void DspEditorWidget::paintEvent(QPaintEvent*) {
    // The widget's backing store is the off-screen image: the whole picture is drawn
    // there and reaches the screen in one flush.
    QPainter painter(this);
    PaintDspCanvas(painter, project_, LiveView(), width(), height());
}

void DspEditorWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        project_.shiftHeld = (event->modifiers() & Qt::ShiftModifier) ? 1 : 0;
        platform_.BringEditorWindowToTop(EditorWindow::DspEditor);
        LeftPress(project_, at.x(), at.y());
        platform_.RefreshProperties();
        platform_.RebuildMenus();
        update();
    } else if (event->button() == Qt::RightButton) {
        ShowContextMenu(at);
    }
}

void DspEditorWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    PointerMove(project_, at.x(), at.y());
    if (project_.buttonDown) update();
}

void DspEditorWidget::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        LeftRelease(project_, at.x(), at.y());
        update();
    } else if (event->button() == Qt::RightButton) {
        project_.buttonDown = 0;
    }
}

void DspEditorWidget::wheelEvent(QWheelEvent* event) {
    if (WheelZoom(project_, event->angleDelta().y(), wheelPending_)) {
        platform_.SelectZoom(project_.zoom);
        update();
    }
    event->accept();
}

void DspEditorWidget::ShowContextMenu(const QPoint& at) {
    const RightPressHit hit = RightPress(project_, at.x(), at.y());
    std::unique_ptr<QMenu> menu = BuildDspContextMenu(project_, hit, this);
    int32_t command = kCommandNone;
    if (!menu->isEmpty()) {
        QAction* chosen = menuRunner_(*menu, mapToGlobal(at));
        if (chosen != nullptr) command = chosen->data().toInt();
    }
    RunDspContextCommand(project_, platform_, command, at.x(), at.y(), hit);
    update();
    Q_EMIT Ticked();
    platform_.RefreshProperties();
    platform_.RebuildMenus();
}

void DspEditorWidget::closeEvent(QCloseEvent* event) {
    // Closing only hides the editor; the Window menu brings it back.
    event->ignore();
    hide();
    platform_.RebuildMenus();
}

bool DspEditorWidget::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) WatchFrame();
    return QWidget::event(event);
}

void DspEditorWidget::WatchFrame() {
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (frame == frame_) return;
    if (frame_ != nullptr) frame_->removeEventFilter(this);
    frame_ = frame;
    if (frame_ != nullptr) frame_->installEventFilter(this);
}

bool DspEditorWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == frame_) {
        switch (event->type()) {
        case QEvent::Close:
            event->ignore();
            frame_->hide();
            platform_.RebuildMenus();
            return true;
        case QEvent::Move:
        case QEvent::Resize:
            KeepFrameInside();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DspEditorWidget::KeepFrameInside() {
    if (frame_ == nullptr || adjustingFrame_ || frame_->parentWidget() == nullptr) return;
    if (frame_->isMaximized() || frame_->isMinimized()) return;
    // The sub-window area already lies right of the side panel and below the toolbar.
    const QWidget* area = frame_->parentWidget();
    // Before the main window is on screen its area has no settled size to judge by.
    if (!frame_->isVisible() || !area->isVisible()) return;
    const QRect g = frame_->geometry();
    const EditorWindowBox box = KeepEditorWindowInside({g.x(), g.y(), g.width(), g.height()},
                                                       {0, 0, area->width(), area->height()});
    const QRect wanted(box.x, box.y, box.width, box.height);
    if (wanted == g || area->width() <= 16) return;
    adjustingFrame_ = true;
    frame_->setGeometry(wanted);
    adjustingFrame_ = false;
}

} // namespace tw
