#include "paint/panel_painter.h"

#include "model/text.h"
#include "paint/qt_bitmap.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace tw {

namespace {

const QColor kPanelGrey(240, 240, 240);
const QColor kOverlayYellow(240, 240, 0);
const QColor kOverlayRed(255, 0, 0);

// Outlines are drawn with a 1-pixel pen, which covers a QRect's left..left + width: the
// rectangle "from (a, b) to (c, d)" is therefore QRect(a, b, c - a, d - b).

// The rectangle around a control's square, one pixel outside it on every side.
QRect ControlOutline(int32_t px, int32_t py, int32_t size) {
    return QRect(px - 1, py - 1, size + 1, size + 1);
}

// 1-pixel dotted outline whose gaps show `gap`, drawn without smoothing.
void DrawDottedRect(QPainter& painter, const QRect& rect, const QColor& dots, const QColor& gap) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(dots, 0, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(gap);
    painter.drawRect(rect);
    painter.restore();
}

const SkinImage* ImageOf(const Project& project, const ModuleSlot& s) {
    if (s.imageType < 0 || s.imageType >= kSkinImageCount) return nullptr;
    return &project.skinImages[s.imageType];
}

void PaintControl(QPainter& painter, const Project& project, int32_t slot, QSize panel) {
    const ModuleSlot& s = project.slots[slot];
    const int32_t px = s.panelX;
    const int32_t py = s.panelY;
    const int32_t size = SkinControlSize(project, slot);

    if (project.lockEdit == 0 && (slot == project.currentSlot || s.selected != 0)) {
        DrawDottedRect(painter, ControlOutline(px, py, size), Qt::black, Qt::white);
    }

    const SkinImage* image = ImageOf(project, s);
    if (image != nullptr && image->bitmap && size > 0) {
        const QImage strip = ViewOfBitmap(*image->bitmap);
        const int32_t frames = strip.isNull() ? 0 : strip.height() / size;
        if (frames > 0) {
            const int32_t patch = std::clamp<int32_t>(project.currentPatch, 0, kPatchCount - 1);
            // A value beyond the strip (an image with fewer frames chosen later) shows the
            // last frame rather than whatever lies below the strip.
            const int32_t frame = std::clamp(s.patchValues[patch], 0, frames - 1);
            painter.drawImage(QPoint(px, py), strip, QRect(0, frame * size, size, size));
        }
    }

    if (s.showLabel != 0) {
        QFont font(QStringLiteral("Segoe UI"));
        font.setPixelSize(13);
        font.setWeight(QFont::Bold);
        painter.setFont(font);
        painter.setPen(QColor(s.labelColour[0], s.labelColour[1], s.labelColour[2]));
        // Centred below the control, but moved in where that would cross the panel's side,
        // and above the control where there is no room below it.
        const QString text = TextOfBytes(GetText(s.name));
        const QFontMetrics metrics(font);
        const int32_t width = metrics.horizontalAdvance(text), height = metrics.height();
        const int32_t centred = static_cast<int32_t>(px + 0.5 * size) - width / 2;
        const int32_t left = std::max(0, std::min(centred, panel.width() - width));
        const bool below = py + size + height <= panel.height() || py - height < 0;
        painter.drawText(QRect(left, below ? py + size : py - height, width, height),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    }
}

QColor Clamped(int32_t r, int32_t g, int32_t b, int32_t a) {
    return QColor(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255),
                  std::clamp(a, 0, 255));
}

void PaintPolygon(QPainter& painter, const PanelPolygon& poly) {
    const QColor colour = Clamped(poly.red, poly.green, poly.blue, poly.alpha);
    const double x1 = poly.x1, y1 = poly.y1, x2 = poly.x2, y2 = poly.y2;
    const double d = poly.cornerRadius;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (poly.cornerRadius >= 1) {
        // Four quarter arcs of diameter d, clockwise from the top-right corner; the last
        // one sweeps 95 degrees so that the outline closes without a notch.
        QPainterPath path;
        const QRectF topRight(x2 - d, y1, d, d);
        path.arcMoveTo(topRight, 90);
        path.arcTo(topRight, 90, -90);
        path.arcTo(QRectF(x2 - d, y2 - d, d, d), 0, -90);
        path.arcTo(QRectF(x1, y2 - d, d, d), -90, -90);
        path.arcTo(QRectF(x1, y1, d, d), -180, -95);
        path.closeSubpath();
        if (poly.solid != 0) {
            painter.fillPath(path, colour);
        } else {
            painter.strokePath(path, QPen(colour, poly.lineWidth));
        }
    } else {
        const QRectF rect(x1, y1, x2 - x1, y2 - y1);
        if (poly.solid != 0) {
            painter.fillRect(rect, colour);
        } else {
            painter.setPen(QPen(colour, poly.lineWidth));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect);
        }
    }
    painter.restore();
}

void PaintText(QPainter& painter, const PanelText& text) {
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(std::max(1, text.size));
    painter.setFont(font);
    painter.setPen(Clamped(text.red, text.green, text.blue, text.alpha));
    const QString shown = TextOfBytes(GetText(text.text)).left(128);
    painter.drawText(QRectF(text.x, text.y, 100000, 100000), Qt::AlignLeft | Qt::AlignTop, shown);
}

