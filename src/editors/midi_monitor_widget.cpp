#include "editors/midi_monitor_widget.h"

#include <QPainter>

#include <utility>

namespace tw {

MidiMonitorWidget::MidiMonitorWidget(MonitorSource source, QWidget* parent)
    : QWidget(parent), source_(std::move(source)) {}

void MidiMonitorWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(206, 206, 200));
}

} // namespace tw
