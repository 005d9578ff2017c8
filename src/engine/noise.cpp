#include "noise.h"

#include "engine/engine.h"

namespace tw {

float NextWhite(Engine& e) noexcept {
    return static_cast<float>(e.random.Next() % 1000u) * 0.001f - 0.5f;
}

void RunNoise(Engine& e, int32_t slot) noexcept {
    const int32_t p = PortIndex(slot, 0);
    NoiseState& s = e.noise;
    const float white = NextWhite(e);
    s.b0 = s.b0 * 0.99765f + white * 0.0990460f;
    s.b1 = s.b1 * 0.963f + white * 0.2965164f;
    s.b2 = s.b2 * 0.57f + white * 1.0526913f;
    e.outputs[p + noise::kWhite] = white;
    e.outputs[p + noise::kPink] = (s.b0 + s.b1 + s.b2 + white * 0.1848f) * 0.25f;
}

// A noise source for trying out the engine; its inputs and other outputs are unused.
void RunTestModule(Engine& e, int32_t slot) noexcept {
    e.outputs[PortIndex(slot, test_module::kOut1)] = NextWhite(e);
}

} // namespace tw
