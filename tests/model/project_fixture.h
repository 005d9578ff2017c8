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
    LoadResult Open(std::string_view p) { return OpenProject(*project, engine, platform, p); }
    LoadResult Load(std::span<const uint8_t> b) {
        return OpenProjectBytes(*project, engine, platform, b, "x.tw1");
    }
};

// Golden files: an oscillator (slot 0, "Lead %s osc") between a Parameter (slot 2) and an
// Output (slot 1), a polygon, text and comment, a moved Gui Editor and a hidden Midi
// Monitor; patch p holds step (p + 3) % 11. The older file has the older patch chunk tag.
inline std::string Golden(const char* name) {
    return std::string(TW_SOURCE_DIR) + "/tests/model/data/" + name;
}

// The first fault of a project, whether edits or file bytes made it, or "": each cable is
// held in both halves and published as a route, empty slots have no ports, the active list
// matches the slots, and counts, list picks and positions fit the tables and the geometry.
// Edits, unlike files, also cable only the visible ports of occupied slots.
inline std::string ProjectFault(const Project& p, bool edited = false) {
    for (int32_t k = 0; k < kPortCount; ++k) {
        const int32_t source = p.outputs[k].link, target = p.inputs[k].link;
        const bool empty = p.slots[SlotOfPort(k)].type == kTypeEmpty;
        if ((source != kNone && (!IsPort(source) || p.inputs[source].link != k)) ||
            (target != kNone && (!IsPort(target) || p.outputs[target].link != k)) ||
            p.routes[k] != source ||
            (empty && (p.inputs[k].kind != kPortNone || p.outputs[k].kind != kPortNone)) ||
            (edited && ((empty && (source != kNone || target != kNone)) ||
                        (source != kNone && p.inputs[k].kind == kPortHidden))))
            return "cable, route or port wrong at port " + std::to_string(k);
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
        p.activeSlots[n] != kTerminatorSlot || p.polygonCount < 0 ||
        p.polygonCount > kPolygonCount || p.textCount < 0 || p.textCount > kTextCount ||
        p.commentCount < 0 || p.commentCount > kCommentCount || p.zoom < 1 || p.zoom > 10 ||
        p.cableStyle < 0 || p.cableStyle > 2)
        return "active list end, a count or a view setting wrong";
    return "";
}

} // namespace tw::test
