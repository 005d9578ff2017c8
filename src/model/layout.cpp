// Canvas geometry: giving a slot its catalogue shape, and keeping the screen and
// logical positions of modules and comments in step with the zoom level.
#include "catalogue.h"
#include "project.h"

#include <algorithm>

namespace tw {

namespace {

// 1 + the highest port position whose link is set, or 0 when none is; at most 15.
int32_t PortsInUse(const PortRecord* ports, int32_t base) noexcept {
    int32_t n = 0;
    for (int32_t p = 0; p < kPortsPerSlot; ++p) {
        if (ports[base + p].link != kNone) n = p + 1;
    }
    return std::min(n, 15);
}

void LayoutPatchbay(Project& project, int32_t slot) noexcept {
    const int32_t base = PortIndex(slot, 0);
    for (int32_t p = 0; p < kPortsPerSlot; ++p) {
        project.inputs[base + p].yOffset = kOffCanvas;
        project.outputs[base + p].yOffset = kOffCanvas;
    }
    auto setPort = [](PortRecord& r, const char* label, int32_t y) {
        r.label = label;
        r.kind = kPortSignal;
        r.yOffset = y;
    };
    setPort(project.inputs[base], "In", 2);
    setPort(project.outputs[base], "Out", 2);
    // inputs[k].link is the cable leaving output k; outputs[k].link the one reaching input k.
    const int32_t outputs = PortsInUse(project.inputs, base);
    for (int32_t p = 1; p <= outputs; ++p) setPort(project.outputs[base + p], "Out", 4 * p + 2);
    const int32_t inputs = PortsInUse(project.outputs, base);
    for (int32_t p = 1; p <= inputs; ++p) setPort(project.inputs[base + p], "In", 4 * p + 2);
    project.slots[slot].heightUnits = std::min(std::max(4 + 4 * outputs, 4 + 4 * inputs), 64);
}

} // namespace

void Project::PlaceModule(int32_t slot, int32_t x, int32_t y) noexcept {
    if (!IsSlot(slot)) return;
    if (snapToGrid) {
        const int32_t g = SnapStep();
        x = (x / g) * g;
        y = (y / g) * g;
    }
    ModuleSlot& s = slots[slot];
    s.anchorX = x;
    s.topY = y;
    s.gx = x;
    s.gy = y;
    const ModuleTypeInfo* info = FindModuleType(s.type);
    if (info == nullptr) return;
    s.typeName = info->name;
    s.halfWidthUnits = info->halfWidthUnits;
    s.heightUnits = info->heightUnits;
    if (info->helpPage != nullptr) s.helpPage = info->helpPage;
    const int32_t base = PortIndex(slot, 0);
    for (const CataloguePort& port : info->inputs) {
        PortRecord& r = inputs[base + port.number];
        r.label = port.label;
        r.kind = port.kind;
        r.yOffset = port.yOffset;
    }
    for (const CataloguePort& port : info->outputs) {
        PortRecord& r = outputs[base + port.number];
        r.label = port.label;
        r.kind = port.kind;
        r.yOffset = port.yOffset;
    }
    if (s.type == kTypePatchbay) LayoutPatchbay(*this, slot);
}

void Project::RelayoutPatchbays() noexcept {
    bool any = false;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        if (slots[slot].type != kTypePatchbay) continue;
        PlaceModule(slot, slots[slot].anchorX, slots[slot].topY);
        any = true;
    }
    if (any) {
        CapturePositions();
        Relayout();
    }
}

void Project::Relayout() noexcept {
    const int32_t z = zoom;
    const int32_t scale = z + 1;
    portSize = 2 * z;
    halfPortSize = z;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        ModuleSlot& s = slots[slot];
        if (s.type == kTypeEmpty) continue;
        s.halfWidthPx = s.halfWidthUnits * z;
        s.heightPx = s.heightUnits * z;
        s.anchorX = scale * s.gx;
        s.topY = scale * s.gy;
        const int32_t left = s.anchorX - s.halfWidthPx;
        const int32_t right = s.anchorX + s.halfWidthPx;
        const int32_t base = PortIndex(slot, 0);
        for (int32_t p = 0; p < kPortsPerSlot; ++p) {
            PortRecord& in = inputs[base + p];
            if (in.kind != kPortNone) {
                in.x = left + 4;
                in.y = s.topY + in.yOffset * z;
            }
            PortRecord& out = outputs[base + p];
            if (out.kind != kPortNone) {
                out.x = right - 4 - portSize;
                out.y = s.topY + out.yOffset * z;
            }
        }
    }
    commentBoxWidth = 36 * z;
    commentBoxHeight = 10 * z;
    for (int32_t c = 0; c < commentCount; ++c) {
        comments[c].x = scale * comments[c].gx;
        comments[c].y = scale * comments[c].gy;
    }
}

void Project::CapturePositions() noexcept {
    const int32_t scale = zoom + 1;
    for (ModuleSlot& s : slots) {
        if (s.type == kTypeEmpty) continue;
        s.gx = s.anchorX / scale;
        s.gy = s.topY / scale;
        s.heightPx = s.heightUnits * zoom;
    }
    for (int32_t c = 0; c < commentCount; ++c) {
        comments[c].gx = comments[c].x / scale;
        comments[c].gy = comments[c].y / scale;
    }
}

void Project::ClearSelection() noexcept {
    for (ModuleSlot& s : slots) s.selected = 0;
    for (CommentRecord& c : comments) c.selected = 0;
}

} // namespace tw
