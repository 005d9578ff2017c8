// Controls far out of range, NaN and infinity: modules turning a control into an index, a
// length or a rate stay inside their tables, and no NaN sticks once the control is sane.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tw::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct GuardCase {
    const char* name;
    int32_t type;
    std::vector<float> inputs; // a knob on every input position
    int32_t port;              // the input that takes the values below in turn
    std::vector<float> values;
    float bound; // every output stays finite and within +-bound
};

const GuardCase kCases[] = {
    GuardCase("Oscillator pulse width", kTypeOscillator, {0.9f, 4.0f, 0.0f, 0.3f}, 3,
              {-1.7f, 3.9f, 1e20f, -1e20f, kNaN, kInf, -kInf}, 2.0f),
    GuardCase("Oscillator pitch", kTypeOscillator, {0.9f, 4.0f, 0.0f, 0.3f}, 1,
              {kNaN, kInf, -kInf, 1e30f, -1e30f}, 2.0f),
    GuardCase("Lfo rate", kTypeLfo, {0.6f, 0.5f, 1.0f, 1.0f}, 1, {kNaN, kInf, 1e9f, -3.0f}, 1.0f),
    GuardCase("Delay time", kTypeDelay, {0.5f, 0.3f, 0.5f, 1.0f}, 1,
              {kNaN, kInf, -kInf, 1e9f, 2.0f, 1.0002f, -1.0f}, 2.0f),
    GuardCase("All Pass coefficient", kTypeAllPass, {1.0f, 0.5f}, 1, {kNaN, 40.0f, -3.0f, kInf},
              200.0f),
    GuardCase("Formant control", kTypeFormant, {0.5f, 0.5f}, 1, {kNaN, kInf, -kInf, 7.0f, -2.0f},
              100.0f),
    // Times that index the time table, and a gate that releases from level 0.
    GuardCase("ADSR gate with wild times", kTypeAdsr, {1.0f, kNaN, kInf, 0.5f, -kInf}, 0,
              {0.0f, -1.0f, 0.0f, 1.0f, kNaN, 0.0f}, 1.0f),
    GuardCase("PolyWave attack", kTypePolyWave, {0.6f, 0.01f, 0.01f, 0.5f, 0.01f, 0.5f}, 1,
              {kNaN, kInf, -kInf}, 2.0f),
    GuardCase("PolyWave release", kTypePolyWave, {0.6f, 0.01f, 0.01f, 0.5f, 0.01f, 0.5f}, 4,
              {kNaN, -1.0f}, 2.0f),
};

TEST(Guards, ExtremeControlsKeepOutputsFiniteAndBounded) {
    for (const GuardCase& c : kCases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        std::vector<int32_t> knobs;
        for (float v : c.inputs) knobs.push_back(rig.Knob(v));
        const int32_t module = rig.Add(c.type);
        for (int32_t k = 0; k < static_cast<int32_t>(knobs.size()); ++k) {
            ASSERT_TRUE(rig.Wire(knobs[k], 0, module, k));
        }
        rig.NoteOn(60);
        std::vector<float> values = c.values;
        values.push_back(c.inputs[c.port]); // back to a sane value: nothing may stick
        for (float v : values) {
            rig.Set(knobs[c.port], v);
            for (int32_t frame = 0; frame < 300; ++frame) {
                // A release half-way through: the PolyWave's release segment runs too.
                if (frame == 150) rig.NoteOff(60);
                if (frame == 200) rig.NoteOn(60);
                rig.Step();
                for (int32_t k = 0; k < kPortsPerSlot; ++k) {
                    const float x = rig.Out(module, k);
                    ASSERT_TRUE(std::isfinite(x) && std::fabs(x) <= c.bound)
                        << "value " << v << ", frame " << frame << ", output " << k << ": " << x;
                }
            }
        }
    }
}

// The phase cell is shared by whichever type held the slot; an Oscillator reads any value
// left there inside its table.
TEST(Guards, AForeignPhaseInTheSharedCellIsReadInsideTheTable) {
    EngineRig rig;
    const int32_t osc = rig.Add(kTypeOscillator);
    for (float phase : {-50.0f, -1e-3f, 7.5f, 1.0e12f, kNaN, -kInf}) {
        rig.E().cells.phase[osc] = phase;
        rig.Step();
        EXPECT_LE(std::fabs(rig.Out(osc, 0)), 1.0f) << phase;
    }
}

} // namespace
} // namespace tw::test
