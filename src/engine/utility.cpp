#include "utility.h"

#include "engine/engine.h"

namespace tw {

void RunSplit(Engine&, int32_t) noexcept {}

void RunParameter(Engine&, int32_t) noexcept {}

void RunAmplifier(Engine&, int32_t) noexcept {}

void RunCombine(Engine&, int32_t) noexcept {}

void RunInverter(Engine&, int32_t) noexcept {}

void RunVoltMeter(Engine&, int32_t) noexcept {}

void RunOscilloscope(Engine&, int32_t) noexcept {}

void RunFixedValues(Engine&, int32_t) noexcept {}

void RunMul(Engine&, int32_t) noexcept {}

void RunDiv(Engine&, int32_t) noexcept {}

void RunAdd(Engine&, int32_t) noexcept {}

void RunSub(Engine&, int32_t) noexcept {}

void RunRescale(Engine&, int32_t) noexcept {}

void RunSwitch2In1Out(Engine&, int32_t) noexcept {}

void RunSwitch1In2Out(Engine&, int32_t) noexcept {}

void RunSwitch1In4Out(Engine&, int32_t) noexcept {}

void RunPatchbay(Engine&, int32_t) noexcept {}

} // namespace tw
