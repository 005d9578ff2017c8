#include "paint/dsp_canvas_painter.h"

#include "model/ports.h"
#include "paint/dsp_canvas_labels.h"
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

// The first multiple of `step` at or after v.
int32_t FirstLine(int32_t v, int32_t step) {
    const int32_t below = v / step * step;
    return below < v ? below + step : below;
}

void DrawGrid(Paint& p, int32_t step, const QColor& colour) {
    QVector<QLine> lines;
    lines.reserve(p.area.width() / step + p.area.height() / step + 4);
    const int32_t left = p.area.left(), top = p.area.top();
    const int32_t right = left + p.area.width(), bottom = top + p.area.height();
    for (int32_t x = FirstLine(left, step); x < right; x += step)
        lines.append(QLine(x, top, x, bottom));
    for (int32_t y = FirstLine(top, step); y < bottom; y += step)
        lines.append(QLine(left, y, right, y));
    p.painter.setPen(QPen(colour, 1));
    p.painter.drawLines(lines);
}

// Draws a port's label in its box; hovered labels stand on an opaque yellow field.
void DrawLabel(Paint& p, const QFont& font, const CanvasLabel& label, bool hovered) {
    if (hovered) {
        p.painter.fillRect(label.box, kHoverBack);
        p.painter.setPen(Qt::black);
    } else {
        p.painter.setPen(kLabel);
    }
    p.painter.drawStaticText(label.box.topLeft(), Texts().Get(font, label.text));
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

// The light strip a live value is printed on.
void DrawBar(Paint& p, int32_t x1, int32_t x2, int32_t y) {
    QPen pen(kBar, p.ps + p.z);
    pen.setCapStyle(Qt::FlatCap);
    p.painter.setPen(pen);
    p.painter.drawLine(QPoint(x1, y), QPoint(x2, y));
}

// The value, right-aligned at `right` (left-aligned at `left` when right is kNone) and
// centred on the strip; it never leaves the strip.
void DrawValue(Paint& p, const QFont& font, const QRect& strip, int32_t left, int32_t right,
               const char* text) {
    const QStaticText& laidOut = Texts().Get(font, text);
    const int32_t width = static_cast<int32_t>(std::ceil(laidOut.size().width()));
    // Centred by the font's own line height, which the strip was made to hold: the laid-out
    // text's height can be a pixel or two more and would push its top out of the clip.
    const int32_t height = QFontMetrics(font).height();
    const int32_t x = right != kNone ? right - width : left;
    p.painter.save();
    p.painter.setClipRect(strip, Qt::IntersectClip);
    p.painter.setFont(font);
    p.painter.setPen(kText);
    p.painter.drawStaticText(QPoint(x, strip.top() + (strip.height() - height) / 2), laidOut);
    p.painter.restore();
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

bool HasLiveDisplay(int32_t type) {
    return type == kTypeParameter || type == kTypeVoltMeter || type == kTypeMidi2CV ||
           type == kTypePolyMidi || type == kTypeOscilloscope;
}

// What a live display shows now, as the text it prints (empty for the scope).
void LiveText(const CanvasLiveView& live, const ModuleSlot& s, char (&text)[32]) {
    text[0] = '\0';
    if (s.type == kTypeParameter)
        std::snprintf(text, sizeof text, "%1.2f", static_cast<double>(s.value.load()));
    else if (s.type == kTypeVoltMeter)
        std::snprintf(text, sizeof text, "%3.2f", static_cast<double>(s.displayValue.load()));
    else if (s.type == kTypeMidi2CV || s.type == kTypePolyMidi)
        std::snprintf(text, sizeof text, "%s", live.midiInputOpen ? "On" : "Off");
}

void DrawLiveDisplay(Paint& p, int32_t slot) {
    const Project& pr = p.project;
    const ModuleSlot& s = pr.slots[slot];
    const int32_t left = s.anchorX - s.halfWidthPx;
    if (s.type == kTypeOscilloscope) {
        DrawScopeTrace(p, slot, left, s.topY, s.topY + s.heightPx);
        return;
    }
    const QRect strip = LiveDisplayStrip(pr, slot);
    if (strip.isEmpty()) return;
    const QFont& font = CanvasLabelFont(s.type, p.z);
    const bool midi = s.type == kTypeMidi2CV || s.type == kTypePolyMidi;
    DrawBar(p, left + 4, midi ? s.anchorX - 8 : s.anchorX, strip.center().y());
    if (!LiveValueShown(s.type, p.z)) return;
    char text[32];
    LiveText(p.live, s, text);
    if (midi)
        DrawValue(p, font, strip, left + 7, kNone, text);
    else
        DrawValue(p, font, strip, 0, s.anchorX - 2, text);
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

namespace {

const CanvasLiveView kNoLiveView{};
const CanvasOverlay kNoOverlay{};

// Runs `draw` with the paint of the view (width x height from the view origin), the
// painter moved so that canvas pixels land in the view.
template <typename Draw>
void WithPaint(QPainter& painter, const Project& project, const CanvasLiveView& live, int32_t width,
               int32_t height, const CanvasOverlay& overlay, Draw draw) {
    const int32_t z = std::clamp(project.zoom, 1, 10);
    const QRect area(project.viewOriginX, project.viewOriginY, width, height);
    Paint p{painter,
            project,
            live,
            overlay,
            area,
            z,
            2 * z,
            z,
            static_cast<qreal>(std::max(z - 2, 1)),
            static_cast<int32_t>(std::trunc(0.5 * z)),
            CanvasNameFont(z),
            CanvasFont(3 * z, QFont::Bold),
            {},
            0};
    painter.save();
    painter.setClipRect(QRect(0, 0, width, height), Qt::IntersectClip);
    painter.translate(-area.topLeft());
    draw(p);
    painter.restore();
}

} // namespace

void PaintDspCanvasStill(QPainter& painter, const Project& project, int32_t width, int32_t height,
                         const CanvasOverlay& overlay) {
    WithPaint(painter, project, kNoLiveView, width, height, overlay, [&](Paint& p) {
        MakePortCircles(p);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillRect(p.area, kBackground);
        DrawGrid(p, 4 * (p.z + 1), kFineGrid);
        DrawGrid(p, 16 * (p.z + 1), kCoarseGrid);
        painter.setRenderHint(QPainter::Antialiasing, true);
        DrawCables(p);
        DrawModules(p);
        DrawCablesUnderBodies(p);
        DrawConnectionDots(p);
        DrawLooseCable(p);
        DrawBand(p);
        DrawComments(p);
        DrawVoiceBadges(p);
    });
}

void PaintDspLiveDisplays(QPainter& painter, const Project& project, const CanvasLiveView& live,
                          int32_t width, int32_t height, std::span<const int32_t> onlySlots) {
    WithPaint(painter, project, live, width, height, kNoOverlay, [&](Paint& p) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        const auto draw = [&](int32_t slot) {
            const ModuleSlot& s = project.slots[slot];
            if (HasLiveDisplay(s.type) && ModuleVisible(p.area, p.z, s)) DrawLiveDisplay(p, slot);
        };
        if (!onlySlots.empty()) {
            for (const int32_t slot : onlySlots)
                if (IsSlot(slot)) draw(slot);
            return;
        }
        for (int32_t slot = 0; slot < kSlotCount; ++slot) draw(slot);
    });
}

void PaintDspCanvas(QPainter& painter, const Project& project, const CanvasLiveView& live,
                    int32_t width, int32_t height, const CanvasOverlay& overlay) {
    PaintDspCanvasStill(painter, project, width, height, overlay);
    PaintDspLiveDisplays(painter, project, live, width, height);
}

namespace {

// A 64-bit running fingerprint: one multiply per word, so that a tick can afford it over a
// full project.
struct Fingerprint {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    void Add(uint64_t v) noexcept { h = (h ^ v) * 0xBF58476D1CE4E5B9ull + (h >> 31); }
    void Add(int32_t a, int32_t b) noexcept {
        Add((static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b));
    }
    // A text in a buffer of `size` bytes, eight at a time up to the word with its end.
    void Add(const char* text, std::size_t size) noexcept {
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            uint64_t word;
            std::memcpy(&word, text + i, 8);
            Add(word);
            if (((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0) return;
        }
    }
    void Add(const char* text) noexcept {
        for (; *text != '\0'; ++text) Add(static_cast<uint64_t>(*text));
        Add(~0ull);
    }
};

void AddPorts(Fingerprint& f, const PortRecord* ports) noexcept {
    for (int32_t n = 0; n < kPortsPerSlot; ++n) {
        const PortRecord& r = ports[n];
        f.Add(r.kind, r.link);
        if (r.kind == kPortNone) continue;
        f.Add(r.x, r.y);
        f.Add(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(r.label)));
    }
}

} // namespace

uint64_t CanvasStillKey(const Project& project, const CanvasOverlay& overlay, int32_t width,
                        int32_t height) noexcept {
    Fingerprint f;
    f.Add(project.zoom, project.cableStyle);
    f.Add(project.viewOriginX, project.viewOriginY);
    f.Add(width, height);
    f.Add(project.currentSlot, project.commentCount);
    f.Add(project.voiceCount.load(), 0);
    const CanvasOverlay& o = overlay;
    f.Add(o.looseCable ? 1 : 0, o.band ? 1 : 0);
    f.Add(o.cableFixedX, o.cableFixedY);
    f.Add(o.pointerX, o.pointerY);
    f.Add(o.hoverInput, o.hoverOutput);
    f.Add(o.bandLeft, o.bandTop);
    f.Add(o.bandRight, o.bandBottom);
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type == kTypeEmpty) continue;
        f.Add(slot, s.type);
        f.Add(s.anchorX, s.topY);
        f.Add(s.halfWidthPx, s.heightPx);
        f.Add(s.selected, s.cleanMark);
        f.Add(s.name, sizeof s.name);
        const int32_t base = PortIndex(slot, 0);
        if (s.type == kTypePatchbay) {
            // Its ports follow its cables; every other type's follow its box and type.
            AddPorts(f, &project.inputs[base]);
            AddPorts(f, &project.outputs[base]);
            continue;
        }
        // The cables, by the source of each input as the route table holds it: every
        // cable change rebuilds the table, and it lies in one small block where the port
        // records would cost a pass over half a megabyte each tick.
        for (int32_t n = 0; n < kPortsPerSlot; n += 2)
            f.Add(project.routes[base + n].load(), project.routes[base + n + 1].load());
    }
    for (int32_t c = 0; c < project.commentCount && c < kCommentCount; ++c) {
        const CommentRecord& comment = project.comments[c];
        f.Add(comment.x, comment.y);
        f.Add(comment.showBackground + 2 * comment.showBorder,
              comment.clicked + 2 * comment.selected);
        f.Add(comment.text, sizeof comment.text);
    }
    return f.h;
}

