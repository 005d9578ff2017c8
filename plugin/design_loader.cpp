#include "plugin/design_loader.h"

#include "model/instrument.h"
#include "model/text.h"

#include <algorithm>

namespace tw::plugin {

void LoadDesign(const ManifestDesign& design, Project& project) noexcept {
    for (const ManifestModule& m : design.modules) {
        if (!IsSlot(m.slot)) continue;
        project.slots[m.slot].type = m.type;
        project.PlaceModule(m.slot, 0, 0);
    }
    // Cables are taken as the editor holds them, not re-judged by the canvas's rules.
    for (const ManifestCable& c : design.cables) project.LinkCable(c.input, c.output);
    for (const ManifestParameter& param : design.parameters) {
        if (!IsSlot(param.slot)) continue;
        ModuleSlot& s = project.slots[param.slot];
        SetText(s.name, param.name);
        s.imageType = param.imageType;
        s.panelX = param.panelX;
        s.panelY = param.panelY;
        s.controlSize = param.controlSize;
        s.mouseResponse = param.mouseResponse;
        s.showLabel = param.showLabel != 0 ? 1 : 0;
        s.steps = param.steps;
        std::copy(param.patchValues.begin(), param.patchValues.end(), s.patchValues);
        s.patchValues[0] = param.startValue;
        s.midiCc = param.midiCc;
    }
    ApplyInstrument(project, design.instrument);
    project.currentPatch = 0;
    project.RebuildActiveList();
    project.RebuildRoutes();
    project.RelayoutPatchbays();
    // No skin is loaded here, so every Parameter keeps the step count its manifest gives.
    project.RecomputeParameterValues();
    project.CountModules();
}

void SetParameterStep(Project& project, int32_t slot, int32_t step) noexcept {
    if (!IsSlot(slot) || project.slots[slot].type != kTypeParameter) return;
    const int32_t patch = project.currentPatch;
    if (!IsPatch(patch)) return;
    project.slots[slot].patchValues[patch] = step;
    project.RecomputeParameterValue(slot);
}

} // namespace tw::plugin
