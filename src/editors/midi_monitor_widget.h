#pragma once

#include "devices/midi_device.h"

#include <functional>

#include <QString>
#include <QTimer>
#include <QWidget>

namespace tw {

// Supplies the last MIDI message received.
using MonitorSource = std::function<MidiMonitorWords()>;

inline constexpr int kMonitorRefreshMs = 20;

// The "Midi Monitor": the last MIDI message from the input device as one line, read from
// the input's words every 20 ms (every 100 ms after two quiet seconds) and repainted when
// it changed.
class MidiMonitorWidget : public QWidget {
    Q_OBJECT
public:
    MidiMonitorWidget(MonitorSource source, QWidget* parent = nullptr);

    // The line shown at the last paint.
    const QString& Line() const { return line_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    MonitorSource source_;
    QTimer timer_;
    QString line_;
    MidiMonitorWords shown_;
    bool painted_ = false;
    int quietTicks_ = 0;
};

} // namespace tw
