#pragma once

// What the mouse does on the Dsp Editor's canvas, as operations on the project: hit
// tests, the left press / move / release of the four drag modes, the band selection,
// the right press and the wheel zoom. The widget turns events into these calls and
// repaints; everything here runs without a window.
#include "model/project.h"

#include <cstdint>

namespace tw {

// Virtual canvas the "everything" band spans (select all, Shift-press).
inline constexpr int32_t kWholeCanvasLeft = -3840;
inline constexpr int32_t kWholeCanvasTop = -2160;
inline constexpr int32_t kWholeCanvasRight = 3840;
inline constexpr int32_t kWholeCanvasBottom = 2160;

inline constexpr int32_t kMinZoom = 1;
inline constexpr int32_t kMaxZoom = 10;

// The first input whose marker strictly contains (x, y); hidden inputs are never hit.
// -1 when none is.
int32_t HitInput(const Project& project, int32_t x, int32_t y) noexcept;

// The first output whose marker strictly contains (x, y), or -1.
int32_t HitOutput(const Project& project, int32_t x, int32_t y) noexcept;

// The highest-numbered module whose box contains (x, y) (edges included), or -1.
int32_t FindModuleAt(const Project& project, int32_t x, int32_t y) noexcept;

// Module hit test as the press runs it: makes the module under (x, y) current and
// grabbed, with the grab offset from its top centre, and points the Properties window
// at it. With nothing hit the current module becomes -1 and the target is left alone.
bool HitModule(Project& project, int32_t x, int32_t y) noexcept;

// Comment hit test: every comment whose box strictly contains (x, y) is flagged as
// clicked (all others cleared); the last one becomes current with its grab offset.
bool HitComment(Project& project, int32_t x, int32_t y) noexcept;

// Clears the cable drag: no source, nothing visible, no hover targets.
void ResetCableDrag(Project& project) noexcept;

// One step of the band selection state machine.
void RunBandMachine(Project& project, bool buttonDown) noexcept;

// Moves the band-selected modules and comments by the pointer's distance from the press.
void MoveSelection(Project& project) noexcept;

// Snaps a pointer coordinate toward zero to the grid when snap is on.
int32_t SnapCoordinate(const Project& project, int32_t v) noexcept;

// Left button pressed at (x, y). shiftHeld is read from the project.
void LeftPress(Project& project, int32_t x, int32_t y) noexcept;

// Pointer moved to (x, y), with the button state in project.buttonDown.
void PointerMove(Project& project, int32_t x, int32_t y) noexcept;

// Left button released at (x, y). Nothing happens unless the button is down.
void LeftRelease(Project& project, int32_t x, int32_t y) noexcept;

// What lies under a right press; the press also runs the module and comment hit tests.
// A left-button drag still running is ended first, as a left release at (x, y) would.
struct RightPressHit {
    int32_t slot = kNone;
    int32_t comment = kNone;
};
RightPressHit RightPress(Project& project, int32_t x, int32_t y) noexcept;

// Wheel turned by `delta` (120 per notch). Whole notches change the zoom by one step
// each, clamped to 1..10; partial deltas are kept in `pending` until they add up to a
// notch, so that fine-grained wheels zoom both ways alike. Returns true when a notch was
// completed (the selection is then cleared and the canvas re-laid-out).
bool WheelZoom(Project& project, int32_t delta, int32_t& pending) noexcept;

} // namespace tw
