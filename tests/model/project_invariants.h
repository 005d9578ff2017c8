#pragma once

// What every project must satisfy, whether edits or file bytes made it: each cable held in
// both halves, routes published from the links, the active list matching the slots, and
// every count, list pick and position within what the tables and the geometry can hold.
#include "model/project.h"

#include <string>

namespace tw::test {

// The first fault found, or "".
inline std::string ProjectFault(const Project& p) {
    for (int32_t k = 0; k < kPortCount; ++k) {
        const int32_t source = p.Out[k].link, target = p.In[k].link;
        if ((source != kNone && (!IsPort(source) || p.In[source].link != k)) ||
            (target != kNone && (!IsPort(target) || p.Out[target].link != k)))
            return "cable halves not mirrored at port " + std::to_string(k);
        if (p.routes[k] != source) return "stale route at port " + std::to_string(k);
    }
    const auto far = [](int32_t v) { return v < -(1 << 25) || v > 1 << 25; };
    int32_t n = 0;
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& m = p.slots[s];
        if (m.imageType < 0 || m.imageType >= kSkinImageCount || m.mouseResponse < 0 ||
            m.mouseResponse > 6)
            return "list pick out of range in slot " + std::to_string(s);
        if (m.type == kTypeEmpty) continue;
        if (far(m.anchorX) || far(m.topY) || far(m.panelX) || far(m.panelY))
            return "slot " + std::to_string(s) + " beyond the canvas";
        if (n >= p.activeCount || p.activeSlots[n] != s || p.activeTypes[n] != m.type)
            return "active list entry " + std::to_string(n) + " wrong";
        ++n;
    }
    if (n != p.activeCount || p.activeTypes[n] != kTerminatorType ||
        p.activeSlots[n] != kTerminatorSlot)
        return "active list not terminated";
    if (p.polygonCount < 0 || p.polygonCount > kPolygonCount || p.textCount < 0 ||
        p.textCount > kTextCount || p.commentCount < 0 || p.commentCount > kCommentCount)
        return "panel table count out of range";
    if (p.zoom < 1 || p.zoom > 10 || p.cableStyle < 0 || p.cableStyle > 2)
        return "view setting out of range";
    return "";
}

} // namespace tw::test
