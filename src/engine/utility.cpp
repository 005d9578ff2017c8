#include "utility.h"

#include "engine/engine.h"

#include <algorithm>

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
    const float a = DirectCell(e, PortIndex(slot, split::kIn));
    float* out = Outputs(e, slot);
    out[split::kOut1] = a;
    out[split::kOut2] = a;
}

void RunParameter(Engine& e, int32_t slot) noexcept {
    ModuleSlot& module = e.project.slots[slot];
    const float value = module.value;
    Outputs(e, slot)[parameter::kOut] = value;
    module.displayValue = value;
}

void RunAmplifier(Engine& e, int32_t slot) noexcept {
    using namespace amplifier;
    const int32_t p = PortIndex(slot, 0);
    DefaultCached(e, p + kLevel, 1.0f);
    e.outputs[p + kOut] = e.inputs[p + kIn] * e.inputs[p + kLevel];
}

void RunCombine(Engine& e, int32_t slot) noexcept {
    using namespace combine;
    const int32_t p = PortIndex(slot, 0);
    // Both reads are direct: an unconnected side adds whatever the shared cell holds.
    const float a = DirectCell(e, p + kIn1);
    const float b = DirectCell(e, p + kIn2);
    e.outputs[p + kOut] = a + b;
}

void RunInverter(Engine& e, int32_t slot) noexcept {
    Outputs(e, slot)[inverter::kOut] = -Inputs(e, slot)[inverter::kIn];
}

void RunVoltMeter(Engine& e, int32_t slot) noexcept {
    const float x = Inputs(e, slot)[volt_meter::kIn];
    e.project.slots[slot].displayValue = x;
    Outputs(e, slot)[volt_meter::kOut] = x;
}

void RunOscilloscope(Engine& e, int32_t slot) noexcept {
    const float x = Inputs(e, slot)[oscilloscope::kIn];
    Outputs(e, slot)[oscilloscope::kOut] = x;
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
    using namespace fixed_values;
    float* out = Outputs(e, slot);
    out[kTen] = 10.0f;
    out[kFive] = 5.0f;
    out[kOne] = 1.0f;
    out[kSemitone] = 0.083f;
    out[kHundredth] = 0.01f;
}

void RunMul(Engine& e, int32_t slot) noexcept {
    using namespace math;
    const float* in = Inputs(e, slot);
    Outputs(e, slot)[kOut] = in[kIn1] * in[kIn2];
}

void RunDiv(Engine& e, int32_t slot) noexcept {
    using namespace math;
    const float* in = Inputs(e, slot);
    // A zero divisor (an unconnected one reads 0) passes the dividend through.
    Outputs(e, slot)[kOut] = in[kIn2] == 0.0f ? in[kIn1] : in[kIn1] / in[kIn2];
}

void RunAdd(Engine& e, int32_t slot) noexcept {
    using namespace math;
    const float* in = Inputs(e, slot);
    Outputs(e, slot)[kOut] = in[kIn1] + in[kIn2];
}

void RunSub(Engine& e, int32_t slot) noexcept {
    using namespace math;
    const float* in = Inputs(e, slot);
    Outputs(e, slot)[kOut] = in[kIn1] - in[kIn2];
}

void RunRescale(Engine& e, int32_t slot) noexcept {
    using namespace rescale;
    const int32_t p = PortIndex(slot, 0);
    DefaultCached(e, p + kHigh, 1.0f);
    DefaultCached(e, p + kLow, 0.0f);
    const float* in = &e.inputs[p];
    e.outputs[p + kOut] = (in[kHigh] - in[kLow]) * in[kIn] + in[kLow];
}

void RunSwitch2In1Out(Engine& e, int32_t slot) noexcept {
    using namespace switch_2in1out;
    const float* in = Inputs(e, slot);
    Outputs(e, slot)[kOut] = in[kSwitch] < 0.5f ? in[kIn1] : in[kIn2];
}

void RunSwitch1In2Out(Engine& e, int32_t slot) noexcept {
    using namespace switch_1in2out;
    const float* in = Inputs(e, slot);
    float* out = Outputs(e, slot);
    if (in[kSwitch] < 0.5f) {
        out[kOut1] = in[kIn];
        out[kOut2] = 0.0f;
    } else {
        out[kOut1] = 0.0f;
        out[kOut2] = in[kIn];
    }
}

void RunSwitch1In4Out(Engine& e, int32_t slot) noexcept {
    using namespace switch_1in4out;
    const float* in = Inputs(e, slot);
    float* out = Outputs(e, slot);
    // Each output follows its On/Off input; only values above 0.5 are on.
    for (int32_t n = 0; n < 4; ++n) out[kOut1 + n] = in[kOn1 + n] > 0.5f ? in[kIn] : 0.0f;
}

