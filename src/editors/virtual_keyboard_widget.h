#pragma once

#include "model/project.h"

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
// Six octaves are visible: key indices 0..71 from the base note on.
inline constexpr int32_t kVisibleKeys = 72;
inline constexpr int32_t kHighestBaseNote = 48;

// The visible key under (x, y), black keys first since they lie over the white ones; -1
// when the point is on no key.
int32_t KeyAt(const Project& project, int32_t x, int32_t y);

// The "<" and ">" buttons: one octave down or up, within base notes 0 to 48.
void OctaveDown(Project& project);
void OctaveUp(Project& project);

// The "Virtual Keyboard": six octaves of keys that play notes like a MIDI keyboard. It has
// no timer of its own; the main window's 40 ms timer repaints it.
class VirtualKeyboardWidget : public QWidget {
    Q_OBJECT
public:
    VirtualKeyboardWidget(Project& project, NoteSink noteSink, QWidget* parent = nullptr);

    QPushButton* DownButton() const { return down_; }
    QPushButton* UpButton() const { return up_; }

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
};

} // namespace tw
