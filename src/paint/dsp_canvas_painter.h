#pragma once

// The Dsp Editor's picture: grid, cables, modules with their ports and live displays,
// the loose cable, the selection band and the comments, drawn from the project and what
// the editor's mouse session shows. Nothing here changes the project.
#include "engine/utility.h"
#include "model/project.h"

#include <QColor>
#include <QRect>

#include <span>

class QPainter;

namespace tw {

// What the running program shows on the canvas besides the project: the engine's
// oscilloscope captures (nullptr draws flat traces) and whether a MIDI input is open.
struct CanvasLiveView {
    const UtilityState* utility = nullptr;
    bool midiInputOpen = false;
};

// What the editor's mouse session adds to the picture: the loose cable from the marker it
// hangs from to the pointer, the port labels it could land on, and the selection band.
struct CanvasOverlay {
    bool looseCable = false;
    int32_t cableFixedX = 0; // top-left corner of the marker the cable hangs from
    int32_t cableFixedY = 0;
    int32_t pointerX = 0;
    int32_t pointerY = 0;
    int32_t hoverInput = kNone;
    int32_t hoverOutput = kNone;
    bool band = false;
    int32_t bandLeft = 0;
    int32_t bandTop = 0;
    int32_t bandRight = 0;
    int32_t bandBottom = 0;
};

// The colour of port kind `kind`, or an invalid colour for kinds that are not drawn.
QColor PortKindColour(int32_t kind) noexcept;

// Draws the whole canvas into the area (0, 0, width, height) of `painter`: the part of
// the canvas that starts at the project's view origin.
void PaintDspCanvas(QPainter& painter, const Project& project, const CanvasLiveView& live,
                    int32_t width, int32_t height, const CanvasOverlay& overlay = {});

// The canvas in two layers, so that an editor can keep the still one as a picture and
// redraw only the live displays: PaintDspCanvas draws the first, then the second.
// Everything but the live displays (Parameter values, meters, MIDI state, scope traces):
void PaintDspCanvasStill(QPainter& painter, const Project& project, int32_t width, int32_t height,
                         const CanvasOverlay& overlay = {});
// The live displays of the modules in view; with `onlySlots` those of these slots only.
void PaintDspLiveDisplays(QPainter& painter, const Project& project, const CanvasLiveView& live,
                          int32_t width, int32_t height, std::span<const int32_t> onlySlots = {});

// A fingerprint of everything the still layer is drawn from: the same key, the same
// picture. Live values and fields the picture does not show do not take part.
uint64_t CanvasStillKey(const Project& project, const CanvasOverlay& overlay, int32_t width,
                        int32_t height) noexcept;

// A live display in view: where it is drawn (view pixels) and a fingerprint of what it
// shows now, which changes exactly when its picture does.
struct LiveDisplay {
    int32_t slot = kNone;
    QRect area;
    uint64_t shown = 0;
};
// Lists the live displays in view into `out` (room for kSlotCount); returns how many.
int32_t ListLiveDisplays(const Project& project, const CanvasLiveView& live, int32_t width,
                         int32_t height, LiveDisplay* out);

// The oscilloscope trace point i (0..99) for a sample value: x and y in canvas pixels for
// a module box of left L, top T and bottom B at zoom z.
struct TracePoint {
    int32_t x;
    int32_t y;
};
TracePoint ScopeTracePoint(int32_t left, int32_t top, int32_t bottom, int32_t zoom, int32_t i,
                           float sample) noexcept;

} // namespace tw
