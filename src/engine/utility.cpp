#include "utility.h"

#include "engine/engine.h"

namespace tw {

namespace {

inline float* Outputs(Engine& e, int32_t slot) noexcept {
    return &e.outputs[PortIndex(slot, 0)];
}
inline float* Inputs(Engine& e, int32_t slot) noexcept {
    return &e.inputs[PortIndex(slot, 0)];
}

} // namespace

void RunSplit(Engine& e, int32_t slot) noexcept {
    const float a = DirectCell(e, PortIndex(slot, 0));
    float* out = Outputs(e, slot);
    out[0] = a;
    out[1] = a;
}

void RunParameter(Engine& e, int32_t slot) noexcept {
    ModuleSlot& module = e.project.slots[slot];
    const float value = module.value;
    Outputs(e, slot)[0] = value;
    module.displayValue = value;
}

void RunAmplifier(Engine& e, int32_t slot) noexcept {
    const int32_t p = PortIndex(slot, 0);
    DefaultCached(e, p + 1, 1.0f);
    e.outputs[p] = e.inputs[p] * e.inputs[p + 1];
}

void RunCombine(Engine& e, int32_t slot) noexcept {
    const int32_t p = PortIndex(slot, 0);
    // Both reads are direct: an unconnected side adds whatever the shared cell holds.
    const float a = DirectCell(e, p + 0);
    const float b = DirectCell(e, p + 1);
    e.outputs[p] = a + b;
}

void RunInverter(Engine& e, int32_t slot) noexcept {
    Outputs(e, slot)[0] = -Inputs(e, slot)[0];
}

void RunVoltMeter(Engine& e, int32_t slot) noexcept {
    const float x = Inputs(e, slot)[0];
    e.project.slots[slot].displayValue = x;
    Outputs(e, slot)[0] = x;
}

void RunOscilloscope(Engine& e, int32_t slot) noexcept {
    const float x = Inputs(e, slot)[0];
    Outputs(e, slot)[0] = x;
    UtilityState& u = e.utility;
    float& lastSeen = e.cells.lastSeen[slot];
    // A rising zero crossing starts a capture (or changes nothing during one).
    if (x >= 0.0f && lastSeen < 0.0f) u.scopeCapturing[slot] = 1;
    lastSeen = x;
    if (u.scopeCapturing[slot] == 0) return;
    int32_t& count = u.scopeCount[slot];
    // The count never leaves 0..100, so the store stays inside the buffer.
    const int32_t at = count >= 0 && count < kScopeLength ? count : 0;
    u.scope[slot][at] = x;
    count = at + 1;
    if (at >= kScopeLength - 1) {
        count = 0;
        u.scopeCapturing[slot] = 0;
    }
}

void RunFixedValues(Engine& e, int32_t slot) noexcept {
    float* out = Outputs(e, slot);
    out[0] = 10.0f;
    out[1] = 5.0f;
    out[2] = 1.0f;
    out[3] = 0.083f;
    out[4] = 0.01f;
}

void RunMul(Engine& e, int32_t slot) noexcept {
    const float* in = Inputs(e, slot);
    Outputs(e, slot)[0] = in[0] * in[1];
}

void RunDiv(Engine& e, int32_t slot) noexcept {
    const float* in = Inputs(e, slot);
    // A zero divisor (an unconnected one reads 0) passes the dividend through.
    Outputs(e, slot)[0] = in[1] == 0.0f ? in[0] : in[0] / in[1];
}

void RunAdd(Engine& e, int32_t slot) noexcept {
    const float* in = Inputs(e, slot);
    Outputs(e, slot)[0] = in[0] + in[1];
}

void RunSub(Engine& e, int32_t slot) noexcept {
    const float* in = Inputs(e, slot);
    Outputs(e, slot)[0] = in[0] - in[1];
}

void RunRescale(Engine& e, int32_t slot) noexcept {
    const int32_t p = PortIndex(slot, 0);
    DefaultCached(e, p + 1, 1.0f);
    DefaultCached(e, p + 2, 0.0f);
    const float* in = &e.inputs[p];
    e.outputs[p] = (in[1] - in[2]) * in[0] + in[2];
}

void RunSwitch2In1Out(Engine& e, int32_t slot) noexcept {
    const float* in = Inputs(e, slot);
    Outputs(e, slot)[0] = in[0] < 0.5f ? in[1] : in[2];
}

void RunSwitch1In2Out(Engine& e, int32_t slot) noexcept {
    const float* in = Inputs(e, slot);
    float* out = Outputs(e, slot);
    if (in[0] < 0.5f) {
        out[0] = in[1];
        out[1] = 0.0f;
    } else {
        out[0] = 0.0f;
        out[1] = in[1];
    }
}

void RunSwitch1In4Out(Engine& e, int32_t slot) noexcept {
    const float* in = Inputs(e, slot);
    float* out = Outputs(e, slot);
    // Outputs 1..4 follow On/Off inputs 1..4; only values above 0.5 are on.
    for (int32_t k = 1; k <= 4; ++k) out[k] = in[k] > 0.5f ? in[0] : 0.0f;
}

void RunPatchbay(Engine& e, int32_t slot) noexcept {
    const float* in = Inputs(e, slot);
    float sum = 0.0f;
    for (int32_t k = 0; k < kPortsPerSlot; ++k) sum += in[k];
    float* out = Outputs(e, slot);
    for (int32_t k = 0; k < kPortsPerSlot; ++k) out[k] = sum;
}

} // namespace tw
