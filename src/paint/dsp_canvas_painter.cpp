// The canvas put together: the grid, the layers drawn in their order over it, the
// selection band and the comments on top, and the drawing tools the layers share.
#include "paint/dsp_canvas_painter.h"

#include "paint/dsp_canvas_labels.h"
#include "paint/dsp_canvas_paint.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>

namespace tw {

namespace dsp_canvas {

namespace {

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

QPainterPath RoundedBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t z) {
    // Corner arcs of diameter 2z; the lower arcs hang below y2, so the box reaches y2 + 2z.
    QPainterPath path;
    path.addRoundedRect(QRectF(x1, y1, x2 - x1, y2 + 2 * z - y1), z, z);
    return path;
}

} // namespace

const QStaticText& LaidOutText(const QFont& font, const char* text) {
    thread_local TextCache cache;
    return cache.Get(font, text);
}

void FillRoundedBox(Paint& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const QColor& c) {
    p.painter.fillPath(RoundedBox(x1, y1, x2, y2, p.z), c);
}

void StrokeRoundedBox(Paint& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const QColor& c,
                      qreal width) {
    p.painter.strokePath(RoundedBox(x1, y1, x2, y2, p.z), QPen(c, width));
}

} // namespace dsp_canvas

namespace {

using dsp_canvas::DrawCables;
using dsp_canvas::DrawConnectionDots;
using dsp_canvas::DrawLiveDisplay;
using dsp_canvas::DrawLooseCable;
using dsp_canvas::DrawModules;
using dsp_canvas::FillRoundedBox;
using dsp_canvas::HasLiveDisplay;
using dsp_canvas::kBody;
using dsp_canvas::kHighlight;
using dsp_canvas::kText;
using dsp_canvas::MakePortCircles;
using dsp_canvas::ModuleVisible;
using dsp_canvas::Paint;
using dsp_canvas::StrokeRoundedBox;

const QColor kBackground(206, 206, 200);
const QColor kFineGrid(200, 200, 194);
const QColor kCoarseGrid(185, 185, 180);
const QColor kBandFill(255, 128, 0, 20);
const QColor kCommentBack(230, 230, 220, 200);

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

} // namespace tw
