#pragma once

// The Dsp Editor's picture: grid, cables, modules with their ports and live displays,
// the loose cable, the selection band and the comments, drawn from the project and the
// editor state it holds. Nothing here changes the project.
#include "engine/utility.h"
#include "model/project.h"

#include <QColor>

class QPainter;

namespace tw {

// What the running program shows on the canvas besides the project: the engine's
// oscilloscope captures (nullptr draws flat traces) and whether a MIDI input is open.
struct CanvasLiveView {
    const UtilityState* utility = nullptr;
    bool midiInputOpen = false;
};

// The colour of port kind `kind`, or an invalid colour for kinds that are not drawn.
QColor PortKindColour(int32_t kind) noexcept;

// Draws the whole canvas into the area (0, 0, width, height) of `painter`.
void PaintDspCanvas(QPainter& painter, const Project& project, const CanvasLiveView& live,
                    int32_t width, int32_t height);

// The oscilloscope trace point i (0..99) for a sample value: x and y in canvas pixels for
// a module box of left L, top T and bottom B at zoom z.
struct TracePoint {
    int32_t x;
    int32_t y;
};
TracePoint ScopeTracePoint(int32_t left, int32_t top, int32_t bottom, int32_t zoom, int32_t i,
                           float sample) noexcept;

} // namespace tw
