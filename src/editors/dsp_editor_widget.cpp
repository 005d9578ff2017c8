#include "editors/dsp_editor_widget.h"

#include "editors/dsp_context_menu.h"
#include "model/lifecycle.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

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
    session_.buttonDown = false;
    menuRunner_ = [](QMenu& menu, const QPoint& at) { return menu.exec(at); };
    connect(&timer_, &QTimer::timeout, this, [this] {
        update();
        Q_EMIT Ticked();
    });
    timer_.start(kTickMs);
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
    PaintDspCanvas(painter, project_, LiveView(), width(), height(), OverlayOf(session_));
}

void DspEditorWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        session_.shiftHeld = (event->modifiers() & Qt::ShiftModifier) != 0;
        platform_.BringEditorWindowToTop(EditorWindow::DspEditor);
        LeftPress(project_, session_, at.x(), at.y());
        platform_.RefreshProperties();
        platform_.RebuildMenus();
        update();
    } else if (event->button() == Qt::RightButton) {
        ShowContextMenu(at);
    }
}

void DspEditorWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    PointerMove(project_, session_, at.x(), at.y());
    if (session_.buttonDown) update();
}

void DspEditorWidget::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
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
    if (WheelZoom(project_, session_, event->angleDelta().y())) {
        platform_.SelectZoom(project_.zoom);
        RecordStep(history_, project_, platform_); // the view changed: no step, only a rebase
        update();
    }
    event->accept();
}

void DspEditorWidget::ShowContextMenu(const QPoint& at) {
    const RightPressHit hit = RightPress(project_, session_, at.x(), at.y());
    std::unique_ptr<QMenu> menu = BuildDspContextMenu(project_, hit, this);
    int32_t command = kCommandNone;
    if (!menu->isEmpty()) {
        QAction* chosen = menuRunner_(*menu, mapToGlobal(at));
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
