// The PolyWave pad: the transform, the wavetable rebuild and the 73-note render.
#include "engine/polywave.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace tw::test {
namespace {

// A PolyWave with all six controls on knobs.
struct PadRig {
    EngineRig rig;
    int32_t wave, attack, decay, sustain, release, density, pad;
    PadRig(float w, float a, float d, float s, float r, float dens) {
        wave = rig.Knob(w);
        attack = rig.Knob(a);
        decay = rig.Knob(d);
        sustain = rig.Knob(s);
        release = rig.Knob(r);
        density = rig.Knob(dens);
        pad = rig.Add(kTypePolyWave);
        const int32_t sources[] = {wave, attack, decay, sustain, release, density};
        for (int32_t k = 0; k < 6; ++k) EXPECT_TRUE(rig.Wire(sources[k], 0, pad, k));
    }
    PolyWaveState& S() { return rig.E().polywave; }
    float L() const { return rig.Out(pad, 0); }
    float R() const { return rig.Out(pad, 1); }
    float Status() const { return rig.Out(pad, 2); }
};

// Magnitude of one bin of the table's discrete Fourier transform.
double BinMagnitude(const float* table, int32_t bin) {
    std::complex<double> sum = 0.0;
    const double w = -2.0 * M_PI * bin / kWaveTableSize;
    for (int32_t n = 0; n < kWaveTableSize; ++n)
        sum += static_cast<double>(table[n]) * std::polar(1.0, w * n);
    return std::abs(sum);
}

TEST(InverseFft, MatchesADirectSumWithPositiveExponent) {
    constexpr int32_t kSize = 64;
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    float re[kSize];
    float im[kSize];
    std::vector<std::complex<double>> x(kSize);
    for (int32_t i = 0; i < kSize; ++i) {
        re[i] = dist(gen);
        im[i] = dist(gen);
        x[i] = {re[i], im[i]};
    }
    InverseFft(re, im, kSize);
    for (int32_t k = 0; k < kSize; ++k) {
        std::complex<double> sum = 0.0;
        for (int32_t n = 0; n < kSize; ++n)
            sum += x[n] * std::polar(1.0, 2.0 * M_PI * k * n / kSize);
        EXPECT_NEAR(re[k], sum.real(), 1e-4) << k;
        EXPECT_NEAR(im[k], sum.imag(), 1e-4) << k;
    }
}

TEST(PolyWave, ControlsAtZeroFromTheStartNeverBuildATableAndStaySilent) {
    EngineRig rig;
    const int32_t pad = rig.Add(kTypePolyWave);
    const uint32_t seed = rig.E().random.state;
    rig.NoteOn(69);
    for (int32_t i = 0; i < 2000; ++i) {
        rig.Step();
        ASSERT_EQ(rig.Out(pad, 0), 0.0f);
    }
    EXPECT_EQ(rig.E().random.state, seed);
}

TEST(PolyWave, RebuildNormalisesThePeakToOneAndPlacesTheHarmonics) {
    PadRig a(0.3f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    a.rig.Step();
    const float* t = a.S().wavetable;
    float peak = -1.0f;
    for (int32_t i = 0; i < kWaveTableSize; ++i) {
        ASSERT_TRUE(std::isfinite(t[i]));
        peak = std::max(peak, t[i]);
    }
    EXPECT_EQ(peak, 1.0f);
    // Wave 0.3 holds harmonics 1, 4 and 7 of 440 Hz at 44100: bins near 654, 2615, 4577.
    const int32_t fundamental = static_cast<int32_t>(std::lround(440.0 / 44100.0 * kWaveTableSize));
    const double h1 = BinMagnitude(t, fundamental);
    const double h2 = BinMagnitude(t, 2 * fundamental);
    const double h4 = BinMagnitude(t, 4 * fundamental);
    EXPECT_GT(h1, 100.0 * h2);
    EXPECT_GT(h4, 100.0 * h2);
    EXPECT_GT(h1, h4);
}

TEST(PolyWave, WaveChoosesTheHarmonicSet) {
    auto amplitudes = [](float wave) {
        PadRig a(wave, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
        a.rig.Step();
        return std::vector<float>(a.S().amplitudes, a.S().amplitudes + kWaveHarmonics);
    };
    EXPECT_EQ(amplitudes(0.1f), (std::vector<float>{0, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(amplitudes(0.3f), (std::vector<float>{0, 0.5f, 0, 0, 0.25f, 0, 0, 0.125f, 0, 0}));
    const std::vector<float> all = amplitudes(0.6f);
    EXPECT_EQ(all[1], 0.5f);
    EXPECT_EQ(all[2], 0.5f * 0.9f);
    EXPECT_EQ(all[9], all[8] * 0.9f);
    const std::vector<float> odd = amplitudes(0.9f);
    EXPECT_EQ(odd[2], 0.0f);
    EXPECT_EQ(odd[3], 0.5f * 0.9f);
    EXPECT_GT(odd[9], 0.0f);
}

TEST(PolyWave, EveryChangeOfWaveOrDensityRebuildsAndNaNDoesNotRebuildForEver) {
    PadRig a(0.3f, 0.0f, 0.0f, 1.0f, 0.0f, 0.1f);
    a.rig.Step();
    const std::vector<float> first(a.S().wavetable, a.S().wavetable + kWaveTableSize);
    a.rig.Set(a.density, 0.9f);
    a.rig.Step();
    EXPECT_NE(std::vector<float>(a.S().wavetable, a.S().wavetable + kWaveTableSize), first);
    // No change, no rebuild: the generator is untouched.
    const uint32_t state = a.rig.E().random.state;
    a.rig.Step();
    EXPECT_EQ(a.rig.E().random.state, state);
    a.rig.Set(a.wave, std::nanf(""));
    a.rig.Step();
    const uint32_t afterNaN = a.rig.E().random.state;
    EXPECT_NE(afterNaN, state);
    for (int32_t i = 0; i < 5; ++i) a.rig.Step();
    EXPECT_EQ(a.rig.E().random.state, afterNaN);
    for (int32_t i = 0; i < kWaveTableSize; ++i) ASSERT_TRUE(std::isfinite(a.S().wavetable[i]));
}

TEST(PolyWave, PlaysNotes24To96AndIgnoresTheRest) {
    for (int32_t note : {23, 24, 69, 96, 97}) {
        PadRig a(0.6f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f);
        a.rig.NoteOn(note);
        float energy = 0.0f;
        for (int32_t i = 0; i < 4000; ++i) {
            a.rig.Step();
            energy += std::fabs(a.L()) + std::fabs(a.R());
        }
        const bool playable = note >= 24 && note <= 96;
        EXPECT_EQ(energy > 0.0f, playable) << note;
        EXPECT_EQ(a.S().active[note] != 0, playable) << note;
    }
    PadRig b(0.6f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f);
    b.rig.NoteOn(24);
    b.rig.NoteOn(69);
    b.rig.Step();
    EXPECT_NEAR(b.S().step[24], 32.70f * 100.0f / 44100.0f, 1e-4f);
    EXPECT_NEAR(b.S().step[69], 440.0f * 100.0f / 44100.0f, 1e-5f);
    // Forwards on the left, backwards on the right.
    EXPECT_NEAR(b.S().forward[69], b.S().step[69], 1e-5f);
    EXPECT_NEAR(b.S().backward[69], 65535.0f - b.S().step[69], 0.01f);
}

TEST(PolyWave, LinearEnvelopeTakesFourTimesTheControlInSeconds) {
    PadRig a(0.6f, 0.1f, 0.1f, 0.5f, 0.2f, 0.5f);
    a.rig.Step();
    a.rig.NoteOn(60);
    int32_t frames = 0;
    while (a.S().stage[60] == kPadAttack || frames == 0) {
        a.rig.Step();
        ++frames;
        ASSERT_LT(frames, 100000);
    }
    EXPECT_NEAR(frames, 4 * 0.1 * 44100, 2);
    frames = 0;
    while (a.S().stage[60] == kPadDecay) {
        a.rig.Step();
        ++frames;
    }
    EXPECT_NEAR(frames, 4 * 0.1 * 0.5 * 44100, 2);
    a.rig.Step();
    EXPECT_EQ(a.S().level[60], 0.5f);
    a.rig.NoteOff(60);
    frames = 0;
    while (a.S().stage[60] != kPadIdle) {
        a.rig.Step();
        ++frames;
        ASSERT_LT(frames, 100000);
    }
    // Single-precision steps drift by a few frames over the segment.
    EXPECT_NEAR(frames, 4 * 0.2 * 0.5 * 44100, 5);
    a.rig.Step();
    EXPECT_EQ(a.S().active[60], 0);
    EXPECT_EQ(a.S().level[60], 0.0f);
}

TEST(PolyWave, ReleaseDuringAttackStartsFromTheLevelReached) {
    PadRig a(0.6f, 0.5f, 0.1f, 0.5f, 0.1f, 0.5f);
    a.rig.Step();
    a.rig.NoteOn(60);
    for (int32_t i = 0; i < 10000; ++i) a.rig.Step();
    const float reached = a.S().level[60];
    ASSERT_GT(reached, 0.05f);
    ASSERT_LT(reached, 1.0f);
    a.rig.NoteOff(60);
    a.rig.Step();
    EXPECT_EQ(a.S().stage[60], kPadRelease);
    EXPECT_NEAR(a.S().level[60], reached, 0.001f);
    // A retrigger during the release climbs again from the level reached.
    for (int32_t i = 0; i < 1000; ++i) a.rig.Step();
    const float falling = a.S().level[60];
    a.rig.NoteOn(60);
    a.rig.Step();
    EXPECT_EQ(a.S().stage[60], kPadAttack);
    EXPECT_GT(a.S().level[60], falling);
    EXPECT_NEAR(a.S().level[60], falling, 0.001f);
}

TEST(PolyWave, HeldNotesAddUpAndStatusFallsAfterTheRelease) {
    PadRig one(0.6f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f);
    PadRig chord(0.6f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f);
    one.rig.NoteOn(60);
    for (int32_t note = 24; note <= 96; ++note) chord.rig.NoteOn(note);
    float loudOne = 0.0f;
    float loudChord = 0.0f;
    for (int32_t i = 0; i < 20000; ++i) {
        one.rig.Step();
        chord.rig.Step();
        loudOne = std::max(loudOne, one.L());
        loudChord = std::max(loudChord, chord.L());
    }
    // The table's positive peak is 1; the attack may overshoot by one step.
    EXPECT_LE(loudOne, 1.01f);
    EXPECT_GT(loudChord, 2.0f);
    EXPECT_EQ(chord.Status(), 1.0f);
    for (int32_t note = 24; note <= 96; ++note) chord.rig.NoteOff(note);
    int32_t frames = 0;
    while (chord.Status() != 0.0f && frames < 10000) {
        chord.rig.Step();
        ++frames;
    }
    // Release 0 is limited to 0.001: 4 ms from full level.
    EXPECT_LE(frames, 4 * 0.001 * 44100 + 5);
    EXPECT_EQ(chord.L(), 0.0f);
}

// Between note events only the sounding notes are visited; these are the moments where
// a note must still be picked up or let go.
TEST(PolyWave, NotesStartAndStopAfterLongQuietOrSteadySpellsAndAcrossAReset) {
    PadRig a(0.6f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f);
    for (int32_t i = 0; i < 1000; ++i) a.rig.Step();
    a.rig.NoteOn(60);
    a.rig.NoteOn(72);
    a.rig.Step();
    EXPECT_EQ(a.S().active[60], 1);
    for (int32_t i = 0; i < 2000; ++i) a.rig.Step();
    EXPECT_EQ(a.S().stage[72], kPadSustain);
    // A note released after a steady spell finishes; the other keeps sounding.
    a.rig.NoteOff(72);
    for (int32_t i = 0; i < 1000; ++i) a.rig.Step();
    EXPECT_EQ(a.S().active[72], 0);
    EXPECT_EQ(a.S().level[60], 1.0f);
    EXPECT_NE(a.L(), 0.0f);

    // The DSP reset lets the key go with everything else: pressed again, it starts again.
    a.rig.E().ResetDspState();
    a.rig.Step();
    EXPECT_EQ(a.S().active[60], 0);
    a.rig.NoteOn(60);
    a.rig.Step();
    EXPECT_EQ(a.S().active[60], 1);
    EXPECT_EQ(a.S().stage[60], kPadAttack);
}

TEST(PolyWave, TwoModulesRunTheSharedNotesTwicePerFrame) {
    PadRig a(0.6f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f);
    const int32_t second = a.rig.Add(kTypePolyWave);
    (void)second;
    a.rig.NoteOn(69);
    for (int32_t i = 0; i < 100; ++i) a.rig.Step();
    EXPECT_NEAR(a.S().forward[69], 200.0f * a.S().step[69], 0.01f);
}

} // namespace
} // namespace tw::test
