#pragma once

// The model tests' common ground: a project with a scripted platform, an engine that
// records its calls and a scratch application folder; and what every project satisfies.
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/fake_engine.h"
#include "support/files.h"

#include <string>
#include <vector>

namespace tw::test {

struct Fixture {
    std::unique_ptr<Project> project = MakeProject();
    HeadlessPlatform platform;
    FakeEngine engine;
    TempDir dir;

    Fixture() {
        SetText(project->appFolder, dir.Path().string());
        FullReset(*project, engine);
        ApplyNewProjectDefaults(*project, platform);
        platform.ClearRecord();
        engine.calls.clear();
    }
    std::vector<uint8_t> Encoded() { return EncodeProject(*project, ReadSavedLayout(platform)); }
};

// The first fault of a project, whether edits or file bytes made it, or "": each cable is
// held in both halves and published as a route, empty slots have no ports, the active list
// matches the slots, and counts, list picks and positions fit the tables and the geometry.
// Edits, unlike files, also cable only the visible ports of occupied slots.
inline std::string ProjectFault(const Project& p, bool edited = false) {
    for (int32_t k = 0; k < kPortCount; ++k) {
        const int32_t source = p.Out[k].link, target = p.In[k].link;
        const bool empty = p.slots[SlotOfPort(k)].type == kTypeEmpty;
        if ((source != kNone && (!IsPort(source) || p.In[source].link != k)) ||
            (target != kNone && (!IsPort(target) || p.Out[target].link != k)) ||
            p.routes[k] != source)
            return "cable halves or route disagree at port " + std::to_string(k);
        if (empty && (p.In[k].kind != kPortNone || p.Out[k].kind != kPortNone))
            return "empty slot keeps port " + std::to_string(k);
        if (edited && ((empty && (source != kNone || target != kNone)) ||
                       (source != kNone && p.In[k].kind == kPortHidden)))
            return "cable on an empty slot or hidden input at port " + std::to_string(k);
    }
    const auto far = [](int32_t v) { return v < -(1 << 25) || v > 1 << 25; };
    int32_t n = 0;
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& m = p.slots[s];
        if (m.imageType < 0 || m.imageType >= kSkinImageCount || m.mouseResponse < 0 ||
            m.mouseResponse > 6 ||
            (m.type != kTypeEmpty && (far(m.anchorX) || far(m.topY) || far(m.panelX))))
            return "slot " + std::to_string(s) + " out of range";
        if (m.type != kTypeEmpty &&
            (n >= p.activeCount || p.activeSlots[n] != s || p.activeTypes[n++] != m.type))
            return "active list wrong at slot " + std::to_string(s);
    }
    if (n != p.activeCount || p.activeTypes[n] != kTerminatorType ||
        p.activeSlots[n] != kTerminatorSlot)
        return "active list not terminated";
    if (p.polygonCount < 0 || p.polygonCount > kPolygonCount || p.textCount < 0 ||
        p.textCount > kTextCount || p.commentCount < 0 || p.commentCount > kCommentCount ||
        p.zoom < 1 || p.zoom > 10 || p.cableStyle < 0 || p.cableStyle > 2)
        return "count or view setting out of range";
    return "";
}

} // namespace tw::test
