#include "paint/dsp_canvas_labels.h"

#include "model/catalogue.h"
#include "model/ports.h"

#include <QFontMetrics>
#include <QStringList>

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>

namespace tw {

QFont CanvasFont(int32_t pixelSize, QFont::Weight weight) {
    // Segoe UI where it is installed, else a condensed sans of about its width; either way
    // the size is then chosen from the metrics of the font that is actually found.
    QFont font;
    font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(pixelSize, 1));
    font.setWeight(weight);
    return font;
}

namespace {

// A port's label as the layout sees it: the top-left corner of the port's marker.
struct PortText {
    int32_t markerX;
    int32_t markerY;
    const char* text;
    int32_t port;
    bool input;
};

// The module's frame at zoom z, with the row and right end of its live display's strip
// (row kNone: no display).
struct Frame {
    int32_t left, top, right, bottom, anchorX, z;
    int32_t displayRow = kNone;
    int32_t displayRight = 0;
    const char* widestValue = "";
    bool value = true; // whether the display's value must find room, or only its bar
};

// The live display's strip: 3z high round the middle of its row, as high as the value's
// text where that is higher.
QRect DisplayStrip(const Frame& f, int32_t textHeight) {
    // At the smallest zoom a MIDI module's strip would end before it starts.
    if (f.displayRow == kNone || f.displayRight <= f.left + 4) return {};
    const int32_t middle = f.displayRow + f.z;
    const int32_t half = std::max(3 * f.z, textHeight) / 2;
    return QRect(QPoint(f.left + 4, middle - half), QPoint(f.displayRight, middle + half));
}

// Lays the texts out in `metrics`; returns whether every one found its room. With `out`
// the texts that fit are written there.
// Widths of the catalogue's labels (texts that live as long as the program) in the font
// of one type at one zoom: measuring a text costs more than drawing it.
class WidthCache {
public:
    int32_t Get(const QFontMetrics& metrics, int32_t fontId, const char* text) {
        if (fontId < 0) return metrics.horizontalAdvance(QString::fromLatin1(text));
        const Key key{text, fontId};
        const auto found = widths_.find(key);
        if (found != widths_.end()) return found->second;
        const int32_t width = metrics.horizontalAdvance(QString::fromLatin1(text));
        widths_.emplace(key, width);
        return width;
    }

private:
    struct Key {
        const char* text;
        int32_t fontId;
        bool operator==(const Key&) const = default;
    };
    struct Hash {
        std::size_t operator()(const Key& k) const noexcept {
            return std::hash<const void*>()(k.text) * 31u + static_cast<std::size_t>(k.fontId);
        }
    };
    std::unordered_map<Key, int32_t, Hash> widths_;
};

WidthCache& Widths() {
    static WidthCache cache;
    return cache;
}

bool Place(const Frame& f, const PortText* texts, int32_t count, const QFontMetrics& metrics,
           ModuleLabels* out, int32_t fontId = -1) {
    const int32_t z = f.z;
    const int32_t h = metrics.height();
    // About the width of a space between two labels on one row.
    const int32_t gap = std::max(2, 3 * z / 2);
    const QRect box(QPoint(f.left, f.top), QPoint(f.right, f.bottom + z));
    const QRect display = DisplayStrip(f, h);
    bool all = !display.isValid() ||
               (box.contains(display) && (!f.value || metrics.horizontalAdvance(QString::fromLatin1(
                                                          f.widestValue)) <= display.width() - 6));
    if (out != nullptr) {
        out->box = box;
        out->display = display;
        out->count = 0;
    }
    QRect placed[2 * kPortsPerSlot];
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        const PortText& t = texts[i];
        const int32_t width = Widths().Get(metrics, fontId, t.text);
        const int32_t markerSide = 2 * z;
        const int32_t top = t.markerY + z - h / 2;
        const int32_t left = t.input ? t.markerX + markerSide + z : t.markerX - z - width;
        const QRect r(left, top, width, h);
        bool fits = box.contains(r) && !(display.isValid() && display.intersects(r));
        for (int32_t k = 0; k < n && fits; ++k)
            fits = !placed[k].adjusted(-gap, 0, gap, 0).intersects(r);
        if (!fits) {
            all = false;
            continue;
        }
        placed[n++] = r;
        if (out != nullptr) out->labels[out->count++] = {r, t.text, t.port, t.input};
    }
    return all;
}

