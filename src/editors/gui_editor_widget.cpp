#include "editors/gui_editor_widget.h"

#include "editors/gui_context_menu.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "paint/panel_painter.h"

#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace tw {

namespace {
const QColor kLearnBanner(245, 235, 100);
} // namespace

GuiEditorWidget::GuiEditorWidget(Project& project, Platform& platform, QWidget* parent)
    : QWidget(parent), project_(project), platform_(platform) {
    // The whole panel is painted every time; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Gui Editor"));
    setFocusPolicy(Qt::ClickFocus); // Esc cancels a MIDI learn
    session_.width = width();
    session_.height = height();
}

GuiEditorWidget::~GuiEditorWidget() = default;

void GuiEditorWidget::Refresh() {
    if (!isVisible()) return;
    if (!bufferValid_ || PanelKey(project_, size()) != bufferKey_ ||
        LearnWaiting() != shownLearnSlot_)
        update();
}

void GuiEditorWidget::paintEvent(QPaintEvent* event) {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (buffer_.size() != pixels) {
        buffer_ = QImage(pixels, QImage::Format_RGB32);
        buffer_.setDevicePixelRatio(ratio);
        bufferValid_ = false;
    }
    UpdateControlSizes(project_);
    // The picture is kept between paints and drawn again only when what it shows changed.
    const uint64_t key = PanelKey(project_, size());
    if (!bufferValid_ || key != bufferKey_) {
        QPainter offscreen(&buffer_);
        PaintPanel(offscreen, project_, size());
        bufferKey_ = key;
        bufferValid_ = true;
        ++panelPaints_;
    }
    QPainter painter(this);
    const QRect r = event->rect();
    painter.drawImage(r, buffer_, QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio));
    // A control that waits for its controller is told of above the panel, not in it, so
    // that the picture kept between paints stays the panel's own.
    shownLearnSlot_ = LearnWaiting();
    if (shownLearnSlot_ != kNone) {
        const QString text = MidiLearnWaitingText();
        const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-6, -3, 6, 3);
        const QRect banner(QPoint(0, 0), box.size());
        painter.fillRect(banner, kLearnBanner);
        painter.setPen(Qt::black);
        painter.drawText(banner, Qt::AlignCenter, text);
    }
}

void GuiEditorWidget::CancelLearn() {
    if (learn_.cancel) learn_.cancel();
    update();
}

void GuiEditorWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && LearnWaiting() != kNone) {
        CancelLearn();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void GuiEditorWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    session_.width = width();
    session_.height = height();
}

void GuiEditorWidget::BringToFront() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
        frame->raise();
    } else if (!isWindow()) {
        raise();
    }
}

void GuiEditorWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        BringToFront();
        PanelLeftPress(project_, session_, platform_, at.x(), at.y());
        update();
    } else if (event->button() == Qt::RightButton) {
        OpenContextMenu(at);
    }
}

void GuiEditorWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    PanelPointerMove(project_, session_, at.x(), at.y());
    if (session_.buttonDown) update();
}

void GuiEditorWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    PanelLeftRelease(project_, session_);
    // A knob turned or a control dragged is one step however far the mouse went.
    RecordStep(history_, project_, platform_);
    update();
}

void GuiEditorWidget::OpenContextMenu(QPoint at) {
    const PanelMenu description = PanelRightPress(project_, session_, platform_, at.x(), at.y());
    PanelMenuCommands commands;
    commands.setEditMode = [this](bool edit) {
        SetGuiEditMode(project_, platform_, edit);
        RecordStep(history_, project_, platform_);
        update();
    };
    commands.insertPolygon = [this, at] {
        InsertPanelPolygon(project_, platform_, at.x(), at.y(), width(), height());
        RecordStep(history_, project_, platform_);
        update();
    };
    commands.insertText = [this, at] {
        InsertPanelText(project_, platform_, at.x(), at.y());
        RecordStep(history_, project_, platform_);
        update();
    };
    commands.deletePolygon = [this] {
        AskDeletePolygon(project_, platform_);
        RecordStep(history_, project_, platform_);
        update();
    };
    commands.deleteText = [this] {
        AskDeleteText(project_, platform_);
        RecordStep(history_, project_, platform_);
        update();
    };
    commands.deleteParameter = [this] {
        AskDeleteParameter(project_, platform_);
        RecordStep(history_, project_, platform_);
        update();
    };
    commands.selectSkin = [this](const std::string& name) {
        SelectSkin(project_, platform_, name);
        RecordStep(history_, project_, platform_);
        update();
    };
    const int32_t slot = description.midiSlot;
    commands.learnMidiCc = [this, slot] {
        if (learn_.start) learn_.start(slot);
        setFocus(Qt::OtherFocusReason); // for the Esc that cancels
        update();
    };
    commands.cancelMidiLearn = [this] { CancelLearn(); };
    commands.midiLearnWaiting = slot != kNone && LearnWaiting() == slot;
    commands.forgetMidiCc = [this, slot] {
        project_.ForgetMidiCc(slot);
        RecordStep(history_, project_, platform_);
    };
    // The previous menu may still be finishing the click that closed it: it goes later.
    if (menu_) menu_.release()->deleteLater();
    menu_ = BuildPanelContextMenu(description, GetText(project_.skinName), commands, this);
    update();
    menu_->popup(mapToGlobal(at));
}

void GuiEditorWidget::wheelEvent(QWheelEvent* event) {
    // Some systems turn a Shift+wheel into a sideways one.
    const QPoint angle = event->angleDelta();
    wheelRest_ += angle.y() != 0 ? angle.y() : angle.x();
    constexpr int kNotch = 120;
    const int notches = wheelRest_ / kNotch;
    wheelRest_ -= notches * kNotch;
    event->accept();
    if (notches == 0) return;
    const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
    const QPoint at = event->position().toPoint();
    const int32_t slot = PanelWheel(project_, platform_, at.x(), at.y(),
                                    notches * (shift ? kWheelShiftStep : kWheelStep));
    if (slot == kNone) return;
    // Notches in a row on one control make one step, as a drag does.
    const bool goOn =
        history_ != nullptr && slot == wheelSlot_ && history_->Revision() == wheelRevision_;
    if (history_ != nullptr && !goOn) history_->CloseMerge();
    const std::string name = "Turn " + std::string(GetText(project_.slots[slot].name));
    RecordStep(history_, project_, platform_, name, false, true);
    wheelSlot_ = slot;
    if (history_ != nullptr) wheelRevision_ = history_->Revision();
    update();
}

} // namespace tw
