#include "project.h"

#include "engine_control.h"
#include "model/checks.h"
#include "model/xorshift.h"
#include "skin_files.h"

#include "text.h"

#include <algorithm>
#include <cstdio>

namespace tw {

namespace {

struct KeyShape {
    int32_t offset;
    int32_t width;
    int32_t height;
};

// One octave of the on-screen keyboard, C first; black keys overlap their neighbours.
constexpr KeyShape kOctave[12] = {{0, 16, 36},  {9, 12, 21},  {16, 16, 36}, {25, 12, 21},
                                  {32, 16, 36}, {48, 16, 36}, {57, 12, 21}, {64, 16, 36},
                                  {73, 12, 21}, {80, 16, 36}, {89, 12, 21}, {96, 16, 36}};

// Every cable is stored in both halves: the output an input names as its source names
// that input back, and the other way round.
[[maybe_unused]] bool CableHalvesAgree(const Project& p) noexcept {
    for (int32_t k = 0; k < kPortCount; ++k) {
        const int32_t source = p.outputs[k].link;
        if (IsPort(source) && p.inputs[source].link != k) return false;
        const int32_t fed = p.inputs[k].link;
        if (IsPort(fed) && p.outputs[fed].link != k) return false;
    }
    return true;
}

// The engine runs every occupied slot once, in slot order, with the slot's type, and
// stops at the terminator.
[[maybe_unused]] bool ActiveListMatchesSlots(const Project& p) noexcept {
    int32_t n = 0;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const int32_t type = p.slots[slot].type;
        if (type == kTypeEmpty) continue;
        if (n >= p.activeCount || p.activeSlots[n] != slot || p.activeTypes[n] != type) {
            return false;
        }
        ++n;
    }
    return n == p.activeCount && p.activeTypes[n] == kTerminatorType &&
           p.activeSlots[n] == kTerminatorSlot;
}

// The engine follows exactly the cables the port table holds, and never an index
// outside it.
[[maybe_unused]] bool RoutesMatchCables(const Project& p) noexcept {
    for (int32_t k = 0; k < kPortCount; ++k) {
        const int32_t source = p.outputs[k].link;
        if (p.routes[k] != (IsPort(source) ? source : kNone)) return false;
    }
    return true;
}

} // namespace

Project::Project() {
    SetDefaultIdentity();
    SetDefaultSkinFileNames();
    ResetPatchNames();
    ResetModuleSlots();
    ResetPorts();
    RebuildRoutes();
    ResetComments();
    ResetPolygons();
    ResetTexts();
    LayoutKeys();
    Relayout();
}

void Project::SetDefaultIdentity() noexcept {
    SetText(pluginName, "Synth");
    SetText(author, "A Writer");
    SetText(versionText, "1000");
    SetText(uniqueId, "DfLt");
    SetText(skinName, "Default");
    targetPlatform = kTarget64Bit;
}

void Project::SetDefaultSkinFileNames() noexcept {
    for (int32_t i = 0; i < kSkinImageCount; ++i)
        SetText(skinImages[i].fileName, kSkinImageFiles[i]);
}

void Project::ResetPatchNames() noexcept {
    for (int32_t p = 0; p < kPatchCount; ++p) {
        std::snprintf(patchNames[p], sizeof patchNames[p], "Patch %d", static_cast<int>(p));
    }
}

void Project::ResetModuleSlots() noexcept {
    const int32_t patch = currentPatch;
    for (ModuleSlot& s : slots) {
        s.type = kTypeEmpty;
        s.anchorX = kOffCanvas;
        s.topY = kOffCanvas;
        s.panelX = kOffCanvas;
        s.panelY = kOffCanvas;
        if (IsPatch(patch)) s.spareValues[patch] = 0;
        // An older file fills only the spare table, so the patch values of the project
        // before it would otherwise come back with its controls and be saved with them.
        for (int32_t& v : s.patchValues) v = 0;
        s.steps = 100;
        s.showLabel = 1;
        s.renderOnBackground = 1;
        s.stepDirection = 1;
        s.helpPage = "about.htm";
        s.midiCc = kNone;
    }
}

void Project::ResetPorts() noexcept {
    for (int32_t k = 0; k < kPortCount; ++k) {
        for (PortRecord* r : {&inputs[k], &outputs[k]}) {
            r->link = kNone;
            r->x = kOffCanvas;
            r->y = kOffCanvas;
            r->label = "";
            r->kind = kPortNone;
        }
    }
}

void Project::ResetComments() noexcept {
    commentCount = 0;
    currentComment = kNone;
    for (CommentRecord& c : comments) {
        c.showBackground = 1;
        c.showBorder = 1;
    }
}

void Project::ResetPolygons() noexcept {
    polygonCount = 0;
    for (PanelPolygon& g : polygons) g = PanelPolygon{};
}

void Project::ResetTexts() noexcept {
    textCount = 0;
    for (PanelText& t : texts) {
        SetText(t.text, " ");
        t.size = 8;
        t.red = t.green = t.blue = 128;
        t.alpha = 255;
    }
}