int32_t DisplayRowOf(int32_t type) {
    switch (type) {
    case kTypeParameter:
        return parameter::kDisplayRow;
    case kTypeVoltMeter:
        return volt_meter::kDisplayRow;
    case kTypeMidi2CV:
    case kTypePolyMidi:
        return midi2cv::kDisplayRow;
    default:
        return kNone;
    }
}

void SetDisplay(Frame& f, int32_t type, int32_t rowY) {
    if (DisplayRowOf(type) == kNone) return;
    f.displayRow = rowY;
    const bool midi = type == kTypeMidi2CV || type == kTypePolyMidi;
    f.displayRight = midi ? f.anchorX - 8 : f.anchorX;
    // Longer values are cut at the strip's ends rather than shrink every label. The value
    // starts 3 px into the strip and bold glyphs ink a little past their advance, hence the
    // 6 px the layout keeps beside the widest one.
    f.widestValue = midi ? "Off" : "0.00";
}

// The texts of a type as the catalogue lays it out at zoom z, at the origin.
int32_t CatalogueTexts(const ModuleTypeInfo& info, int32_t z, Frame& f, PortText* texts) {
    const int32_t height = std::max(info.heightUnits, 8) * z;
    f = Frame{-info.halfWidthUnits * z, 0, info.halfWidthUnits * z, height, 0, z};
    int32_t n = 0;
    for (const CataloguePort& port : info.inputs) {
        if (port.number == DisplayRowOf(info.type) && port.kind == kPortHidden)
            SetDisplay(f, info.type, port.yOffset * z);
        if (port.label[0] == '\0' || port.kind == kPortNone) continue;
        texts[n++] = {f.left + 4, port.yOffset * z, port.label, port.number, true};
    }
    for (const CataloguePort& port : info.outputs) {
        if (port.label[0] == '\0' || port.kind == kPortNone) continue;
        texts[n++] = {f.right - 4 - 2 * z, port.yOffset * z, port.label, port.number, false};
    }
    return n;
}

// The largest font, at most 3z pixels, in which the labels fit, with the display's value
// when `value` is set; 0 when none does.
int32_t FittingPixels(const ModuleTypeInfo* info, int32_t z, bool value) {
    for (int32_t px = 3 * z; px > 1; --px) {
        const QFontMetrics metrics(CanvasFont(px, QFont::Bold));
        if (metrics.height() > 4 * z) continue; // rows lie 4z apart
        if (info == nullptr) return px;
        Frame f{};
        PortText texts[2 * kPortsPerSlot];
        const int32_t n = CatalogueTexts(*info, z, f, texts);
        f.value = value;
        if (Place(f, texts, n, metrics, nullptr)) return px;
    }
    return 0;
}

struct LabelFont {
    QFont font;
    bool value = true;
};

LabelFont ChooseLabelFont(int32_t type, int32_t z) {
    const ModuleTypeInfo* info = FindModuleType(type);
    const int32_t withValue = FittingPixels(info, z, true);
    if (DisplayRowOf(type) == kNone) return {CanvasFont(std::max(withValue, 1), QFont::Bold)};
    // A value squeezed into a narrow strip would shrink every label to dashes: below three
    // quarters of the labels' own size the strip shows its bar without the value.
    const int32_t labelsOnly = FittingPixels(info, z, false);
    if (withValue > 0 && 4 * withValue >= 3 * labelsOnly)
        return {CanvasFont(withValue, QFont::Bold), true};
    return {CanvasFont(std::max(labelsOnly, 1), QFont::Bold), false};
}

