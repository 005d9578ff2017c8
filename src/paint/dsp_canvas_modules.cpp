// The modules on the Dsp Editor's canvas: bodies shaped by their type with their shadows,
// the highlight and clean marks, names, port circles and port labels.
#include "model/ports.h"
#include "paint/dsp_canvas_labels.h"
#include "paint/dsp_canvas_paint.h"

#include <QImage>
#include <QPainter>
#include <QStaticText>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tw::dsp_canvas {

namespace {

const QColor kShadow(88, 88, 88, 100);
const QColor kCleanMark(255, 10, 10);
const QColor kLabel(240, 240, 240);
const QColor kHoverBack(245, 235, 100);
const QColor kParameterOutline(10, 110, 10);
const QColor kFlowLine(255, 255, 255, 200);
const QColor kMathBody(100, 0, 0, 200);
const QColor kScreen(128, 128, 128, 100);

// Draws a port's label in its box; hovered labels stand on an opaque yellow field.
void DrawLabel(Paint& p, const QFont& font, const CanvasLabel& label, bool hovered) {
    if (hovered) {
        p.painter.fillRect(label.box, kHoverBack);
        p.painter.setPen(Qt::black);
    } else {
        p.painter.setPen(kLabel);
    }
    p.painter.drawStaticText(label.box.topLeft(), LaidOutText(font, label.text));
}

void DrawPortCircle(Paint& p, const PortRecord& port) {
    if (!Coloured(port.kind)) return;
    p.painter.drawImage(QPoint(port.x - p.circleMargin, port.y - p.circleMargin),
                        p.circles[port.kind]);
}

void DrawPorts(Paint& p, int32_t slot) {
    const Project& pr = p.project;
    const int32_t base = PortIndex(slot, 0);
    for (int32_t n = 0; n < kPortsPerSlot; ++n) {
        const PortRecord& in = pr.inputs[base + n];
        if (in.x != kOffCanvas && in.kind != kPortNone) DrawPortCircle(p, in);
        const PortRecord& out = pr.outputs[base + n];
        if (out.x != kOffCanvas && out.kind != kPortNone) DrawPortCircle(p, out);
    }
    // Labels are laid out in the type's own font so that none runs into another.
    ModuleLabels labels;
    LayOutModuleLabels(pr, slot, labels);
    const QFont& font = CanvasLabelFont(pr.slots[slot].type, p.z);
    // A static text is drawn in the painter's font, whatever it was laid out in.
    p.painter.setFont(font);
    for (int32_t i = 0; i < labels.count; ++i) {
        const CanvasLabel& label = labels.labels[i];
        const int32_t hover = label.input ? p.overlay.hoverInput : p.overlay.hoverOutput;
        DrawLabel(p, font, label, hover == label.port);
    }
}

// The box the highlight and the clean mark outline.
struct Outline {
    int32_t x1, y1, x2, y2;
};

// Split and Combine are lines between their ports; the Math types a triangle on theirs.
void DrawFlowShape(Paint& p, int32_t slot) {
    const Project& pr = p.project;
    QPainter& g = p.painter;
    const auto in = [&](int32_t port) { return Centre(p, pr.inputs[PortIndex(slot, port)]); };
    const auto out = [&](int32_t port) { return Centre(p, pr.outputs[PortIndex(slot, port)]); };
    switch (pr.slots[slot].type) {
    case kTypeSplit: {
        g.setPen(QPen(kFlowLine, p.z));
        const QPointF corner = in(split::kIn);
        g.drawLine(out(split::kOut1), corner);
        g.drawLine(corner, out(split::kOut2));
        break;
    }
    case kTypeCombine: {
        g.setPen(QPen(kFlowLine, p.z));
        const QPointF corner = out(combine::kOut);
        g.drawLine(in(combine::kIn1), corner);
        g.drawLine(corner, in(combine::kIn2));
        break;
    }
    default: {
        const QPointF triangle[3] = {in(math::kIn1), out(math::kOut), in(math::kIn2)};
        g.setPen(Qt::NoPen);
        g.setBrush(kMathBody);
        g.drawPolygon(triangle, 3);
        g.setBrush(Qt::NoBrush);
        break;
    }
    }
}

// Draws the module's body, shaped by its type, and returns its outline.
Outline DrawBody(Paint& p, int32_t slot) {
    const Project& pr = p.project;
    const ModuleSlot& s = pr.slots[slot];
    const int32_t z = p.z;
    const int32_t L = s.anchorX - s.halfWidthPx;
    const int32_t R = s.anchorX + s.halfWidthPx;
    const int32_t T = s.topY;
    const int32_t B = T + s.heightPx;
    // The first input and output: the ports a body that wraps its ports is laid round.
    const PortRecord& in0 = pr.inputs[PortIndex(slot, 0)];
    const PortRecord& out0 = pr.outputs[PortIndex(slot, 0)];
    switch (s.type) {
    case kTypeOutput:
    case kTypeMidi2CV:
    case kTypeFixedValues:
    case kTypePolyMidi:
    case kTypeA440:
    case kTypeNoise:
        FillRoundedBox(p, L + z, T + 2 * z, R + z, B + z, kShadow);
        FillRoundedBox(p, L, T + z, R, B, kBody);
        return {L, T + z, R, B};
    case kTypeSplit:
    case kTypeCombine:
    case kTypeMul:
    case kTypeDiv:
    case kTypeAdd:
    case kTypeSub:
        DrawFlowShape(p, slot);
        return {L, T, R, B};
    case kTypeParameter: {
        const Outline o{in0.x - z, in0.y - z, out0.x + p.ps + z, out0.y + z};
        StrokeRoundedBox(p, o.x1, o.y1, o.x2, o.y2, kParameterOutline, p.outline);
        FillRoundedBox(p, o.x1 + z, o.y1, o.x2 + z, o.y2 + z, kShadow);
        return o;
    }
    case kTypeOscilloscope: {
        FillRoundedBox(p, in0.x, in0.y - z, out0.x + p.ps, B, kScreen);
        const Outline o{in0.x - z, in0.y - z, out0.x + p.ps + z, out0.y + z};
        FillRoundedBox(p, o.x1, o.y1, o.x2, o.y2, kBody);
        return o;
    }
    default: {
        // A type without input 0 has no anchor for its body; its box stands in.
        const bool anchored = in0.x != kOffCanvas;
        const Outline o{anchored ? in0.x - z : L, anchored ? in0.y - z : T, R, B - z};
        FillRoundedBox(p, o.x1 + z, o.y1 + z, o.x2 + z, o.y2 + z, kShadow);
        FillRoundedBox(p, o.x1, o.y1, o.x2, o.y2, kBody);
        return o;
    }
    }
}

// The module's name, centred above its box.
void DrawName(Paint& p, const ModuleSlot& s) {
    if (s.name[0] == '\0') return;
    QPainter& g = p.painter;
    g.setFont(p.fontA);
    g.setPen(kText);
    const QStaticText& name = LaidOutText(p.fontA, s.name);
    const int32_t width = static_cast<int32_t>(std::ceil(name.size().width()));
    g.drawStaticText(QPoint(s.anchorX - width / 2, s.topY - 3 * p.z), name);
}

void DrawModule(Paint& p, int32_t slot) {
    const Project& pr = p.project;
    const ModuleSlot& s = pr.slots[slot];
    const Outline o = DrawBody(p, slot);
    if (slot == pr.currentSlot || s.selected)
        StrokeRoundedBox(p, o.x1, o.y1, o.x2, o.y2, kHighlight, p.outline);
    if (s.cleanMark) StrokeRoundedBox(p, o.x1, o.y1, o.x2, o.y2, kCleanMark, p.outline);
    DrawName(p, s);
    p.painter.setFont(p.fontB);
    DrawPorts(p, slot);
}

} // namespace

