#pragma once

#include "devices/midi_device.h"

#include <functional>
#include <string>

#include <QString>
#include <QTimer>
#include <QWidget>

namespace tw {

// Supplies the last MIDI message received.
using MonitorSource = std::function<MidiMonitorWords()>;
// Supplies news of the MIDI source that is newer than the last message, or "".
using NoticeSource = std::function<std::string()>;

inline constexpr int kMonitorRefreshMs = 20;

// The "Midi Monitor": the last MIDI message from the input device as one line, read from
// the input's words every 20 ms (every 100 ms after two quiet seconds) and repainted when
// it changed, or what became of the source when that is newer.
class MidiMonitorWidget : public QWidget {
    Q_OBJECT
public:
    explicit MidiMonitorWidget(MonitorSource source, NoticeSource notice = {},
                               QWidget* parent = nullptr);

    // The line shown at the last paint.
    const QString& Line() const { return line_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    MonitorSource source_;
    NoticeSource notice_;
    QTimer timer_;
    QString line_;
    MidiMonitorWords shown_;
    std::string shownNotice_;
    bool painted_ = false;
    int quietTicks_ = 0;
};

} // namespace tw
