// The live displays on the Dsp Editor's canvas: a Parameter's value, a Volt Meter's
// reading and a MIDI module's input state, each printed on its light strip, and the
// oscilloscope's trace.
#include "paint/dsp_canvas_labels.h"
#include "paint/dsp_canvas_paint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStaticText>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tw {

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

namespace dsp_canvas {

namespace {

const QColor kBar(250, 250, 245);
const QColor kTrace(245, 235, 100);

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
    const QStaticText& laidOut = LaidOutText(font, text);
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

} // namespace

bool HasLiveDisplay(int32_t type) {
    return type == kTypeParameter || type == kTypeVoltMeter || type == kTypeMidi2CV ||
           type == kTypePolyMidi || type == kTypeOscilloscope;
}

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

} // namespace dsp_canvas

} // namespace tw