void MakePortCircles(Paint& p) {
    p.circleMargin = static_cast<int32_t>(std::ceil(p.outline / 2)) + 1;
    const int32_t side = p.ps + 2 * p.circleMargin;
    for (int32_t kind = 0; kind < 8; ++kind) {
        if (!Coloured(kind)) continue;
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter g(&image);
        g.setRenderHint(QPainter::Antialiasing, true);
        g.setPen(QPen(PortKindColour(kind), p.outline));
        g.drawEllipse(QRectF(p.circleMargin, p.circleMargin, p.ps, p.ps));
        g.end();
        p.circles[kind] = std::move(image);
    }
}

bool ModuleVisible(const QRect& area, int32_t z, const ModuleSlot& s) {
    // Names are centred above the box and may be wider than it.
    const int32_t nameHalf = static_cast<int32_t>(std::strlen(s.name)) * 2 * z;
    const int32_t half = std::max(s.halfWidthPx + 2 * z, nameHalf);
    return s.anchorX + half >= area.left() && s.anchorX - half <= area.right() + 1 &&
           s.topY + s.heightPx + 3 * z >= area.top() && s.topY - 4 * z <= area.bottom() + 1;
}

void DrawModules(Paint& p) {
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = p.project.slots[slot];
        if (s.type == kTypeEmpty || !ModuleVisible(p.area, p.z, s)) continue;
        DrawModule(p, slot);
    }
}

} // namespace tw::dsp_canvas
