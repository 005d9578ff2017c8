#pragma once

// What the Dsp Editor's painter shares between its files: the values one paint derives
// from the zoom level, and the small rules about ports that the cables and the modules
// both follow.
#include "model/project.h"
#include "paint/dsp_canvas_painter.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRect>

namespace tw::dsp_canvas {

inline const QColor kGrey(128, 128, 128);

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

} // namespace tw::dsp_canvas
