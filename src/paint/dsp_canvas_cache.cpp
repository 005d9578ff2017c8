#include "paint/dsp_canvas_cache.h"

#include <QPainter>

namespace tw {

QRegion DspCanvasPicture::Changes(const Project& project, const CanvasLiveView& live,
                                  const CanvasOverlay& overlay, QSize size) {
    const QRect view(QPoint(0, 0), size);
    if (!valid_ || CanvasStillKey(project, overlay, size.width(), size.height()) != stillKey_)
        return view;
    QRegion changed;
    const int32_t n =
        ListLiveDisplays(project, live, size.width(), size.height(), displays_.data());
    for (int32_t i = 0; i < n; ++i) {
        const LiveDisplay& d = displays_[static_cast<std::size_t>(i)];
        const auto slot = static_cast<std::size_t>(d.slot);
        if (d.shown == shown_[slot] && d.area == shownArea_[slot]) continue;
        changed += d.area.intersected(view);
        changed += shownArea_[slot].intersected(view);
    }
    return changed;
}

void DspCanvasPicture::Paint(QPainter& painter, const QRegion& region, const Project& project,
                             const CanvasLiveView& live, const CanvasOverlay& overlay, QSize size,
                             qreal pixelRatio) {
    const int32_t w = size.width(), h = size.height();
    const uint64_t key = CanvasStillKey(project, overlay, w, h);
    const QSize pixels = (QSizeF(size) * pixelRatio).toSize();
    if (!valid_ || key != stillKey_ || still_.size() != pixels ||
        still_.devicePixelRatio() != pixelRatio) {
        if (still_.size() != pixels)
            still_ = QImage(pixels.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        still_.setDevicePixelRatio(pixelRatio);
        QPainter layer(&still_);
        PaintDspCanvasStill(layer, project, w, h, overlay);
        layer.end();
        stillKey_ = key;
        valid_ = true;
        ++stillPaints_;
        redrawnInPart_ = !(QRegion(QRect(QPoint(0, 0), size)) - region).isEmpty();
    } else {
        redrawnInPart_ = false;
    }
    // The values are fingerprinted before they are drawn: one that moves in between is
    // drawn newer than its fingerprint and so painted again on the next tick.
    const int32_t n = ListLiveDisplays(project, live, w, h, displays_.data());
    int32_t drawn = 0;
    for (int32_t i = 0; i < n; ++i) {
        const LiveDisplay& d = displays_[static_cast<std::size_t>(i)];
        if (!region.intersects(d.area)) continue;
        slots_[static_cast<std::size_t>(drawn++)] = d.slot;
        // A display only partly inside the region is partly under another window (Qt
        // paints only what shows) or was drawn whole a moment ago with the same value.
        shown_[static_cast<std::size_t>(d.slot)] = d.shown;
        shownArea_[static_cast<std::size_t>(d.slot)] = d.area;
    }
    painter.save();
    painter.setClipRegion(region, Qt::IntersectClip);
    for (const QRect& r : region)
        painter.drawImage(r, still_,
                          QRectF(QPointF(r.topLeft()) * pixelRatio, QSizeF(r.size()) * pixelRatio));
    if (drawn > 0)
        PaintDspLiveDisplays(
            painter, project, live, w, h,
            std::span<const int32_t>(slots_.data(), static_cast<std::size_t>(drawn)));
    painter.restore();
}

} // namespace tw
