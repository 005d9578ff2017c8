// The cables of the Dsp Editor: straight, curved and Logic routes with their arrow heads
// and the shadows under them, the dots where they meet their ports, and the loose cable
// the mouse drags.
#include "paint/dsp_canvas_paint.h"

#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace tw::dsp_canvas {

namespace {

const QColor kCableShadow(128, 128, 128, 50);

QPen CablePen(const Paint& p, int32_t kind) {
    QPen pen(PortKindColour(kind), p.cableWidth);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    if (kind == kPortGate || kind == kPortStatus) pen.setStyle(Qt::DashLine);
    return pen;
}

// A filled arrow head whose tip is at `tip`, pointing along `direction`. Its size is
// given in pen widths, as a line cap's is.
void DrawArrowHead(Paint& p, QPointF tip, QPointF direction, qreal size, const QColor& colour) {
    const qreal length = std::hypot(direction.x(), direction.y());
    if (length <= 0.0 || size <= 0.0) return;
    const QPointF d = direction / length;
    const QPointF n(-d.y(), d.x());
    const qreal scale = std::max(p.cableWidth, 1);
    const qreal half = 0.5 * size * scale;
    const QPointF base = tip - d * (size * scale);
    const QPointF head[3] = {tip + d * (0.5 * scale), base + n * half, base - n * half};
    p.painter.setPen(Qt::NoPen);
    p.painter.setBrush(colour);
    p.painter.drawPolygon(head, 3);
    p.painter.setBrush(Qt::NoBrush);
}

// The horizontal control offset of a cable: 60 % of the distance inwards when curved.
qreal ControlOffset(const Paint& p, QPointF p0, QPointF p3) {
    return p.project.cableStyle == 1 ? std::trunc((p3.x() - p0.x()) * 0.6) : 0.0;
}

QPainterPath ShadowPath(const Paint& p, QPointF p0, QPointF p3) {
    // Control points 10 pixels lower, so even a straight cable's shadow sags.
    const qreal c = ControlOffset(p, p0, p3);
    QPainterPath path(p0);
    path.cubicTo(QPointF(p0.x() + c, p0.y() + 10), QPointF(p3.x() - c, p3.y() + 10), p3);
    return path;
}

// Straight and Curved cables: a cubic from P0 at the input to P3 at the output.
void DrawBezierCable(Paint& p, QPointF p0, QPointF p3, int32_t kind) {
    const qreal c = ControlOffset(p, p0, p3);
    const QPointF p1(p0.x() + c, p0.y());
    const QPointF p2(p3.x() - c, p3.y());
    p.painter.setBrush(Qt::NoBrush);
    p.painter.setPen(CablePen(p, kind));
    if (c == 0.0) {
        p.painter.drawLine(p0, p3);
    } else {
        QPainterPath cable(p0);
        cable.cubicTo(p1, p2, p3);
        p.painter.drawPath(cable);
    }
    DrawArrowHead(p, p0, c != 0.0 ? p0 - p1 : p0 - p3, std::min(p.z, 6), PortKindColour(kind));
}

// Logic cables: right-angled routes; an output right of its input is led round both ends.
void DrawLogicCable(Paint& p, QPointF p0, QPointF p3, int32_t kind) {
    const qreal m = std::trunc((p0.y() - p3.y()) * 0.5);
    QPointF route[6];
    int count = 0;
    route[count++] = p0;
    if (p0.x() <= p3.x()) {
        route[count++] = QPointF(p0.x() - 16, p0.y());
        route[count++] = QPointF(p0.x() - 16, p0.y() - m);
        route[count++] = QPointF(p3.x() + 16, p0.y() - m);
        route[count++] = QPointF(p3.x() + 16, p3.y());
    } else {
        const qreal h = std::trunc((p0.x() - p3.x()) * 0.5);
        route[count++] = QPointF(p0.x() - h, p0.y());
        route[count++] = QPointF(p0.x() - h, p3.y());
    }
    route[count++] = p3;
    p.painter.setPen(CablePen(p, kind));
    p.painter.drawPolyline(route, count);
    const int32_t size = p.z >= 6 ? p.z - 4 : p.z;
    DrawArrowHead(p, p0, p0 - route[1], size, PortKindColour(kind));
}

bool Visible(const Paint& p, QPointF a, QPointF b, qreal margin) {
    const qreal left = std::min(a.x(), b.x()) - margin;
    const qreal right = std::max(a.x(), b.x()) + margin;
    const qreal top = std::min(a.y(), b.y()) - margin;
    const qreal bottom = std::max(a.y(), b.y()) + margin;
    return right >= p.area.left() && bottom >= p.area.top() && left <= p.area.right() + 1 &&
           top <= p.area.bottom() + 1;
}

// Calls visit(p0, p3, kind) for every cable that may show, with P0 at its input end.
template <typename Visit> void ForEachCable(const Paint& p, Visit visit) {
    const Project& pr = p.project;
    for (int32_t k = 0; k < kPortCount; ++k) {
        const int32_t o = pr.outputs[k].link;
        if (!IsPort(o)) continue;
        const PortRecord& in = pr.inputs[k];
        const PortRecord& out = pr.outputs[o];
        if (!OnCanvas(in) || !OnCanvas(out)) continue;
        const QPointF p0(in.x - 4, in.y + p.hp);
        const QPointF p3(out.x + p.ps + 4, out.y + p.hp);
        // Curves stay between their end points horizontally; shadows hang 10 pixels
        // lower and Logic detours reach 16 pixels past the ends.
        if (Visible(p, p0, p3, 20 + 2 * p.z)) visit(p0, p3, out.kind);
    }
}

// The translucent shadows are stroked opaque into a layer of their own that is then laid
// on the canvas at the shadow's alpha: Qt strokes a translucent wide pen through a much
// slower path, and the layer also keeps crossing shadows from darkening each other. At
// that faint alpha smoothed edges cannot be told from hard ones, and hard ones rasterise
// several times faster, which keeps a thousand cables inside the frame budget.
QImage& ShadowLayer(int32_t width, int32_t height) {
    thread_local QImage layer;
    if (layer.width() != width || layer.height() != height)
        layer = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    return layer;
}

void DrawCableShadows(Paint& p) {
    QImage& layer = ShadowLayer(p.area.width(), p.area.height());
    QRectF touched;
    {
        QPainter g(&layer);
        g.translate(-p.area.topLeft());
        const QPen pen(QColor(kCableShadow.red(), kCableShadow.green(), kCableShadow.blue()),
                       p.cableWidth + 2);
        g.setPen(pen);
        g.setBrush(Qt::NoBrush);
        ForEachCable(p, [&](QPointF p0, QPointF p3, int32_t kind) {
            if (!Coloured(kind)) return;
            const QPainterPath shadow = ShadowPath(p, p0, p3);
            g.drawPath(shadow);
            touched |= shadow.controlPointRect();
        });
    }
    if (touched.isEmpty()) return;
    const qreal grow = p.cableWidth + 4;
    const QRect area =
        touched.adjusted(-grow, -grow, grow, grow).toAlignedRect().intersected(p.area);
    p.painter.setOpacity(kCableShadow.alphaF());
    p.painter.drawImage(area.topLeft(), layer, area.translated(-p.area.topLeft()));
    p.painter.setOpacity(1.0);
}

void DrawDot(Paint& p, const PortRecord& port) {
    if (!Coloured(port.kind)) return;
    QPen pen(PortKindColour(port.kind), p.cableWidth);
    pen.setCapStyle(Qt::RoundCap);
    p.painter.setPen(pen);
    const QPointF c = Centre(p, port);
    p.painter.drawLine(c, c + QPointF(1, 1));
}

} // namespace

