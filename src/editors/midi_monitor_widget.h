#pragma once

#include "devices/midi_device.h"

#include <functional>

#include <QWidget>

namespace tw {

// Supplies the last MIDI message received.
using MonitorSource = std::function<MidiMonitorWords()>;

// The "Midi Monitor": the last MIDI message from the input device as one line.
class MidiMonitorWidget : public QWidget {
    Q_OBJECT
public:
    MidiMonitorWidget(MonitorSource source, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MonitorSource source_;
};

} // namespace tw
