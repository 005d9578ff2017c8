#pragma once

// The Dsp Editor's picture kept between paints: the still layer (grid, cables, bodies,
// labels, comments, the mouse session's marks) is drawn once into an image and drawn
// again only when what it shows changes; each tick then costs a fingerprint of the
// project and the live displays whose shown value changed, each in its own rectangle.
#include "paint/dsp_canvas_painter.h"

#include <QImage>
#include <QRegion>

#include <array>
#include <cstdint>

namespace tw {

class DspCanvasPicture {
public:
    // What has to be drawn again for the view of `size` (in view pixels): everything when
    // the still layer changed, otherwise the areas of the live displays whose value
    // changed since they were last painted; empty when nothing changed.
    QRegion Changes(const Project& project, const CanvasLiveView& live,
                    const CanvasOverlay& overlay, QSize size);

    // Paints `region` of the view: the still layer (redrawn first when it changed), then
    // the live displays that meet the region. `pixelRatio` is the device's.
    void Paint(QPainter& painter, const QRegion& region, const Project& project,
               const CanvasLiveView& live, const CanvasOverlay& overlay, QSize size,
               qreal pixelRatio = 1.0);

    // How many times the still layer has been drawn.
    int64_t StillPaints() const { return stillPaints_; }
    // Whether the last Paint redrew the still layer while painting only a part of the
    // view: the rest of the view then shows the layer before, and wants painting too.
    bool RedrawnInPart() const { return redrawnInPart_; }

private:
    QImage still_;
    uint64_t stillKey_ = 0;
    bool valid_ = false;
    bool redrawnInPart_ = false;
    int64_t stillPaints_ = 0;
    // What each slot's live display showed when last painted, and where.
    std::array<uint64_t, kSlotCount> shown_{};
    std::array<QRect, kSlotCount> shownArea_{};
    std::array<LiveDisplay, kSlotCount> displays_{};
    std::array<int32_t, kSlotCount> slots_{};
};

} // namespace tw
