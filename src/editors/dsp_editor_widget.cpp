#include "editors/dsp_editor_widget.h"

#include "editors/dsp_context_menu.h"
#include "model/lifecycle.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace tw {

namespace {

constexpr int kTickMs = 40; // 25 pictures per second

// The part of the mouse session that the picture shows.
CanvasOverlay OverlayOf(const CanvasSession& s) {
    CanvasOverlay o;
    o.looseCable = s.buttonDown && s.cableVisible && (s.dragFromInput || s.dragFromOutput);
    o.cableFixedX = s.cableFixedX;
    o.cableFixedY = s.cableFixedY;
    o.pointerX = s.pointerX;
    o.pointerY = s.pointerY;
    o.hoverInput = s.hoverInput;
    o.hoverOutput = s.hoverOutput;
    o.band = s.bandVisible;
    o.bandLeft = s.bandLeft;
    o.bandTop = s.bandTop;
    o.bandRight = s.bandRight;
    o.bandBottom = s.bandBottom;
    return o;
}

} // namespace

DspEditorWidget::DspEditorWidget(Project& project, CanvasSession& session, Platform& platform,
                                 QWidget* parent)
    : QWidget(parent), project_(project), session_(session), platform_(platform) {
    // The painter covers every pixel; nothing is erased first, so a frame never flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Moves with the button up still matter: they settle a band that was only clicked.
    setMouseTracking(true);
    setWindowTitle(QStringLiteral("Dsp Editor"));
    // Arrow keys and Space reach the canvas once it has been clicked.
    setFocusPolicy(Qt::ClickFocus);
    session_.buttonDown = false;
    menuRunner_ = [](QMenu& menu, const QPoint& at) { return menu.exec(at); };
    horizontal_ = new QScrollBar(Qt::Horizontal, this);
    vertical_ = new QScrollBar(Qt::Vertical, this);
    for (QScrollBar* bar : {horizontal_, vertical_}) {
        bar->setCursor(Qt::ArrowCursor);
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (!syncing_) ScrollTo(horizontal_->value(), vertical_->value());
        });
    }
    connect(&timer_, &QTimer::timeout, this, &DspEditorWidget::Tick);
    timer_.start(kTickMs);
}

QSize DspEditorWidget::ViewSize() const {
    return QSize(std::max(width() - vertical_->sizeHint().width(), 1),
                 std::max(height() - horizontal_->sizeHint().height(), 1));
}

QPoint DspEditorWidget::ToCanvas(const QPoint& at) const {
    return at + QPoint(project_.viewOriginX, project_.viewOriginY);
}

void DspEditorWidget::Tick() {
    // Only what changed is drawn again: everything after an edit, a scroll or a zoom made
    // anywhere, otherwise the live displays whose values moved; nothing on a quiet canvas.
    const QSize view = ViewSize();
    session_.viewWidth = view.width();
    session_.viewHeight = view.height();
    if (isVisible()) {
        const QRegion changed = picture_.Changes(project_, LiveView(), OverlayOf(session_), view);
        if (!changed.isEmpty()) update(changed);
    }
    Q_EMIT Ticked();
}

void DspEditorWidget::ScrollTo(int32_t x, int32_t y) {
    const QSize view = ViewSize();
    ScrollViewTo(project_, x, y, view.width(), view.height());
    SyncScrollBars();
    update();
}

void DspEditorWidget::SyncScrollBars() {
    const QSize view = ViewSize();
    const ScrollRange range = CanvasScrollRange(project_, view.width(), view.height());
    syncing_ = true;
    horizontal_->setRange(0, range.maxX);
    horizontal_->setPageStep(view.width());
    horizontal_->setSingleStep(std::max(8, project_.SnapStep()));
    horizontal_->setValue(project_.viewOriginX);
    vertical_->setRange(0, range.maxY);
    vertical_->setPageStep(view.height());
    vertical_->setSingleStep(std::max(8, project_.SnapStep()));
    vertical_->setValue(project_.viewOriginY);
    syncing_ = false;
}

void DspEditorWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize view = ViewSize();
    session_.viewWidth = view.width();
    session_.viewHeight = view.height();
    horizontal_->setGeometry(0, view.height(), view.width(), height() - view.height());
    vertical_->setGeometry(view.width(), 0, width() - view.width(), view.height());
    SyncScrollBars();
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