int32_t ListLiveDisplays(const Project& project, const CanvasLiveView& live, int32_t width,
                         int32_t height, LiveDisplay* out) {
    const int32_t z = std::clamp(project.zoom, 1, 10);
    const QRect area(project.viewOriginX, project.viewOriginY, width, height);
    const QPoint origin = area.topLeft();
    int32_t n = 0;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (!HasLiveDisplay(s.type) || !ModuleVisible(area, z, s)) continue;
        LiveDisplay& d = out[n];
        d.slot = slot;
        Fingerprint f;
        if (s.type == kTypeOscilloscope) {
            const int32_t left = s.anchorX - s.halfWidthPx;
            const int32_t top = s.topY;
            const int32_t bottom = top + s.heightPx;
            const TracePoint high = ScopeTracePoint(left, top, bottom, z, 99, -2.0f);
            const TracePoint low = ScopeTracePoint(left, top, bottom, z, 0, 2.0f);
            d.area = QRect(QPoint(left, high.y), QPoint(high.x + 1, low.y + 1));
            for (int32_t i = 0; i < 100; ++i) {
                const float sample =
                    live.utility != nullptr ? live.utility->scope[slot][i].load() : 0.0f;
                f.Add(ScopeTracePoint(left, top, bottom, z, i, sample).y);
            }
        } else {
            // The bar's flat ends and the smoothed text may reach a pixel past the strip.
            d.area = LiveDisplayStrip(project, slot).adjusted(-1, -1, 1, 1);
            if (d.area.isEmpty()) continue;
            char text[32];
            LiveText(live, s, text);
            f.Add(text);
        }
        d.area.translate(-origin);
        d.shown = f.h;
        ++n;
    }
    return n;
}

} // namespace tw
