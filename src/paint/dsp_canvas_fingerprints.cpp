// The fingerprints the canvas's picture compares from tick to tick: one of everything the
// still layer is drawn from, and one per live display of what it shows now.
#include "paint/dsp_canvas_labels.h"
#include "paint/dsp_canvas_paint.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {

using dsp_canvas::HasLiveDisplay;
using dsp_canvas::LiveText;
using dsp_canvas::ModuleVisible;

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
