#include "editors/midi_monitor_widget.h"

#include <QFontMetrics>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>

#include <utility>

namespace tw {

namespace {

constexpr int kMargin = 8;
constexpr qreal kSmallestPointSize = 6.0;
// After two seconds without a new message the input is read every 100 ms.
constexpr int kQuietTicks = 2000 / kMonitorRefreshMs;
constexpr int kQuietRefreshMs = 100;

} // namespace

MidiMonitorWidget::MidiMonitorWidget(MonitorSource source, NoticeSource notice, QWidget* parent)
    : QWidget(parent), source_(std::move(source)), notice_(std::move(notice)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Midi Monitor"));
    // A repaint only when a new message arrived; after a quiet spell the input is looked at
    // less often, so that an idle monitor costs next to nothing.
    connect(&timer_, &QTimer::timeout, this, [this] {
        const MidiMonitorWords words = source_ ? source_() : MidiMonitorWords{};
        const bool changed = words.status != shown_.status || words.data1 != shown_.data1 ||
                             words.data2 != shown_.data2 ||
                             (notice_ ? notice_() : std::string()) != shownNotice_;
        if (!painted_ || changed) update();
        quietTicks_ = changed ? 0 : quietTicks_ + 1;
        const int interval = quietTicks_ >= kQuietTicks ? kQuietRefreshMs : kMonitorRefreshMs;
        if (timer_.interval() != interval) timer_.setInterval(interval);
    });
    timer_.start(kMonitorRefreshMs);
}

void MidiMonitorWidget::paintEvent(QPaintEvent*) {
    const std::string notice = notice_ ? notice_() : std::string();
    const MidiMonitorWords words = source_ ? source_() : MidiMonitorWords{};
    shown_ = words;
    shownNotice_ = notice;
    painted_ = true;
    line_ = QString::fromStdString(notice.empty() ? MidiMonitorLine(words) : notice);
    QPainter painter(this);
    // Whatever lies beyond the box is the window's own background colour.
    painter.fillRect(rect(), palette().window());
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(QRect(-1, 0, 256, 63));
    // The window is narrow: a long line is set smaller rather than cut off.
    QFont lineFont = font();
    const int room = width() - 2 * kMargin;
    while (lineFont.pointSizeF() > kSmallestPointSize &&
           QFontMetrics(lineFont).horizontalAdvance(line_) > room) {
        lineFont.setPointSizeF(lineFont.pointSizeF() - 0.5);
    }
    painter.setFont(lineFont);
    painter.drawText(QRect(kMargin, kMargin, 256, 48), Qt::AlignLeft | Qt::AlignTop, line_);
}

void MidiMonitorWidget::mousePressEvent(QMouseEvent*) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
        frame->raise();
    } else if (!isWindow()) {
        raise();
    }
}

} // namespace tw
