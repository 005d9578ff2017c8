#pragma once

// What the mouse does on the Dsp Editor's canvas, as operations on the project and the
// editor's mouse session: hit tests, the left press / move / release of the four drag
// modes, the band selection, the right press and the wheel zoom. The widget turns events
// into these calls and repaints; everything here runs without a window.
#include "model/project.h"

#include <cstdint>

namespace tw {

enum DragMode : int32_t {
    kDragNone = 0,
    kDragCable = 1,
    kDragComment = 2,
    kDragModule = 3,
    kDragCanvas = 4,
};

enum BandState : int32_t {
    kBandIdle = 0,
    kBandArmed = 1,
    kBandStretching = 2,
    kBandSelected = 3,
    kBandMoving = 4,
};

// The Dsp Editor's mouse session: the button and the pointer, what the press grabbed, the
// loose cable and the band. It lives as long as the editor does and is never saved; the
// selection it makes is the modules' and comments' own `selected` flags.
struct CanvasSession {
    bool buttonDown = false; // the left button went down on the canvas and is not yet up
    bool shiftHeld = false;  // Shift at a left press on empty canvas selects everything
    int32_t pointerX = 0;
    int32_t pointerY = 0;
    int32_t pressX = 0;
    int32_t pressY = 0;
    int32_t dragMode = kDragNone;
    // The module the press grabbed (the project's current slot) with the pointer's offset
    // from its top centre, and the pointer's offset from the grabbed comment's corner.
    bool grabbed = false;
    int32_t grabDx = 0;
    int32_t grabDy = 0;
    int32_t commentGrabDx = 0;
    int32_t commentGrabDy = 0;
    // The loose cable: the end it hangs from, and the free port under the pointer that it
    // would land on.
    bool dragFromInput = false;
    bool dragFromOutput = false;
    int32_t dragSourceInput = kNone;
    int32_t dragSourceOutput = kNone;
    int32_t cableFixedX = 0; // top-left corner of the marker the cable hangs from
    int32_t cableFixedY = 0;
    bool cableVisible = false;
    int32_t hoverInput = kNone;
    int32_t hoverOutput = kNone;
    // The band selection.
    int32_t bandState = kBandIdle;
    int32_t bandLeft = 0;
    int32_t bandTop = 0;
    int32_t bandRight = 0;
    int32_t bandBottom = 0;
    bool bandVisible = false;
    // Wheel movement short of a whole notch, kept so that fine-grained wheels add up.
    int32_t wheelPending = 0;
    // What the wheel zooms around: the module under the pointer (kNone: the bare canvas)
    // and the pointer's place on it, in zoom units from the point its details hang from
    // (on the bare canvas, in logical units). Kept while the pointer, the view and the zoom stay as
    // the last notch left them, so that rounding to whole pixels never adds up over many notches.
    struct WheelAnchor {
        bool set = false;
        int32_t viewX = 0, viewY = 0, originX = 0, originY = 0, zoom = 0;
        int32_t slot = kNone;
        int32_t side = 0; // the module's left column (-1), its right one (1) or its name (0)
        double x = 0, y = 0;
    } wheelAnchor;
    // The view: its size in pixels, and whether the pointer is over it (then pointerX and
    // pointerY are where it is, in canvas pixels).
    int32_t viewWidth = 0;
    int32_t viewHeight = 0;
    bool pointerInView = false;
};

// The band that stands for "everything" (Select All, Shift-press): wider than any canvas
// position can be at any zoom, so that every module and comment lies inside it, yet far
// from overflowing when the band is moved.
inline constexpr int32_t kWholeCanvasLeft = -(1 << 29);
inline constexpr int32_t kWholeCanvasTop = -(1 << 29);
inline constexpr int32_t kWholeCanvasRight = 1 << 29;
inline constexpr int32_t kWholeCanvasBottom = 1 << 29;

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
bool HitModule(Project& project, CanvasSession& session, int32_t x, int32_t y) noexcept;

// Comment hit test: every comment whose box strictly contains (x, y) is flagged as
// clicked (all others cleared); the last one becomes current with its grab offset.
bool HitComment(Project& project, CanvasSession& session, int32_t x, int32_t y) noexcept;

// Clears the cable drag: no source, nothing visible.
void ResetCableDrag(CanvasSession& session) noexcept;

// Ends the band selection and deselects every module and comment.
void ClearCanvasSelection(Project& project, CanvasSession& session) noexcept;

// One step of the band selection state machine.
void RunBandMachine(Project& project, CanvasSession& session, bool buttonDown) noexcept;

// Moves the band-selected modules and comments by the pointer's distance from the press.
void MoveSelection(Project& project, const CanvasSession& session) noexcept;

// Snaps a pointer coordinate toward zero to the grid when snap is on.
int32_t SnapCoordinate(const Project& project, int32_t v) noexcept;

// Left button pressed at (x, y), with Shift as session.shiftHeld says.
void LeftPress(Project& project, CanvasSession& session, int32_t x, int32_t y) noexcept;

// Pointer moved to (x, y), with the button state in session.buttonDown.
void PointerMove(Project& project, CanvasSession& session, int32_t x, int32_t y) noexcept;

// Left button released at (x, y). Nothing happens unless the button is down.
void LeftRelease(Project& project, CanvasSession& session, int32_t x, int32_t y) noexcept;

// What lies under a right press; the press also runs the module and comment hit tests.
// A left-button drag still running is ended first, as a left release at (x, y) would.
struct RightPressHit {
    int32_t slot = kNone;
    int32_t comment = kNone;
};
RightPressHit RightPress(Project& project, CanvasSession& session, int32_t x, int32_t y) noexcept;

// Wheel turned by `delta` (120 per notch). Whole notches change the zoom by one step
// each, clamped to 1..10; partial deltas are kept in the session until they add up to a
// notch, so that fine-grained wheels zoom both ways alike. Returns true when a notch was
// completed (the selection is then cleared and the canvas re-laid-out).
bool WheelZoom(Project& project, CanvasSession& session, int32_t delta) noexcept;

// Wheel zoom that keeps what lies under the view point (viewX, viewY) where it is, by
// moving the view origin with the zoom: a point of a module stays on the same detail
// (modules grow with z while their places grow with z + 1), other points on the same
// logical place. Returns true when the zoom changed.
bool WheelZoomAt(Project& project, CanvasSession& session, int32_t delta, int32_t viewX,
                 int32_t viewY) noexcept;

// How far the view origin may go: from 0 to a little past everything on the canvas, and
// never so that the current origin falls outside.
struct ScrollRange {
    int32_t maxX = 0;
    int32_t maxY = 0;
};
ScrollRange CanvasScrollRange(const Project& project, int32_t viewWidth,
                              int32_t viewHeight) noexcept;

// Moves the view origin to (x, y), held within 0 and the scroll range.
void ScrollViewTo(Project& project, int32_t x, int32_t y, int32_t viewWidth,
                  int32_t viewHeight) noexcept;

// "Fit All": the largest zoom at which every module (with its name) and comment fits the
// view, and the origin that shows them all. Nothing changes on an empty canvas.
void FitAll(Project& project, CanvasSession& session) noexcept;

struct CanvasPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// The project was replaced (New Project, a project opened): the loose cable and the ports
// it hovered over belonged to the old one, and so did the band's selection; all of them
// go. The button, the pointer and the Shift key stay as they are.
void ForgetReplacedProject(CanvasSession& session) noexcept;

} // namespace tw
