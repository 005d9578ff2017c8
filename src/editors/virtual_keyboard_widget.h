#pragma once

#include "model/project.h"

#include <cstdint>
#include <functional>

#include <QWidget>

namespace tw {

// Sends (status, note, velocity) to the engine's note handler.
using NoteSink = std::function<void(int32_t status, int32_t note, int32_t velocity)>;

// The "Virtual Keyboard": six octaves of keys that play notes like a MIDI keyboard.
class VirtualKeyboardWidget : public QWidget {
    Q_OBJECT
public:
    VirtualKeyboardWidget(Project& project, NoteSink noteSink, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Project& project_;
    NoteSink noteSink_;
};

} // namespace tw