void PaintEditOverlay(QPainter& painter, const Project& project) {
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        DrawDottedRect(painter, ControlOutline(s.panelX, s.panelY, SkinControlSize(project, slot)),
                       kOverlayYellow, kOverlayRed);
    }
    const int32_t polygons = std::clamp(project.polygonCount, 0, kPolygonCount);
    for (int32_t i = 0; i < polygons; ++i) {
        const PanelPolygon& p = project.polygons[i];
        DrawDottedRect(painter, QRect(p.x1 - 5, p.y1 - 5, 10, 10), kOverlayYellow, kOverlayRed);
        DrawDottedRect(painter, QRect(p.x2 - 5, p.y2 - 5, 10, 10), kOverlayYellow, kOverlayRed);
    }
    const int32_t texts = std::clamp(project.textCount, 0, kTextCount);
    for (int32_t i = 0; i < texts; ++i) {
        const PanelText& t = project.texts[i];
        const auto length = static_cast<int32_t>(GetText(t.text).size());
        DrawDottedRect(painter, QRect(t.x, t.y, 5 * length, 12), kOverlayYellow, kOverlayRed);
    }
}

} // namespace

int32_t SkinControlSize(const Project& project, int32_t slot) {
    if (!IsSlot(slot)) return 0;
    const SkinImage* image = ImageOf(project, project.slots[slot]);
    if (image == nullptr) return project.slots[slot].controlSize;
    return image->width;
}

void UpdateControlSizes(Project& project) {
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter || s.renderOnBackground == 0) continue;
        s.controlSize = SkinControlSize(project, slot);
    }
}

void PaintPanel(QPainter& painter, const Project& project, QSize panelSize) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(QPoint(0, 0), panelSize), kPanelGrey);

    if (project.background.bitmap) {
        const QImage background = ViewOfBitmap(*project.background.bitmap);
        if (!background.isNull()) painter.drawImage(QPoint(0, 0), background);
    }

    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type == kTypeParameter && s.renderOnBackground != 0) {
            PaintControl(painter, project, slot, panelSize);
        }
    }

    const int32_t polygons = std::clamp(project.polygonCount, 0, kPolygonCount);
    for (int32_t i = 0; i < polygons; ++i) PaintPolygon(painter, project.polygons[i]);

    const int32_t texts = std::clamp(project.textCount, 0, kTextCount);
    for (int32_t i = 0; i < texts; ++i) PaintText(painter, project.texts[i]);

    if (project.guiEditMode != 0) PaintEditOverlay(painter, project);
    painter.restore();
}

namespace {

struct PanelFingerprint {
    uint64_t h = 0x84222325CBF29CE4ull;
    void Add(uint64_t v) noexcept { h = (h ^ v) * 0x100000001B3ull + (h >> 29); }
    void Add(const void* pointer) noexcept { Add(reinterpret_cast<uintptr_t>(pointer)); }
    void Add(const char* text, std::size_t size) noexcept {
        for (std::size_t i = 0; i < size && text[i] != '\0'; ++i)
            Add(static_cast<uint64_t>(static_cast<unsigned char>(text[i])));
        Add(~0ull);
    }
    void AddInts(const int32_t* values, std::size_t count) noexcept {
        for (std::size_t i = 0; i < count; ++i) Add(static_cast<uint64_t>(uint32_t(values[i])));
    }
};

} // namespace

uint64_t PanelKey(const Project& project, QSize panelSize) noexcept {
    PanelFingerprint f;
    f.Add(static_cast<uint64_t>(panelSize.width()) << 32 | uint32_t(panelSize.height()));
    f.Add(project.background.bitmap.get());
    for (const SkinImage& image : project.skinImages) {
        f.Add(image.bitmap.get());
        f.Add(static_cast<uint64_t>(image.width));
    }
    const int32_t patch = std::clamp<int32_t>(project.currentPatch, 0, kPatchCount - 1);
    f.Add(static_cast<uint64_t>(patch));
    f.Add(static_cast<uint64_t>(project.currentSlot) << 16 | project.lockEdit << 8 |
          project.guiEditMode);
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        const int32_t values[] = {slot,
                                  s.panelX,
                                  s.panelY,
                                  s.imageType,
                                  SkinControlSize(project, slot),
                                  s.patchValues[patch],
                                  s.showLabel,
                                  s.selected,
                                  s.renderOnBackground,
                                  s.labelColour[0] << 16 | s.labelColour[1] << 8 |
                                      s.labelColour[2]};
        f.AddInts(values, std::size(values));
        f.Add(s.name, sizeof s.name);
    }
    const int32_t polygons = std::clamp(project.polygonCount, 0, kPolygonCount);
    f.Add(static_cast<uint64_t>(polygons));
    for (int32_t i = 0; i < polygons; ++i) {
        const PanelPolygon& g = project.polygons[i];
        const int32_t values[] = {g.x1,           g.x2,  g.y1,    g.y2,   g.lineWidth, g.alpha,
                                  g.cornerRadius, g.red, g.green, g.blue, g.solid};
        f.AddInts(values, std::size(values));
    }
    const int32_t texts = std::clamp(project.textCount, 0, kTextCount);
    f.Add(static_cast<uint64_t>(texts));
    for (int32_t i = 0; i < texts; ++i) {
        const PanelText& t = project.texts[i];
        const int32_t values[] = {t.x, t.y, t.size, t.red, t.green, t.blue, t.alpha};
        f.AddInts(values, std::size(values));
        f.Add(t.text, sizeof t.text);
    }
    return f.h;
}

QImage RenderPanel(Project& project, int32_t width, int32_t height) {
    UpdateControlSizes(project);
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    QPainter painter(&image);
    PaintPanel(painter, project, QSize(width, height));
    painter.end();
    return image;
}

} // namespace tw
