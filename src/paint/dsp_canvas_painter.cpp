#include "paint/dsp_canvas_painter.h"

#include "model/ports.h"
#include "paint/dsp_canvas_paint.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

namespace tw {

namespace {

using dsp_canvas::Centre;
using dsp_canvas::Coloured;
using dsp_canvas::DrawCables;
using dsp_canvas::kGrey;
using dsp_canvas::OnCanvas;
using dsp_canvas::Paint;

const QColor kBackground(206, 206, 200);
const QColor kFineGrid(200, 200, 194);
const QColor kCoarseGrid(185, 185, 180);
const QColor kBody(88, 88, 88);
const QColor kShadow(88, 88, 88, 100);
const QColor kHighlight(255, 128, 0);
const QColor kCleanMark(255, 10, 10);
const QColor kText(32, 32, 32);
const QColor kLabel(240, 240, 240);
const QColor kHoverBack(245, 235, 100);
const QColor kBar(250, 250, 245);
const QColor kTrace(245, 235, 100);
const QColor kParameterOutline(10, 110, 10);
const QColor kFlowLine(255, 255, 255, 200);
const QColor kMathBody(100, 0, 0, 200);
const QColor kScreen(128, 128, 128, 100);
const QColor kBandFill(255, 128, 0, 20);
const QColor kCommentBack(230, 230, 220, 200);

// Laid-out texts live from paint to paint: names and port labels seldom change, and
// laying a text out costs more than drawing it. Only the painting thread uses it.
class TextCache {
public:
    const QStaticText& Get(const QFont& font, const char* text) {
        key_.assign(1, font.bold() ? 'B' : 'A');
        key_ += std::to_string(font.pixelSize());
        key_ += '|';
        key_ += text;
        auto found = texts_.find(key_);
        if (found != texts_.end()) return found->second;
        if (texts_.size() >= kLimit) texts_.clear();
        QStaticText laidOut(QString::fromLatin1(text));
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        laidOut.prepare(QTransform(), font);
        return texts_.emplace(key_, std::move(laidOut)).first->second;
    }

private:
    static constexpr std::size_t kLimit = 16384;
    std::string key_;
    std::unordered_map<std::string, QStaticText> texts_;
};

TextCache& Texts() {
    thread_local TextCache cache;
    return cache;
}

QPainterPath RoundedBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t z) {
    // Corner arcs of diameter 2z; the lower arcs hang below y2, so the box reaches y2 + 2z.
    QPainterPath path;
    path.addRoundedRect(QRectF(x1, y1, x2 - x1, y2 + 2 * z - y1), z, z);
    return path;
}

void FillRoundedBox(Paint& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const QColor& c) {
    p.painter.fillPath(RoundedBox(x1, y1, x2, y2, p.z), c);
}

void StrokeRoundedBox(Paint& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const QColor& c,
                      qreal width) {
    p.painter.strokePath(RoundedBox(x1, y1, x2, y2, p.z), QPen(c, width));
}

void DrawGrid(Paint& p, int32_t step, const QColor& colour) {
    QVector<QLine> lines;
    lines.reserve(p.area.width() / step + p.area.height() / step + 2);
    for (int32_t x = 0; x < p.area.width(); x += step)
        lines.append(QLine(x, 0, x, p.area.height()));
    for (int32_t y = 0; y < p.area.height(); y += step)
        lines.append(QLine(0, y, p.area.width(), y));
    p.painter.setPen(QPen(colour, 1));
    p.painter.drawLines(lines);
}

// Draws `text` with its top-left corner at (x, y), or its top-right corner when
// rightAligned; hovered labels stand on an opaque yellow field.
void DrawLabel(Paint& p, int32_t x, int32_t y, const char* text, bool rightAligned, bool hovered) {
    if (text == nullptr || text[0] == '\0') return;
    const QStaticText& laidOut = Texts().Get(p.fontB, text);
    const int32_t width = static_cast<int32_t>(std::ceil(laidOut.size().width()));
    const int32_t left = rightAligned ? x - width : x;
    if (hovered) {
        p.painter.fillRect(QRect(left, y, width, p.heightB), kHoverBack);
        p.painter.setPen(Qt::black);
    } else {
        p.painter.setPen(kLabel);
    }
    p.painter.drawStaticText(QPoint(left, y), laidOut);
}

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

void DrawPortCircle(Paint& p, const PortRecord& port) {
    if (!Coloured(port.kind)) return;
    p.painter.drawImage(QPoint(port.x - p.circleMargin, port.y - p.circleMargin),
                        p.circles[port.kind]);
}

void DrawPorts(Paint& p, int32_t slot) {
    const Project& pr = p.project;
    const int32_t base = PortIndex(slot, 0);
    const int32_t labelDy = static_cast<int32_t>(std::trunc(-0.25 * p.z));
    for (int32_t n = 0; n < kPortsPerSlot; ++n) {
        const int32_t k = base + n;
        const PortRecord& in = pr.inputs[k];
        if (in.x != kOffCanvas && in.kind != kPortNone) {
            DrawPortCircle(p, in);
            DrawLabel(p, in.x + p.ps + p.z, in.y + labelDy, in.label, false,
                      p.overlay.hoverInput == k);
        }
        const PortRecord& out = pr.outputs[k];
        if (out.x != kOffCanvas && out.kind != kPortNone) {
            DrawPortCircle(p, out);
            DrawLabel(p, out.x - p.z, out.y + labelDy, out.label, true, p.overlay.hoverOutput == k);
        }
    }
}

// The light strip a live value is printed on.
void DrawBar(Paint& p, int32_t x1, int32_t x2, int32_t y) {
    QPen pen(kBar, p.ps + p.z);
    pen.setCapStyle(Qt::FlatCap);
    p.painter.setPen(pen);
    p.painter.drawLine(QPoint(x1, y), QPoint(x2, y));
}

void DrawValue(Paint& p, int32_t right, int32_t top, const char* text) {
    const QStaticText& laidOut = Texts().Get(p.fontB, text);
    p.painter.setPen(kText);
    p.painter.drawStaticText(
        QPoint(right - static_cast<int32_t>(std::ceil(laidOut.size().width())), top), laidOut);
}

void DrawScopeTrace(Paint& p, int32_t slot, int32_t left, int32_t top, int32_t bottom) {
    QPoint points[100];
    for (int32_t i = 0; i < 100; ++i) {
        const float sample = p.live.utility != nullptr ? p.live.utility->scope[slot][i].load() : 0;
        const TracePoint t = ScopeTracePoint(left, top, bottom, p.z, i, sample);
        points[i] = QPoint(t.x, t.y);
    }
    p.painter.setRenderHint(QPainter::Antialiasing, false);
    p.painter.setPen(QPen(kTrace, 1));
    p.painter.drawPolyline(points, 100);
    p.painter.setRenderHint(QPainter::Antialiasing, true);
}

void DrawLiveDisplay(Paint& p, int32_t slot) {
    const Project& pr = p.project;
    const ModuleSlot& s = pr.slots[slot];
    const int32_t left = s.anchorX - s.halfWidthPx;
    const int32_t top = s.topY;
    const int32_t bottom = top + s.heightPx;
    // The row of the type's hidden input.
    const auto row = [&](int32_t port) { return pr.inputs[PortIndex(slot, port)].y; };
    char text[32];
    switch (s.type) {
    case kTypeParameter: {
        const int32_t y = row(parameter::kDisplayRow);
        DrawBar(p, left + 4, s.anchorX, y + p.hp);
        std::snprintf(text, sizeof text, "%1.2f", static_cast<double>(s.value.load()));
        DrawValue(p, s.anchorX - 2, y - 1, text);
        break;
    }
    case kTypeVoltMeter: {
        const int32_t y = row(volt_meter::kDisplayRow);
        DrawBar(p, left + 4, s.anchorX, y + p.hp);
        std::snprintf(text, sizeof text, "%3.2f", static_cast<double>(s.displayValue.load()));
        DrawValue(p, s.anchorX - 2, y - 1, text);
        break;
    }
    case kTypeMidi2CV:
    case kTypePolyMidi: {
        static_assert(int32_t{midi2cv::kDisplayRow} == int32_t{poly_midi::kDisplayRow});
        const int32_t y = row(midi2cv::kDisplayRow);
        DrawBar(p, left + 4, s.anchorX - 8, y + p.hp);
        p.painter.setPen(kText);
        p.painter.drawStaticText(QPoint(left + 7, y - 1),
                                 Texts().Get(p.fontB, p.live.midiInputOpen ? "On" : "Off"));
        break;
    }
    case kTypeOscilloscope:
        DrawScopeTrace(p, slot, left, top, bottom);
        break;
    default:
        break;
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
    const QStaticText& name = Texts().Get(p.fontA, s.name);
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
    DrawLiveDisplay(p, slot);
}

bool ModuleVisible(const Paint& p, const ModuleSlot& s) {
    // Names are centred above the box and may be wider than it.
    const int32_t nameHalf = static_cast<int32_t>(std::strlen(s.name)) * 2 * p.z;
    const int32_t half = std::max(s.halfWidthPx + 2 * p.z, nameHalf);
    return s.anchorX + half >= 0 && s.anchorX - half <= p.area.width() &&
           s.topY + s.heightPx + 3 * p.z >= 0 && s.topY - 4 * p.z <= p.area.height();
}

void DrawModules(Paint& p) {
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = p.project.slots[slot];
        if (s.type == kTypeEmpty || !ModuleVisible(p, s)) continue;
        DrawModule(p, slot);
    }
}

void DrawDot(Paint& p, const PortRecord& port) {
    if (!Coloured(port.kind)) return;
    QPen pen(PortKindColour(port.kind), p.cableWidth);
    pen.setCapStyle(Qt::RoundCap);
    p.painter.setPen(pen);
    const QPointF c = Centre(p, port);
    p.painter.drawLine(c, c + QPointF(1, 1));
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

void DrawBand(Paint& p) {
    const CanvasOverlay& o = p.overlay;
    if (!o.band) return;
    const QRect band(QPoint(o.bandLeft, o.bandTop), QPoint(o.bandRight, o.bandBottom));
    p.painter.fillRect(band, kBandFill);
    p.painter.setRenderHint(QPainter::Antialiasing, false);
    p.painter.setPen(QPen(QColor(88, 88, 88), 1));
    p.painter.setBrush(Qt::NoBrush);
    p.painter.drawRect(band);
    p.painter.setRenderHint(QPainter::Antialiasing, true);
}

void DrawComments(Paint& p) {
    const Project& pr = p.project;
    const int32_t w = 36 * p.z;
    const int32_t h = 10 * p.z;
    p.painter.setFont(p.fontB);
    for (int32_t c = 0; c < pr.commentCount && c < kCommentCount; ++c) {
        const CommentRecord& comment = pr.comments[c];
        const int32_t x = comment.x;
        const int32_t y = comment.y;
        if (comment.showBackground) FillRoundedBox(p, x - 2, y - 2, x + w, y + h, kCommentBack);
        if (comment.showBorder) StrokeRoundedBox(p, x - 2, y - 2, x + w, y + h, kBody, 1);
        p.painter.setPen(kText);
        p.painter.drawText(QRect(x, y, w, h), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                           QString::fromLatin1(comment.text));
        if (comment.clicked || comment.selected)
            StrokeRoundedBox(p, x - 2, y - 2, x + w, y + h, kHighlight, p.outline);
    }
}

QFont CanvasFont(int32_t pixelSize, QFont::Weight weight) {
    // Segoe UI where it is installed; otherwise a condensed sans of about its width, so
    // that labels fit the boxes they were sized for.
    QFont font;
    font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(pixelSize, 1));
    font.setWeight(weight);
    return font;
}

} // namespace

