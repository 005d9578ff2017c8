// The voice badge: with more than one voice, every module that runs once per voice shows
// the voice count ("×8") at its top right corner, so that the designer sees where the
// design splits into voices and where the voices are summed.
#include "paint/dsp_canvas_paint.h"

#include "model/instrument.h"

#include <QFontMetrics>
#include <QString>

namespace tw::dsp_canvas {

namespace {

const QColor kBadge(40, 110, 190);
const QColor kBadgeText(255, 255, 255);

} // namespace

void DrawVoiceBadges(Paint& p) {
    const Project& pr = p.project;
    const int32_t voices = pr.voiceCount;
    if (voices <= 1) return;
    uint8_t perVoice[kSlotCount];
    if (VoicePartOf(pr, perVoice) == 0) return;
    QPainter& g = p.painter;
    const QString text = QStringLiteral("\u00d7%1").arg(voices);
    QFont font = p.fontA;
    font.setBold(true);
    g.setFont(font);
    const QFontMetrics metrics(font);
    const int32_t w = metrics.horizontalAdvance(text) + 2 * p.z;
    const int32_t h = metrics.height();
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = pr.slots[slot];
        if (perVoice[slot] == 0 || s.type == kTypeEmpty) continue;
        const QRect box(s.anchorX + s.halfWidthPx - w / 2, s.topY - h / 2, w, h);
        if (!box.intersects(p.area)) continue;
        g.setPen(Qt::NoPen);
        g.setBrush(kBadge);
        g.drawRoundedRect(box, h / 3.0, h / 3.0);
        g.setPen(kBadgeText);
        g.drawText(box, Qt::AlignCenter, text);
    }
    g.setBrush(Qt::NoBrush);
}

} // namespace tw::dsp_canvas
