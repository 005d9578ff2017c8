#pragma once

// The Gui Editor's behaviour on the project, without any window: hit tests for controls,
// polygon handles and text labels, the seven mouse responses of a control, the edit-mode
// moves, the context menu's contents and its commands, and the skin list. The widget turns
// mouse events into these calls and repaints; the tests call them directly.
#include "model/project.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tw {

enum MouseResponse : int32_t {
    kDragVertical = 0,
    kDragHorizontal = 1,
    kClickInc = 2,
    kClickDec = 3,
    kClickIncDec = 4,
    kClickToggle = 5,
    kClickReset = 6,
};
inline constexpr int32_t kMouseResponseCount = 7;

enum PolygonGrab : int32_t {
    kGrabNone = 0,
    kGrabMove = 1,   // corner 1: the polygon follows the pointer at its size
    kGrabResize = 2, // corner 2: only that corner follows
};

// The panel editor's working state that lives only while the window does: the panel's
// size, the mouse button, where it went down, and what the press grabbed.
struct PanelSession {
    int32_t width = 400;
    int32_t height = 300;
    bool buttonDown = false; // the press still acts on moves (click responses act once)
    bool leftHeld = false;   // the left button went down on the panel and is not yet up
    int32_t pressX = 0;
    int32_t pressY = 0;
    int32_t pointerX = 0;
    int32_t pointerY = 0;
    int32_t valueAtPress = 0;
    int32_t polygonGrab = kGrabNone;
    int32_t grabWidth = 0; // the polygon's size when corner 1 was grabbed
    int32_t grabHeight = 0;
};

// Side of the grid that edit-mode moves snap to.
inline constexpr int32_t kPanelSnap = 8;

// ---- Hit tests ----

// The first Parameter in slot order whose control square contains (x, y); -1 if none.
int32_t HitTestControl(const Project& project, int32_t x, int32_t y) noexcept;

struct PolygonHit {
    int32_t index = kNone;
    int32_t grab = kGrabNone;
};
// The first polygon with a corner handle strictly within 5 pixels of (x, y) on both axes,
// corner 1 tested before corner 2. A polygon cannot be grabbed anywhere else.
PolygonHit HitTestPolygon(const Project& project, int32_t x, int32_t y) noexcept;

// The first text label whose box (5 pixels a character wide, 12 high) strictly contains
// (x, y); -1 if none.
int32_t HitTestText(const Project& project, int32_t x, int32_t y) noexcept;

// Panel mode unless the edit mode is on and lock edit is off (lock edit forces panel mode).
bool InEditMode(const Project& project) noexcept;

// ---- Mouse ----

// Left button down at (x, y): picks the control, polygon or text under the pointer, sets
// what the Properties window shows and, in panel mode, acts on the control once.
void PanelLeftPress(Project& project, PanelSession& session, Platform& platform, int32_t x,
                    int32_t y);
// Pointer at (x, y): turns the control held in panel mode, or moves what the press grabbed
// in edit mode. Coordinates arrive as the window system reports them (may be negative).
void PanelPointerMove(Project& project, PanelSession& session, int32_t x, int32_t y);
// Left button up: "Click Reset" controls go back to 0.
void PanelLeftRelease(Project& project, PanelSession& session);

// Applies the current control's mouse response for the pointer at (x, y). Does nothing
// without a current Parameter.
void ChangeControlValue(Project& project, PanelSession& session, int32_t x, int32_t y);

// The mouse wheel over the panel: in panel mode the control under (x, y) becomes the current
// control and turns by `steps` (up is positive), limited to its range, in the current patch
// as a drag would turn it. Returns the control turned, or -1 when there was none (edit mode,
// no control under the pointer). A control already at the end it turns towards stays.
int32_t PanelWheel(Project& project, Platform& platform, int32_t x, int32_t y, int32_t steps);
// The steps one wheel notch turns a control: 1, or 10 with Shift held.
inline constexpr int32_t kWheelStep = 1;
inline constexpr int32_t kWheelShiftStep = 10;

// ---- Context menu ----

// What the context menu offers; the widget builds the menu from this.
struct PanelMenu {
    bool modeItems = false; // "Panel Mode" and "Edit Mode"
    bool editModeTicked = false;
    bool deleteParameter = false;
    bool deletePolygon = false;
    bool deleteText = false; // with "Text Properties..."
    bool insert = false;     // "Insert" > "Polygon", "Text"
    bool skin = false;
    std::vector<std::string> skins; // the "Skin" submenu, freshly scanned
    // "Learn MIDI CC" and "Forget MIDI CC" for the control under the pointer in panel
    // mode; forgetting is offered when it has a controller.
    int32_t midiSlot = kNone;
    bool midiForget = false;
};

// Right button down at (x, y): ends what the left button is doing as its release would
// (the menu takes the pointer, so that release never reaches the panel), picks the
// control (and in edit mode the polygon or text) under the pointer and describes the menu
// to open there.
PanelMenu PanelRightPress(Project& project, PanelSession& session, Platform& platform, int32_t x,
                          int32_t y);

// ---- Commands ----

void SetGuiEditMode(Project& project, Platform& platform, bool edit);
// Appends a polygon or a text label at (x, y) with the default look and selects it; a full
// list is refused with a message. Returns the new index or -1. A polygon near the edge of
// the panel (panelWidth x panelHeight) moves in so that all of it, outline included, shows.
int32_t InsertPanelPolygon(Project& project, Platform& platform, int32_t x, int32_t y,
                           int32_t panelWidth, int32_t panelHeight);
int32_t InsertPanelText(Project& project, Platform& platform, int32_t x, int32_t y);
// Ask "Delete Polygon" / "Delete Text" / "Delete Parameter" and remove the selected element
// on Yes. True when something was removed.
bool AskDeletePolygon(Project& project, Platform& platform);
bool AskDeleteText(Project& project, Platform& platform);
bool AskDeleteParameter(Project& project, Platform& platform);

// Lists the folders below the user's and the application's "Skins" folders into the
// project's skin list, each name once, in alphabetical order, at most 128. Plain files are
// left out.
void ScanSkins(Project& project, Platform& platform);
// Makes `name` the skin and loads its images.
void SelectSkin(Project& project, Platform& platform, const std::string& name);

} // namespace tw