QColor PortKindColour(int32_t kind) noexcept {
    switch (kind) {
    case kPortSignal:
        return QColor(30, 175, 245);
    case kPortControl:
        return QColor(245, 235, 100);
    case kPortGate:
        return QColor(100, 200, 100);
    case kPortStatus:
        return QColor(180, 165, 145);
    case kPortAny:
        return QColor(120, 120, 0);
    default:
        return QColor();
    }
}

TracePoint ScopeTracePoint(int32_t left, int32_t top, int32_t bottom, int32_t zoom, int32_t i,
                           float sample) noexcept {
    double v = std::trunc(static_cast<double>(sample) * 25.0);
    if (!(v >= -30.0)) v = -30.0; // also catches a NaN from a runaway patch
    v = std::min(v, 31.0);
    const int32_t x = static_cast<int32_t>(std::trunc(left + i * 0.16 * zoom));
    const int32_t y =
        static_cast<int32_t>(std::trunc(top + 0.75 * (bottom - top) + v * 0.1 * zoom));
    return {x, y};
}

void PaintDspCanvas(QPainter& painter, const Project& project, const CanvasLiveView& live,
                    int32_t width, int32_t height, const CanvasOverlay& overlay) {
    const int32_t z = std::clamp(project.zoom, 1, 10);
    Paint p{painter,
            project,
            live,
            overlay,
            QRect(0, 0, width, height),
            z,
            2 * z,
            z,
            static_cast<qreal>(std::max(z - 2, 1)),
            static_cast<int32_t>(std::trunc(0.5 * z)),
            CanvasFont(4 * z, QFont::Normal),
            CanvasFont(3 * z, QFont::Bold),
            0,
            0,
            0,
            {},
            0};
    {
        const QFontMetrics a(p.fontA);
        const QFontMetrics b(p.fontB);
        p.ascentA = a.ascent();
        p.ascentB = b.ascent();
        p.heightB = b.height();
    }
    MakePortCircles(p);
    painter.save();
    painter.setClipRect(p.area);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(p.area, kBackground);
    DrawGrid(p, 4 * (z + 1), kFineGrid);
    DrawGrid(p, 16 * (z + 1), kCoarseGrid);
    painter.setRenderHint(QPainter::Antialiasing, true);
    DrawCables(p);
    DrawModules(p);
    DrawConnectionDots(p);
    DrawLooseCable(p);
    DrawBand(p);
    DrawComments(p);
    painter.restore();
}

} // namespace tw