QFont ChooseNameFont(int32_t z) {
    // The name's top lies 3z above the box, whose body starts z below its top.
    for (int32_t px = 4 * z; px > 1; --px) {
        QFont font = CanvasFont(px, QFont::Normal);
        if (QFontMetrics(font).height() <= 4 * z) return font;
    }
    return CanvasFont(1, QFont::Normal);
}

int32_t ClampZoom(int32_t z) {
    return std::clamp(z, 1, 10);
}

} // namespace

const QFont& CanvasNameFont(int32_t zoom) {
    static std::array<std::optional<QFont>, 11> fonts;
    std::optional<QFont>& font = fonts[static_cast<std::size_t>(ClampZoom(zoom))];
    if (!font) font = ChooseNameFont(ClampZoom(zoom));
    return *font;
}

namespace {

const LabelFont& LabelFontOf(int32_t type, int32_t zoom) {
    static std::array<std::array<std::optional<LabelFont>, 11>, kMaxModuleType + 1> fonts;
    const int32_t t = std::clamp(type, 0, int32_t{kMaxModuleType});
    std::optional<LabelFont>& font =
        fonts[static_cast<std::size_t>(t)][static_cast<std::size_t>(ClampZoom(zoom))];
    if (!font) font = ChooseLabelFont(t, ClampZoom(zoom));
    return *font;
}

} // namespace

const QFont& CanvasLabelFont(int32_t type, int32_t zoom) {
    return LabelFontOf(type, zoom).font;
}

bool LiveValueShown(int32_t type, int32_t zoom) {
    return LabelFontOf(type, zoom).value;
}

namespace {

Frame FrameOf(const Project& project, int32_t slot) {
    const ModuleSlot& s = project.slots[slot];
    Frame f{s.anchorX - s.halfWidthPx, s.topY,    s.anchorX + s.halfWidthPx,
            s.topY + s.heightPx,       s.anchorX, ClampZoom(project.zoom)};
    const int32_t displayRow = DisplayRowOf(s.type);
    const PortRecord* row =
        displayRow == kNone ? nullptr : &project.inputs[PortIndex(slot, displayRow)];
    if (row != nullptr && row->x != kOffCanvas) SetDisplay(f, s.type, row->y);
    return f;
}

int32_t LabelHeight(int32_t type, int32_t zoom) {
    static std::array<std::array<int32_t, 11>, kMaxModuleType + 1> heights{};
    const int32_t t = std::clamp(type, 0, int32_t{kMaxModuleType});
    int32_t& h = heights[static_cast<std::size_t>(t)][static_cast<std::size_t>(ClampZoom(zoom))];
    if (h == 0) h = QFontMetrics(CanvasLabelFont(t, zoom)).height();
    return h;
}

} // namespace

QRect LiveDisplayStrip(const Project& project, int32_t slot) {
    const Frame f = FrameOf(project, slot);
    return DisplayStrip(f, LabelHeight(project.slots[slot].type, f.z));
}

void LayOutModuleLabels(const Project& project, int32_t slot, ModuleLabels& out) {
    const ModuleSlot& s = project.slots[slot];
    const Frame f = FrameOf(project, slot);
    const int32_t z = f.z;
    const int32_t base = PortIndex(slot, 0);
    PortText texts[2 * kPortsPerSlot];
    int32_t n = 0;
    for (int32_t p = 0; p < kPortsPerSlot; ++p) {
        const PortRecord& in = project.inputs[base + p];
        if (in.x != kOffCanvas && in.kind != kPortNone && in.label != nullptr && in.label[0])
            texts[n++] = {in.x, in.y, in.label, base + p, true};
    }
    for (int32_t p = 0; p < kPortsPerSlot; ++p) {
        const PortRecord& o = project.outputs[base + p];
        if (o.x != kOffCanvas && o.kind != kPortNone && o.label != nullptr && o.label[0])
            texts[n++] = {o.x, o.y, o.label, base + p, false};
    }
    Place(f, texts, n, QFontMetrics(CanvasLabelFont(s.type, z)), &out, s.type * 16 + z);
}

} // namespace tw
