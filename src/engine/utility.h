#pragma once

#include "model/limits.h"
#include "model/relaxed.h"

#include <cstdint>

namespace tw {

struct Engine;

// One capture holds 101 consecutive samples; the canvas draws the first 100.
inline constexpr int32_t kScopeLength = 101;

// Oscilloscope capture per slot. The audio thread writes the buffer while the canvas
// reads it. The trigger's last-seen input is the slot's shared lastSeen cell.
struct UtilityState {
    Relaxed<float> scope[kSlotCount][kScopeLength];
    int32_t scopeCount[kSlotCount] = {};
    uint8_t scopeCapturing[kSlotCount] = {};
};

void RunSplit(Engine& e, int32_t slot) noexcept;
void RunParameter(Engine& e, int32_t slot) noexcept;
void RunAmplifier(Engine& e, int32_t slot) noexcept;
void RunCombine(Engine& e, int32_t slot) noexcept;
void RunInverter(Engine& e, int32_t slot) noexcept;
void RunVoltMeter(Engine& e, int32_t slot) noexcept;
void RunOscilloscope(Engine& e, int32_t slot) noexcept;
void RunFixedValues(Engine& e, int32_t slot) noexcept;
void RunMul(Engine& e, int32_t slot) noexcept;
void RunDiv(Engine& e, int32_t slot) noexcept;
void RunAdd(Engine& e, int32_t slot) noexcept;
void RunSub(Engine& e, int32_t slot) noexcept;
void RunRescale(Engine& e, int32_t slot) noexcept;
void RunSwitch2In1Out(Engine& e, int32_t slot) noexcept;
void RunSwitch1In2Out(Engine& e, int32_t slot) noexcept;
void RunSwitch1In4Out(Engine& e, int32_t slot) noexcept;
void RunPatchbay(Engine& e, int32_t slot) noexcept;

} // namespace tw
