// The PolyWave pad: notes visited only while their gates stand still, and the table
// rebuilt only when Wave or Density really change.
#include "engine/polywave.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
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
    PolyWaveState& S() { return rig.E().onceOnly->polywave; }
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

    // Both moving on one frame: the table and the generator come out as two rebuilds
    // one after the other leave them.
    EngineRig reference;
    reference.E().random = a.rig.E().random;
    RebuildWavetable(reference.E(), 0.8f, 0.3f);
    RebuildWavetable(reference.E(), 0.8f, 0.3f);
    a.rig.Set(a.wave, 0.8f);
    a.rig.Set(a.density, 0.3f);
    a.rig.Step();
    EXPECT_EQ(a.rig.E().random.state, reference.E().random.state);
    EXPECT_TRUE(std::equal(a.S().wavetable, a.S().wavetable + kWaveTableSize,
                           reference.E().onceOnly->polywave.wavetable));
}

// FNV-1a over the bits of every wavetable value.
uint64_t HashTable(const float* table, uint64_t hash) {
    for (int32_t i = 0; i < kWaveTableSize; ++i) {
        const uint32_t bits = std::bit_cast<uint32_t>(table[i]);
        for (int32_t b = 0; b < 32; b += 8)
            hash = (hash ^ ((bits >> b) & 0xFFu)) * 0x100000001B3ull;
    }
    return hash;
}

// The wavetable comes out bit for bit as the straightforward rebuild made it, so earlier
// plugins and renders sound the same. Each row sweeps Density for one Wave value from its
// own seed, across every band and amplitude boundary and beyond.
TEST(PolyWave, RebuildKeepsTheTableBitForBitOverWaveAndDensity) {
    const float nan = std::nanf("");
    const float densities[] = {-1.0f, 0.0f, 0.2f,  0.2499f, 0.25f, 0.4f,
                               0.5f,  0.7f, 0.75f, 1.0f,    nan};
    struct Row {
        float wave;
        uint64_t hash;
    };
    const Row rows[] = {
        {-1.0f, 0xCE5788E80414516Full},   {0.0f, 0xE45674983CF407C5ull},
        {0.1f, 0x0233EB7C58D1A110ull},    {0.2499f, 0xB786B07724E1E7F0ull},
        {0.25f, 0x8377A60706637138ull},   {0.3f, 0x849D614EA5EE5D06ull},
        {0.4999f, 0x2DCBE514930C3B6Eull}, {0.5f, 0x00EFB5B5D697AF57ull},
        {0.6f, 0x703809AF5A87491Cull},    {0.7499f, 0xD935909AEBA41CF5ull},
        {0.75f, 0x66B95181204A5B84ull},   {0.9f, 0x0EECFB0FE62E732Cull},
        {1.0f, 0x1D8539FDD8074B75ull},    {2.0f, 0xD3139BBFF4717AF8ull},
        {nan, 0x1FF3AF1DF90EEB13ull},
    };
    EngineRig rig;
    // The processor's vectors, then the portable path.
    for (bool wide : {true, false}) {
        UseWideVectors(wide);
        uint32_t seed = 1;
        for (const Row& row : rows) {
            rig.E().random.Seed(seed++);
            uint64_t hash = 0xCBF29CE484222325ull;
            for (float density : densities) {
                RebuildWavetable(rig.E(), row.wave, density);
                hash = HashTable(rig.E().onceOnly->polywave.wavetable, hash);
            }
            EXPECT_EQ(hash, row.hash) << "wave " << row.wave << " wide " << wide;
        }
    }
    UseWideVectors(true);
}

} // namespace
} // namespace tw::test
