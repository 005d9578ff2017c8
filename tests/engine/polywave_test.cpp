// The PolyWave pad: notes visited only while their gates stand still, and the table
// rebuilt only when Wave or Density really change.
#include "engine/polywave.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tw::test {
namespace {

// A PolyWave with all six controls on knobs.
struct PadRig {
    EngineRig rig;
    int32_t wave, density, pad;
    PadRig(float w, float dens) {
        wave = rig.Knob(w);
        const int32_t envelope[] = {rig.Knob(0.0f), rig.Knob(0.0f), rig.Knob(1.0f), rig.Knob(0.0f)};
        density = rig.Knob(dens);
        pad = rig.Add(kTypePolyWave);
        EXPECT_TRUE(rig.Wire(wave, 0, pad, 0));
        for (int32_t k = 0; k < 4; ++k) EXPECT_TRUE(rig.Wire(envelope[k], 0, pad, k + 1));
        EXPECT_TRUE(rig.Wire(density, 0, pad, 5));
    }
    PolyWaveState& S() { return rig.E().polywave; }
    void Run(int32_t frames) {
        for (int32_t i = 0; i < frames; ++i) rig.Step();
    }
};

// Between note events only the sounding notes are visited; these are the moments where
// a note must still be picked up or let go.
TEST(PolyWave, NotesStartAndStopAfterLongQuietOrSteadySpellsAndAcrossAReset) {
    PadRig a(0.6f, 0.5f);
    a.Run(1000);
    a.rig.NoteOn(60);
    a.rig.NoteOn(72);
    a.rig.Step();
    EXPECT_EQ(a.S().active[60], 1);
    a.Run(2000);
    EXPECT_EQ(a.S().stage[72], kPadSustain);
    // A note released after a steady spell finishes; the other keeps sounding.
    a.rig.NoteOff(72);
    a.Run(1000);
    EXPECT_EQ(a.S().active[72], 0);
    EXPECT_EQ(a.S().level[60], 1.0f);
    EXPECT_NE(a.rig.Out(a.pad, 0), 0.0f);

    // The DSP reset lets the key go with everything else: pressed again, it starts again.
    a.rig.E().ResetDspState();
    a.rig.Step();
    EXPECT_EQ(a.S().active[60], 0);
    a.rig.NoteOn(60);
    a.rig.Step();
    EXPECT_EQ(a.S().active[60], 1);
    EXPECT_EQ(a.S().stage[60], kPadAttack);
}

// A rebuild draws random phases, so the generator's state tells whether one ran.
TEST(PolyWave, OnlyARealChangeOfWaveOrDensityRebuildsAndAStuckNaNRebuildsOnce) {
    PadRig a(0.3f, 0.1f);
    a.rig.Step();
    const std::vector<float> first(a.S().wavetable, a.S().wavetable + kWaveTableSize);
    a.rig.Set(a.density, 0.9f);
    a.rig.Step();
    EXPECT_NE(std::vector<float>(a.S().wavetable, a.S().wavetable + kWaveTableSize), first);
    const uint32_t state = a.rig.E().random.state;
    a.Run(5);
    EXPECT_EQ(a.rig.E().random.state, state);
    a.rig.Set(a.wave, std::nanf(""));
    a.rig.Step();
    const uint32_t afterNaN = a.rig.E().random.state;
    EXPECT_NE(afterNaN, state);
    a.Run(5);
    EXPECT_EQ(a.rig.E().random.state, afterNaN);
    for (int32_t i = 0; i < kWaveTableSize; ++i) ASSERT_TRUE(std::isfinite(a.S().wavetable[i]));
}

} // namespace
} // namespace tw::test
