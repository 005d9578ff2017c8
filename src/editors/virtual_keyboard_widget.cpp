#include "editors/virtual_keyboard_widget.h"

#include "paint/keyboard_picture.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace tw {

namespace {

constexpr int kButtonWidth = 20;
constexpr int kStripX = 20;
constexpr int kStripWidth = 673;
constexpr int kHeight = 36;

} // namespace

VirtualKeyboardWidget::VirtualKeyboardWidget(Project& project, NoteSink noteSink, QWidget* parent)
    : QWidget(parent), project_(project), noteSink_(std::move(noteSink)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Virtual Keyboard"));
    setFixedSize(kStripX + kStripWidth + kButtonWidth, kHeight);
    down_ = new QPushButton(QStringLiteral("<"), this);
    down_->setGeometry(0, 0, kButtonWidth, kHeight);
    up_ = new QPushButton(QStringLiteral(">"), this);
    up_->setGeometry(kStripX + kStripWidth, 0, kButtonWidth, kHeight);
    for (QPushButton* b : {down_, up_}) b->setFocusPolicy(Qt::NoFocus);
    connect(down_, &QPushButton::clicked, this, [this] {
        OctaveDown(project_);
        update();
    });
    connect(up_, &QPushButton::clicked, this, [this] {
        OctaveUp(project_);
        update();
    });
}

void VirtualKeyboardWidget::Refresh() {
    if (std::clamp(project_.baseNote, 0, kHighestBaseNote) != shownBase_) update();
}

void VirtualKeyboardWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int base = std::clamp(project_.baseNote, 0, kHighestBaseNote);
    shownBase_ = base;
    painter.drawImage(QPoint(kStripX, 0), KeyboardPicture(),
                      QRect(kKeyboardOctaveWidth * (base / 12), 0, kStripWidth, kHeight));
    // A latched key shows a dot near its lower end.
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 110, 190));
    for (int32_t i = 0; i < kKeyCount && i < kVisibleKeys; ++i) {
        const int32_t note = base + i;
        if (note >= static_cast<int32_t>(latched_.size()) || !latched_[note]) continue;
        const KeyRecord& k = project_.keys[i];
        painter.drawEllipse(QPointF((k.left + k.right) / 2.0, k.bottom - 6.0), 3.0, 3.0);
    }
}

void VirtualKeyboardWidget::BringToFront() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
        frame->raise();
    } else if (!isWindow()) {
        raise();
    }
}

void VirtualKeyboardWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    BringToFront();
    const QPoint at = event->position().toPoint();
    const int32_t key = KeyAt(project_, at.x(), at.y());
    if (key == kNone) return;
    const int32_t note = project_.baseNote + key;
    if ((event->modifiers() & Qt::ShiftModifier) != 0 && note >= 0 && note < 128) {
        latched_[note] = !latched_[note];
        if (noteSink_)
            noteSink_(latched_[note] ? kNoteOnStatus : kNoteOffStatus, note,
                      latched_[note] ? kKeyboardVelocity : 0);
        update();
        return;
    }
    project_.keys[key].pressed = 1;
    if (noteSink_) noteSink_(kNoteOnStatus, project_.baseNote + key, kKeyboardVelocity);
}

void VirtualKeyboardWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    for (int32_t i = 0; i < kKeyCount; ++i) {
        KeyRecord& key = project_.keys[i];
        if (key.pressed == 0) continue;
        key.pressed = 0;
        if (noteSink_) noteSink_(kNoteOffStatus, project_.baseNote + i, 0);
    }
}

} // namespace tw