void DrawCablesUnderBodies(Paint& p) {
    if (p.project.cableStyle == 2) return; // Logic routes lead round both ends already
    p.painter.setOpacity(0.6);
    ForEachCable(p, [&](QPointF p0, QPointF p3, int32_t kind) {
        if (Coloured(kind) && p0.x() <= p3.x()) DrawBezierCable(p, p0, p3, kind);
    });
    p.painter.setOpacity(1.0);
}

void DrawCables(Paint& p) {
    if (p.project.cableStyle != 2) DrawCableShadows(p);
    ForEachCable(p, [&](QPointF p0, QPointF p3, int32_t kind) {
        if (!Coloured(kind)) {
            p.painter.setPen(QPen(kGrey, p.cableWidth));
            p.painter.drawLine(p0, p3);
        } else if (p.project.cableStyle == 2) {
            DrawLogicCable(p, p0, p3, kind);
        } else {
            DrawBezierCable(p, p0, p3, kind);
        }
    });
}

void DrawConnectionDots(Paint& p) {
    const Project& pr = p.project;
    for (int32_t k = 0; k < kPortCount; ++k) {
        const int32_t o = pr.outputs[k].link;
        if (!IsPort(o)) continue;
        if (!OnCanvas(pr.inputs[k]) || !OnCanvas(pr.outputs[o])) continue;
        DrawDot(p, pr.inputs[k]);
        DrawDot(p, pr.outputs[o]);
    }
}

void DrawLooseCable(Paint& p) {
    const CanvasOverlay& o = p.overlay;
    if (!o.looseCable) return;
    p.painter.setPen(QPen(kGrey, p.cableWidth));
    p.painter.drawLine(QPointF(o.cableFixedX + p.hp, o.cableFixedY + p.hp),
                       QPointF(o.pointerX, o.pointerY));
}

} // namespace tw::dsp_canvas
