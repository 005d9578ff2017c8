#pragma once

// What the Dsp Editor's painter shares between its files: the values one paint derives
// from the zoom level, the colours and drawing tools several layers use, the small rules
// about ports that the cables and the modules both follow, and the layers each file draws.
#include "model/project.h"
#include "paint/dsp_canvas_painter.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRect>

class QStaticText;

namespace tw::dsp_canvas {

inline const QColor kGrey(128, 128, 128);
inline const QColor kBody(88, 88, 88);
inline const QColor kHighlight(255, 128, 0);
inline const QColor kText(32, 32, 32);

// Everything a paint derives from the zoom level once.
struct Paint {
    QPainter& painter;
    const Project& project;
    const CanvasLiveView& live;
    const CanvasOverlay& overlay;
    QRect area; // the canvas pixels in view: from the view origin, the view's size
    int32_t z;
    int32_t ps; // port size
    int32_t hp; // half the port size
    // Outline pens of width z - 2 would vanish at zoom 1 and 2; they stay 1 pixel wide.
    qreal outline;
    int32_t cableWidth;
    QFont fontA; // names
    QFont fontB; // comments
    // Port circles, stroked once per kind and stamped onto every port.
    QImage circles[8];
    int32_t circleMargin = 0;
};

// `text` laid out in `font`, kept from paint to paint.
const QStaticText& LaidOutText(const QFont& font, const char* text);

// A box with rounded corners from (x1, y1) to (x2, y2 + 2z), filled or outlined.
void FillRoundedBox(Paint& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const QColor& c);
void StrokeRoundedBox(Paint& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const QColor& c,
                      qreal width);

// Marks the modules that run once per voice (in their own file).
void DrawVoiceBadges(Paint& p);

inline QPointF Centre(const Paint& p, const PortRecord& port) {
    return QPointF(port.x + p.hp, port.y + p.hp);
}

inline bool OnCanvas(const PortRecord& port) {
    return port.x != kOffCanvas && port.kind != kPortNone;
}

// Whether ports of this kind are drawn in their colour (and their cables with shadows).
inline bool Coloured(int32_t kind) {
    return kind == kPortSignal || kind == kPortControl || kind == kPortGate ||
           kind == kPortStatus || kind == kPortAny;
}

// All cables of the project, shadows first unless the style is Logic.
void DrawCables(Paint& p);

// Straight and curved cables whose output lies right of their input run under the bodies
// of both their modules; drawn again over the bodies, translucent, they show which sides
// they join.
void DrawCablesUnderBodies(Paint& p);

// The dots where the cables meet their ports, drawn over the bodies.
void DrawConnectionDots(Paint& p);

// The cable the mouse drags, from its marker to the pointer.
void DrawLooseCable(Paint& p);

// Strokes the port circles of this paint's zoom once, for every port to be stamped with.
void MakePortCircles(Paint& p);

// Whether any of the module's box or name lies in `area`.
bool ModuleVisible(const QRect& area, int32_t z, const ModuleSlot& s);

// The modules in view, with their ports and labels.
void DrawModules(Paint& p);

// Whether a module type shows a live display.
bool HasLiveDisplay(int32_t type);

// What a live display shows now, as the text it prints (empty for the scope).
void LiveText(const CanvasLiveView& live, const ModuleSlot& s, char (&text)[32]);

// The module's live display: its value on its strip, or the scope's trace.
void DrawLiveDisplay(Paint& p, int32_t slot);

} // namespace tw::dsp_canvas
