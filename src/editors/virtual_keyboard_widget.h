#pragma once

#include "interaction/keyboard_interaction.h"
#include "model/project.h"

#include <array>
#include <cstdint>
#include <functional>

#include <QWidget>

class QPushButton;

namespace tw {

// Sends (status, note, velocity) to the engine's note handler.
using NoteSink = std::function<void(int32_t status, int32_t note, int32_t velocity)>;

inline constexpr int32_t kNoteOnStatus = 144;
inline constexpr int32_t kNoteOffStatus = 128;
inline constexpr int32_t kKeyboardVelocity = 100;
// The "Virtual Keyboard": six octaves of keys that play notes like a MIDI keyboard. It has
// Shift-click latches a key down and Shift-click again releases it. It has
// no timer of its own; the main window's 40 ms timer calls Refresh, which repaints it when
// the octave shown changed.
class VirtualKeyboardWidget : public QWidget {
    Q_OBJECT
public:
    VirtualKeyboardWidget(Project& project, NoteSink noteSink, QWidget* parent = nullptr);

    QPushButton* DownButton() const { return down_; }
    QPushButton* UpButton() const { return up_; }
    void Refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void BringToFront();

    Project& project_;
    NoteSink noteSink_;
    QPushButton* down_ = nullptr;
    QPushButton* up_ = nullptr;
    int32_t shownBase_ = -1;
    // Notes latched by a Shift-click: they sound until Shift-clicked again, so that a
    // chord can be held with the mouse.
    std::array<bool, 128> latched_{};
};

} // namespace tw