void RunPatchbay(Engine& e, int32_t slot) noexcept {
    const float* in = Inputs(e, slot);
    float sum = 0.0f;
    for (int32_t k = 0; k < kPortsPerSlot; ++k) sum += in[k];
    float* out = Outputs(e, slot);
    for (int32_t k = 0; k < kPortsPerSlot; ++k) out[k] = sum;
}

} // namespace tw

namespace tw {

void CachedStream(const Engine& e, const BlockModule& m, int32_t input, uint32_t n, float* into,
                  const float* unconnectedDefault) noexcept {
    const float* view = m.view[input];
    if (view == nullptr && unconnectedDefault != nullptr) {
        std::fill(into, into + n, *unconnectedDefault);
        return;
    }
    into[0] = e.inputs[PortIndex(m.slot, input)];
    if (view == nullptr) {
        std::fill(into + 1, into + n, 0.0f);
    } else {
        std::copy(view, view + n - 1, into + 1);
    }
}

namespace {

const float* DirectStream(const BlockModule& m, int32_t input) noexcept {
    return m.view[input] != nullptr ? m.view[input] : m.cell;
}

} // namespace

void RunSplitBlock(Engine&, const BlockModule& m, uint32_t n) noexcept {
    const float* in = DirectStream(m, split::kIn);
    std::copy(in, in + n, m.out[split::kOut1]);
    std::copy(in, in + n, m.out[split::kOut2]);
}

void RunParameterBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept {
    // Read once for the run: a knob turned meanwhile counts from the next run.
    ModuleSlot& module = e.project.slots[m.slot];
    const float value = module.value;
    std::fill(m.out[parameter::kOut], m.out[parameter::kOut] + n, value);
    module.displayValue = value;
}

void RunFixedValuesBlock(Engine&, const BlockModule& m, uint32_t n) noexcept {
    using namespace fixed_values;
    std::fill(m.out[kTen], m.out[kTen] + n, 10.0f);
    std::fill(m.out[kFive], m.out[kFive] + n, 5.0f);
    std::fill(m.out[kOne], m.out[kOne] + n, 1.0f);
    std::fill(m.out[kSemitone], m.out[kSemitone] + n, 0.083f);
    std::fill(m.out[kHundredth], m.out[kHundredth] + n, 0.01f);
}

void RunCombineBlock(Engine&, const BlockModule& m, uint32_t n) noexcept {
    using namespace combine;
    const float* x = DirectStream(m, kIn1);
    const float* y = DirectStream(m, kIn2);
    float* out = m.out[kOut];
    for (uint32_t f = 0; f < n; ++f) out[f] = x[f] + y[f];
}

void RunAmplifierBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept {
    using namespace amplifier;
    constexpr float kLevelDefault = 1.0f;
    float a[kRunFrames];
    float b[kRunFrames];
    CachedStream(e, m, kIn, n, a);
    CachedStream(e, m, kLevel, n, b, &kLevelDefault);
    float* out = m.out[kOut];
    for (uint32_t f = 0; f < n; ++f) out[f] = a[f] * b[f];
}

void RunInverterBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept {
    float a[kRunFrames];
    CachedStream(e, m, inverter::kIn, n, a);
    float* out = m.out[inverter::kOut];
    for (uint32_t f = 0; f < n; ++f) out[f] = -a[f];
}

namespace {

// The math types: one operation on two cached inputs.
template <typename Operation>
void MathBlock(Engine& e, const BlockModule& m, uint32_t n, Operation operation) noexcept {
    using namespace math;
    float a[kRunFrames];
    float b[kRunFrames];
    CachedStream(e, m, kIn1, n, a);
    CachedStream(e, m, kIn2, n, b);
    float* out = m.out[kOut];
    for (uint32_t f = 0; f < n; ++f) out[f] = operation(a[f], b[f]);
}

} // namespace

void RunMulBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept {
    MathBlock(e, m, n, [](float a, float b) { return a * b; });
}

void RunDivBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept {
    MathBlock(e, m, n, [](float a, float b) { return b == 0.0f ? a : a / b; });
}

void RunAddBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept {
    MathBlock(e, m, n, [](float a, float b) { return a + b; });
}

void RunSubBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept {
    MathBlock(e, m, n, [](float a, float b) { return a - b; });
}

void RunRescaleBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept {
    using namespace rescale;
    constexpr float kHighDefault = 1.0f;
    constexpr float kLowDefault = 0.0f;
    float a[kRunFrames];
    float b[kRunFrames];
    float c[kRunFrames];
    CachedStream(e, m, kIn, n, a);
    CachedStream(e, m, kHigh, n, b, &kHighDefault);
    CachedStream(e, m, kLow, n, c, &kLowDefault);
    float* out = m.out[kOut];
    for (uint32_t f = 0; f < n; ++f) out[f] = (b[f] - c[f]) * a[f] + c[f];
}

} // namespace tw
