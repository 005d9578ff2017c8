// Panel controls moved by MIDI controllers: the bindings and what a Control Change does.
#include "project.h"

#include <algorithm>
#include <cstdint>

namespace tw {

namespace {

bool IsController(int32_t cc) noexcept {
    return cc >= 0 && cc < kControllerCount;
}

} // namespace

bool Project::BindMidiCc(int32_t slot, int32_t cc) noexcept {
    if (!IsSlot(slot) || slots[slot].type != kTypeParameter || !IsController(cc)) return false;
    for (ModuleSlot& s : slots) {
        if (s.midiCc == cc) s.midiCc = kNone;
    }
    slots[slot].midiCc = cc;
    return true;
}

bool Project::ForgetMidiCc(int32_t slot) noexcept {
    if (!IsSlot(slot) || slots[slot].midiCc == kNone) return false;
    slots[slot].midiCc = kNone;
    return true;
}

int32_t Project::KnobSteps(int32_t slot) const noexcept {
    const ModuleSlot& s = slots[slot];
    if (s.imageType >= 0 && s.imageType < kSkinImageCount && skinImages[s.imageType].frames > 0)
        return skinImages[s.imageType].frames - 1;
    return std::max(s.steps, 0);
}

int32_t ControllerStep(int32_t value, int32_t steps) noexcept {
    // In integers: 127 is odd, so the quotient never ends in exactly one half. A step
    // count from a file may be huge: the product is formed in 64 bits.
    return static_cast<int32_t>((int64_t{2} * value * std::max(steps, 0) + 127) / 254);
}

bool Project::ApplyControlChange(int32_t cc, int32_t value) noexcept {
    const int32_t patch = currentPatch;
    if (!IsController(cc) || value < 0 || value > 127 || !IsPatch(patch)) return false;
    bool moved = false;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        ModuleSlot& s = slots[slot];
        if (s.type != kTypeParameter || s.midiCc != cc) continue;
        s.patchValues[patch] = ControllerStep(value, KnobSteps(slot));
        RecomputeParameterValue(slot);
        moved = true;
    }
    return moved;
}

} // namespace tw