void Project::LayoutKeys() noexcept {
    baseNote = 24;
    for (int32_t i = 0; i < kKeyCount; ++i) {
        const KeyShape& shape = kOctave[i % 12];
        KeyRecord& key = keys[i];
        key.left = 20 + 112 * (i / 12) + shape.offset;
        key.top = 0;
        key.right = key.left + shape.width;
        key.bottom = key.top + shape.height;
        key.pressed = 0;
    }
}

void Project::ClearCleanMarks() noexcept {
    for (ModuleSlot& s : slots) s.cleanMark = 0;
}

void Project::ResetEditingState() noexcept {
    currentSlot = kNone;
    activeCount = 0;
    snapToGrid = 1;
    lockEdit = 0;
    clipboardType = kNone;
    guiEditMode = 0;
    polygonCount = 0;
    viewOriginX = 0;
    viewOriginY = 0;
    currentPatch = 0;
    ResetInstrument();
    ResetPatchNames();
}

void Project::RecomputeParameterValue(int32_t slot) noexcept {
    if (!IsSlot(slot)) return;
    ModuleSlot& s = slots[slot];
    if (s.type != kTypeParameter) return;
    // An image that is not loaded has no frames: the control keeps the steps it had
    // rather than taking -1 from it.
    if (s.imageType >= 0 && s.imageType < kSkinImageCount) {
        const int32_t frames = skinImages[s.imageType].frames;
        if (frames > 0) s.steps = frames - 1;
    }
    if (s.steps <= 0) {
        // A single-frame control has nowhere to move: its value is 0, never step / 0.
        s.value = 0.0f;
        return;
    }
    const int32_t patch = currentPatch;
    // A step beyond the image's last frame (a file, a copied patch or another skin put it
    // there) plays as that frame, as the panel shows it: the engine never gets more than 1.
    const int32_t step = IsPatch(patch) ? std::clamp(s.patchValues[patch], 0, s.steps) : 0;
    s.value = StepValue(step, s.steps);
}

float StepValue(int32_t step, int32_t steps) noexcept {
    if (steps <= 0) return 0.0f;
    // The reciprocal is rounded to float before the product, which is formed in double:
    // stored projects and plugins depend on exactly these values.
    const float r = static_cast<float>(1.0 / static_cast<double>(steps));
    return static_cast<float>(static_cast<double>(step) * static_cast<double>(r));
}

void Project::RecomputeParameterValues() noexcept {
    for (int32_t slot = 0; slot < kSlotCount; ++slot) RecomputeParameterValue(slot);
}

void Project::RebuildActiveList() noexcept {
    // The audio thread may be walking the list: the count drops to 0 first and then
    // follows the entries as they are written, so every entry below the count it reads
    // is a whole (type, slot) pair from the old or the new list.
    activeCount = 0;
    int32_t n = 0;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const int32_t type = slots[slot].type;
        if (type == kTypeEmpty) continue;
        activeTypes[n] = type;
        activeSlots[n] = slot;
        ++n;
        activeCount = n;
    }
    activeTypes[n] = kTerminatorType;
    activeSlots[n] = kTerminatorSlot;
    tableGeneration.fetch_add(1, std::memory_order_release);
    TW_ASSERT(ActiveListMatchesSlots(*this));
}

bool Project::LinkCable(int32_t input, int32_t output) noexcept {
    if (!IsPort(input) || !IsPort(output)) return false;
    const int32_t oldSource = outputs[input].link;
    if (IsPort(oldSource) && inputs[oldSource].link == input) inputs[oldSource].link = kNone;
    const int32_t oldTarget = inputs[output].link;
    if (IsPort(oldTarget) && outputs[oldTarget].link == output) outputs[oldTarget].link = kNone;
    outputs[input].link = output;
    inputs[output].link = input;
    return true;
}

void Project::RebuildRoutes() noexcept {
    for (int32_t k = 0; k < kPortCount; ++k) {
        const int32_t source = outputs[k].link;
        // Only a valid port index or -1 may reach the engine.
        routes[k] = IsPort(source) ? source : kNone;
    }
    // Every operation that links or unlinks a cable ends here, so this is where a half
    // left behind shows.
    TW_ASSERT(CableHalvesAgree(*this));
    TW_ASSERT(RoutesMatchCables(*this));
    RebuildActiveList();
}

uint32_t Project::NextEditRandom() noexcept {
    return NextXorShift(editRandomState);
}

void FullReset(Project& project, EngineControl& engine) {
    project.ResetEditingState();
    project.ResetComments();
    engine.ResetDspState();
    project.ResetModuleSlots();
    project.ResetPorts();
    project.RebuildActiveList();
    project.RebuildRoutes();
    project.ClearSelection();
    project.ResetPolygons();
    project.ResetTexts();
    project.LayoutKeys();
    project.ClearCleanMarks();
}

} // namespace tw