void DspEditorWidget::paintEvent(QPaintEvent* event) {
    // The widget's backing store is the off-screen image: the picture is drawn there and
    // reaches the screen in one flush.
    const QSize view = ViewSize();
    const int64_t stillBefore = picture_.StillPaints();
    QPainter painter(this);
    const QRegion region = event->region() & QRect(QPoint(0, 0), view);
    picture_.Paint(painter, region, project_, LiveView(), OverlayOf(session_), view,
                   devicePixelRatioF());
    // The corner between the scroll bars.
    painter.fillRect(QRect(QPoint(view.width(), view.height()), size()),
                     palette().color(QPalette::Window));
    painter.end();
    // The rest of the view shows the picture before; where it is covered, Qt leaves it.
    if (picture_.RedrawnInPart()) update();
    if (picture_.StillPaints() != stillBefore && !syncing_) SyncScrollBars();
}

void DspEditorWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint view = event->position().toPoint();
    const QPoint at = ToCanvas(view);
    if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && spaceHeld_)) {
        panning_ = true;
        panStart_ = view;
        panOrigin_ = QPoint(project_.viewOriginX, project_.viewOriginY);
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() == Qt::LeftButton) {
        session_.shiftHeld = (event->modifiers() & Qt::ShiftModifier) != 0;
        platform_.BringEditorWindowToTop(EditorWindow::DspEditor);
        LeftPress(project_, session_, at.x(), at.y());
        platform_.RefreshProperties();
        platform_.RebuildMenus();
        update();
    } else if (event->button() == Qt::RightButton) {
        ShowContextMenu(view);
    }
}

void DspEditorWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint view = event->position().toPoint();
    if (panning_) {
        const QPoint to = panOrigin_ - (view - panStart_);
        ScrollTo(to.x(), to.y());
        return;
    }
    const QPoint at = ToCanvas(view);
    session_.pointerInView = true;
    PointerMove(project_, session_, at.x(), at.y());
    if (session_.buttonDown) update();
}

void DspEditorWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (panning_) {
        if (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton) {
            panning_ = false;
            setCursor(spaceHeld_ ? Qt::OpenHandCursor : Qt::ArrowCursor);
        }
        return;
    }
    const QPoint at = ToCanvas(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        LeftRelease(project_, session_, at.x(), at.y());
        // One gesture, one step: a move, a cable laid or pulled, however many pixels.
        RecordStep(history_, project_, platform_);
        update();
    } else if (event->button() == Qt::RightButton) {
        session_.buttonDown = false;
    }
}

void DspEditorWidget::wheelEvent(QWheelEvent* event) {
    const QPoint view = event->position().toPoint();
    if (WheelZoomAt(project_, session_, event->angleDelta().y(), view.x(), view.y())) {
        platform_.SelectZoom(project_.zoom);
        RecordStep(history_, project_, platform_); // the view changed: no step, only a rebase
        SyncScrollBars();
        update();
    }
    event->accept();
}

void DspEditorWidget::keyPressEvent(QKeyEvent* event) {
    const QSize view = ViewSize();
    const bool page = (event->modifiers() & Qt::ShiftModifier) != 0;
    const int32_t dx = page ? view.width() * 9 / 10 : std::max(16, 4 * project_.SnapStep());
    const int32_t dy = page ? view.height() * 9 / 10 : std::max(16, 4 * project_.SnapStep());
    const int32_t x = project_.viewOriginX, y = project_.viewOriginY;
    switch (event->key()) {
    case Qt::Key_Left:
        ScrollTo(x - dx, y);
        break;
    case Qt::Key_Right:
        ScrollTo(x + dx, y);
        break;
    case Qt::Key_Up:
        ScrollTo(x, y - dy);
        break;
    case Qt::Key_Down:
        ScrollTo(x, y + dy);
        break;
    case Qt::Key_Space:
        if (!event->isAutoRepeat()) {
            spaceHeld_ = true;
            if (!panning_) setCursor(Qt::OpenHandCursor);
        }
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void DspEditorWidget::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    spaceHeld_ = false;
    if (!panning_) setCursor(Qt::ArrowCursor);
    event->accept();
}

void DspEditorWidget::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    session_.pointerInView = true;
}

void DspEditorWidget::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    session_.pointerInView = false;
}

void DspEditorWidget::ShowContextMenu(const QPoint& view) {
    const QPoint at = ToCanvas(view);
    const RightPressHit hit = RightPress(project_, session_, at.x(), at.y());
    std::unique_ptr<QMenu> menu = BuildDspContextMenu(project_, hit, this);
    int32_t command = kCommandNone;
    if (!menu->isEmpty()) {
        QAction* chosen = menuRunner_(*menu, mapToGlobal(view));
        if (chosen != nullptr) command = chosen->data().toInt();
    }
    RunDspContextCommand(project_, session_, platform_, command, at.x(), at.y(), hit);
    if (command == kCommandCut || command == kCommandPaste)
        RecordStep(history_, project_, platform_, command == kCommandCut ? "Cut" : "Paste", true);
    else
        RecordStep(history_, project_, platform_);
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

} // namespace tw
