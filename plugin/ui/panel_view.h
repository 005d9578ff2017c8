#pragma once

// The plugin window's panel without any window system: the design's controls on a
// project record, played with the Gui Editor's own panel interaction (panel mode, Lock
// Edit on), composed as the editor paints them (background, then each control's frame),
// scaled for the screen, and the messages the host must get (control values with touch
// grab and release around each gesture). The window feeds it pointer events and host
// values and puts the rectangles it reports on the screen.
#include "interaction/panel_interaction.h"
#include "model/project.h"
#include "platform/bitmap.h"
#include "platform/headless_platform.h"
#include "plugin/ui/bundle_reader.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tw::ui {

// A message for the host: a control port's new value, or the start or end of a gesture
// on it (ui:touch).
struct HostMessage {
    enum Kind { kWrite, kGrab, kRelease } kind = kWrite;
    uint32_t port = 0;
    float value = 0.0f;
};

struct Rect {
    int32_t x = 0, y = 0, width = 0, height = 0;
};

class PanelView {
public:
    // `scale` is the host's screen scale (1 when it gives none).
    PanelView(const PanelFiles& files, double scale);

    // The window's size and pixels (0x00RRGGBB, rows top-down), scaled.
    int32_t Width() const noexcept { return windowWidth_; }
    int32_t Height() const noexcept { return windowHeight_; }
    const uint32_t* Pixels() const noexcept { return window_.data(); }
    double Scale() const noexcept { return scale_; }

    // The panel at its own size: grey, then the background. The window may draw on it
    // (labels) before the first Update.
    Bitmap& Base() noexcept { return base_; }
    // Where each shown label goes when the background lacks the controls: its text, the
    // centre of its top edge, at the panel's own scale.
    struct Label {
        std::string text;
        int32_t centreX = 0;
        int32_t top = 0;
    };
    std::vector<Label> Labels() const;
    bool BackgroundShowsControls() const noexcept { return showsControls_; }

    // Composes the controls whose shown frame changed since the last call (every control
    // after the base changed) and returns the window rectangles that changed.
    std::vector<Rect> Update();
    // Forgets what is composed, so that the next Update draws everything.
    void Invalidate() noexcept;

    // A host value for a port: a control input (the host's value: automation, a preset, a
    // session) or a control output (what the plugin plays, moved by a MIDI controller too,
    // which is passed on to the host's control). `nowMs` is a monotonic clock.
    void PortEvent(uint32_t port, float value, int64_t nowMs);

    // Pointer events in window pixels.
    void Press(int32_t x, int32_t y);
    void Move(int32_t x, int32_t y);
    void Release();
    // One wheel notch per step, up positive; `shift` turns ten steps a notch.
    void Wheel(int32_t x, int32_t y, int32_t steps, bool shift);

    // The messages for the host since the last call, in order.
    std::vector<HostMessage> TakeMessages();

    int32_t ControlCount() const noexcept { return static_cast<int32_t>(controls_.size()); }
    int32_t StepOf(int32_t control) const noexcept;

private:
    struct Control {
        int32_t slot = 0;
        int32_t steps = 0;
        int32_t hostStep = 0;  // what the host's control holds, as far as the window knows
        int32_t shown = -1;    // the frame composed, or -1
        int64_t echoUntil = 0; // until then, outputs that differ are the plugin catching up
    };

    void ComposeControl(const Control& c);
    Rect ScaleRect(int32_t x, int32_t y, int32_t width, int32_t height);
    void SendChanges();
    int32_t ControlAt(int32_t x, int32_t y) const;
    int32_t PanelX(int32_t x) const noexcept;
    int32_t PanelY(int32_t y) const noexcept;

    std::unique_ptr<Project> project_;
    PanelSession session_;
    HeadlessPlatform platform_;
    std::vector<Control> controls_;
    bool showsControls_ = true;
    double scale_ = 1.0;
    Bitmap base_;                  // grey and background at the panel's size
    std::vector<uint32_t> panel_;  // base with the controls, at the panel's size
    std::vector<uint32_t> window_; // panel_ scaled
    int32_t windowWidth_ = 0, windowHeight_ = 0;
    int32_t grabbed_ = -1; // the control a gesture holds, or -1
    int64_t now_ = 0;
    std::vector<HostMessage> messages_;
    BitmapHandle placeholder_;
};

} // namespace tw::ui
