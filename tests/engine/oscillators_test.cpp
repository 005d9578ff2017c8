// Tone sources: wavetables, Oscillator pitch, bands, sync and pulse width, the Oscillator
// Driver's octave arithmetic, the Lfo and A440Hz.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tw::test {
namespace {

int32_t AddSource(EngineRig& rig, float value) {
    const int32_t s = rig.Add(kTypeParameter);
    rig.P().slots[s].value = value;
    return s;
}

// Rising zero crossings per second of a recorded signal.
double CrossingRate(const std::vector<float>& v, double rate) {
    int crossings = 0;
    for (std::size_t i = 1; i < v.size(); ++i) crossings += (v[i - 1] < 0.0f && v[i] >= 0.0f);
    return crossings * rate / static_cast<double>(v.size());
}

float Peak(const std::vector<float>& v) {
    float m = 0.0f;
    for (float x : v) m = std::max(m, std::fabs(x));
    return m;
}

// An oscillator whose Wave and Pitch come from sources; returns its slot.
struct Osc {
    int32_t wave, pitch, osc;
    Osc(EngineRig& rig, float waveValue, float pitchVolts) {
        wave = AddSource(rig, waveValue);
        pitch = AddSource(rig, pitchVolts);
        osc = rig.Add(kTypeOscillator);
        rig.Wire(wave, 0, osc, 0);
        rig.Wire(pitch, 0, osc, 1);
    }
};

TEST(Wavetables, EveryTableWrapsOntoItsFirstEntry) {
    EngineRig rig;
    const OscillatorState& s = rig.E().oscillators;
    EXPECT_EQ(s.sine[kWaveLength].load(), s.sine[0].load());
    for (int b = 0; b < kBandCount; ++b) {
        EXPECT_EQ(s.saw[b][kWaveLength].load(), s.saw[b][0].load());
        EXPECT_EQ(s.triangle[b][kWaveLength].load(), s.triangle[b][0].load());
    }
}

// The table position advances as a float sum, as the tables have always been built; the
// references below do the same and compare with the double sine.
TEST(Wavetables, SineTableStartsAtMinusPiAndSpansJustUnderOneCycle) {
    EngineRig rig;
    const OscillatorState& s = rig.E().oscillators;
    float x = -3.141592f;
    for (int j = 0; j < kWaveLength; ++j) {
        EXPECT_NEAR(s.sine[j].load(), std::sin(static_cast<double>(x)), 1e-7) << j;
        x += 0.0030664636f;
    }
    EXPECT_LT(x, 3.141592f); // 2048 steps fall short of a whole cycle
}

TEST(Wavetables, BandsHoldTheirHarmonicSeries) {
    EngineRig rig;
    const OscillatorState& s = rig.E().oscillators;
    const int limits[kBandCount] = {2, 4, 8, 14, 20, 256};
    for (int b = 0; b < kBandCount; ++b) {
        for (int j = 0; j < kWaveLength; j += 131) {
            double saw = 0.0, tri = 0.0, sign = 1.0;
            for (int k = 1; k < limits[b]; ++k) {
                const float step = static_cast<float>(6.283184 / (2048.0 / k));
                float x = -3.141592f;
                for (int n = 0; n < j; ++n) x += step;
                saw += std::sin(x) * 0.5 / k;
                if (k % 2 == 1) {
                    tri += sign * std::sin(x) * 0.5 / (k * k);
                    sign = -sign;
                }
            }
            EXPECT_NEAR(s.saw[b][j].load(), saw, 2e-6) << b << " " << j;
            EXPECT_NEAR(s.triangle[b][j].load(), tri, 2e-6) << b << " " << j;
        }
    }
}

TEST(Oscillator, FiveVoltsPlays440Hertz) {
    EngineRig rig;
    Osc o(rig, 0.1f, 5.0f); // sine
    EXPECT_NEAR(CrossingRate(rig.Probe(o.osc, 0, 44100), 44100.0), 440.0, 1.0);
}

TEST(Oscillator, OneVoltPerOctave) {
    EngineRig rig(48000.0);
    Osc o(rig, 0.1f, 3.0f);
    EXPECT_NEAR(CrossingRate(rig.Probe(o.osc, 0, 48000), 48000.0), 110.0, 1.0);
    rig.P().slots[o.pitch].value = 6.5f;
    EXPECT_NEAR(CrossingRate(rig.Probe(o.osc, 0, 48000), 48000.0), 440.0 * std::pow(2.0, 1.5), 1.0);
}

TEST(Oscillator, UntouchedOscillatorIsA440HertzSawInTheWidestBand) {
    EngineRig rig;
    const int32_t osc = rig.Add(kTypeOscillator);
    const auto v = rig.Probe(osc, 0, 44100);
    EXPECT_NEAR(CrossingRate(v, 44100.0), 440.0, 1.0);
    EXPECT_EQ(rig.E().oscillators.band[osc], 5);
    // Its Sync reads the cell holding the Pitch default 5.0 and never fires, so the
    // phase runs freely.
    EXPECT_GT(Peak(v), 0.7f);
}

TEST(Oscillator, HighPitchesDropToTheSineBand) {
    EngineRig rig;
    Osc o(rig, 0.6f, 8.4f);                           // saw
    EXPECT_GT(Peak(rig.Probe(o.osc, 0, 4000)), 0.6f); // harmonics 1 to 3
    rig.P().slots[o.pitch].value = 8.6f;
    const auto v = rig.Probe(o.osc, 0, 4000);
    EXPECT_LE(Peak(v), 0.5f);
    EXPECT_GT(Peak(v), 0.49f);
}

TEST(Oscillator, EachOscillatorKeepsItsOwnBand) {
    EngineRig rig;
    Osc low(rig, 0.6f, 5.0f + static_cast<float>(std::log2(100.0 / 440.0)));
    Osc high(rig, 0.6f, 5.0f + static_cast<float>(std::log2(3000.0 / 440.0)));
    rig.Step();
    EXPECT_EQ(rig.E().oscillators.band[low.osc], 5);
    EXPECT_EQ(rig.E().oscillators.band[high.osc], 1);
}

TEST(Oscillator, SyncFiresOnlyWhenRisingFromBelowZero) {
    EngineRig rig;
    const int32_t sync = AddSource(rig, -0.1f);
    const int32_t osc = rig.Add(kTypeOscillator);
    rig.Wire(sync, 0, osc, 2);
    for (int i = 0; i < 50; ++i) rig.Step();
    const float increment = rig.E().cells.increment[osc];
    EXPECT_GT(rig.E().cells.phase[osc], 10 * increment);
    rig.P().slots[sync].value = 0.0f;
    rig.Step();
    EXPECT_EQ(rig.E().cells.phase[osc], increment); // reset to 0, then one step
    for (int i = 0; i < 20; ++i) rig.Step();
    rig.P().slots[sync].value = 0.1f;
    rig.Step();
    EXPECT_GT(rig.E().cells.phase[osc], 10 * increment);
}

// Fraction of samples in the upper half between the signal's extremes.
double HighFraction(const std::vector<float>& v) {
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    const float mid = (*lo + *hi) / 2.0f;
    return static_cast<double>(
               std::count_if(v.begin(), v.end(), [&](float x) { return x > mid; })) /
           static_cast<double>(v.size());
}

TEST(Oscillator, PulseWidthSetsTheDutyCycle) {
    EngineRig rig;
    Osc o(rig, 0.9f, 2.0f); // pulse, 55 Hz
    const int32_t pwm = AddSource(rig, 0.0f);
    rig.Wire(pwm, 0, o.osc, 3);
    const double half = HighFraction(rig.Probe(o.osc, 0, 8020));
    EXPECT_NEAR(half, 0.5, 0.03);
    rig.P().slots[pwm].value = 0.5f;
    const double quarter = HighFraction(rig.Probe(o.osc, 0, 8020));
    EXPECT_NEAR(std::min(quarter, 1.0 - quarter), 0.25, 0.03);
}

TEST(Oscillator, PulseWidthOutsideZeroToOneWrapsAroundTheTable) {
    // Widths two apart name the same offset modulo the table; any width stays inside it.
    EngineRig a, b;
    Osc oa(a, 0.9f, 4.0f), ob(b, 0.9f, 4.0f);
    const int32_t pa = AddSource(a, 0.25f), pb = AddSource(b, 2.25f);
    a.Wire(pa, 0, oa.osc, 3);
    b.Wire(pb, 0, ob.osc, 3);
    EXPECT_EQ(a.Probe(oa.osc, 0, 500), b.Probe(ob.osc, 0, 500));
    for (float w : {-1.7f, 3.9f, 1.0e20f, -1.0e20f, NAN}) {
        b.P().slots[pb].value = w;
        for (float x : b.Probe(ob.osc, 0, 300)) {
            EXPECT_TRUE(std::isfinite(x)) << w;
            EXPECT_LE(std::fabs(x), 2.0f) << w;
        }
    }
}

TEST(Oscillator, AForeignPhaseInTheSharedCellIsReadInsideTheTable) {
    EngineRig rig;
    const int32_t osc = rig.Add(kTypeOscillator);
    for (float phase : {-50.0f, 7.5f, 1.0e12f, NAN}) {
        rig.E().cells.phase[osc] = phase;
        rig.Step();
        EXPECT_LE(std::fabs(rig.Out(osc, 0)), 1.0f) << phase;
    }
}

struct Driver {
    int32_t driver;
    Driver(EngineRig& rig, std::initializer_list<std::pair<int, float>> inputs) {
        std::vector<int32_t> sources;
        for (const auto& in : inputs) sources.push_back(AddSource(rig, in.second));
        driver = rig.Add(kTypeOscillatorDriver);
        int i = 0;
        for (const auto& in : inputs) rig.Wire(sources[i++], 0, driver, in.first);
        rig.Step();
        rig.Step(); // cached reads take a frame to arrive
    }
};

TEST(OscillatorDriver, OctaveAloneIsAnAbsolutePitch) {
    EngineRig rig;
    Driver d(rig, {{1, 0.9f}});
    EXPECT_EQ(rig.Out(d.driver, 0), 6.0f);
    EngineRig bare;
    Driver none(bare, {});
    EXPECT_EQ(bare.Out(none.driver, 0), 5.0f);
}

TEST(OscillatorDriver, OctaveShiftsAConnectedPitch) {
    EngineRig rig;
    Driver d(rig, {{0, 5.0f}, {1, 0.1f}});
    EXPECT_EQ(rig.Out(d.driver, 0), 3.0f);
}

TEST(OscillatorDriver, OctaveStepsChangeAtQuarterPoints) {
    const std::pair<float, float> cases[] = {{0.0f, 3.0f}, {0.2499f, 3.0f}, {0.25f, 4.0f},
                                             {0.5f, 5.0f}, {0.75f, 6.0f},   {7.0f, 6.0f}};
    for (const auto& [octave, pitch] : cases) {
        EngineRig rig;
        Driver d(rig, {{1, octave}});
        EXPECT_EQ(rig.Out(d.driver, 0), pitch) << octave;
    }
}

TEST(OscillatorDriver, CoarseAddsVoltsAndFineAddsTenths) {
    EngineRig rig;
    Driver d(rig, {{0, 5.0f}, {1, 0.6f}, {2, 1.0f}, {3, 0.5f}});
    EXPECT_FLOAT_EQ(rig.Out(d.driver, 0), 6.05f);
}

TEST(Lfo, UntouchedLfoIsAUnipolarSquareAtTheFastestRate) {
    EngineRig rig;
    const int32_t lfo = rig.Add(kTypeLfo);
    const auto v = rig.Probe(lfo, 0, 441000);
    int edges = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        EXPECT_TRUE(v[i] == 0.0f || v[i] == 1.0f) << i;
        if (i > 0) edges += v[i - 1] == 0.0f && v[i] == 1.0f;
    }
    // fs^2 * 1e-9 * 10 s = 19.45 Hz over ten seconds.
    EXPECT_NEAR(edges, 194.5, 1.0);
}

struct LfoRig {
    EngineRig rig;
    int32_t wave, rate, polarity, level, lfo;
    LfoRig(float w, float r, float q, float g) {
        wave = AddSource(rig, w);
        rate = AddSource(rig, r);
        polarity = AddSource(rig, q);
        level = AddSource(rig, g);
        lfo = rig.Add(kTypeLfo);
        rig.Wire(wave, 0, lfo, 0);
        rig.Wire(rate, 0, lfo, 1);
        rig.Wire(polarity, 0, lfo, 2);
        rig.Wire(level, 0, lfo, 3);
    }
    float Increment() {
        rig.Step();
        return rig.E().cells.increment[lfo];
    }
};

TEST(Lfo, RatesSelectTimeTableEntries) {
    // 0.01 (and anything lower) selects the first entry, 0.005 s. The float 0.02 lies just
    // below 0.02 and selects entry 1 (0.013 s); 0.025 selects entry 2 (0.019 s).
    const float slowest = LfoRig(0.6f, 0.01f, 1.0f, 1.0f).Increment();
    EXPECT_EQ(LfoRig(0.6f, -3.0f, 1.0f, 1.0f).Increment(), slowest);
    EXPECT_FLOAT_EQ(LfoRig(0.6f, 0.02f, 1.0f, 1.0f).Increment() / slowest, 0.013f / 0.005f);
    EXPECT_FLOAT_EQ(LfoRig(0.6f, 0.025f, 1.0f, 1.0f).Increment() / slowest, 0.019f / 0.005f);
    // 44100 Hz: one cycle per 1 / increment frames = fs^2 * 1e-9 * t Hz.
    EXPECT_NEAR(slowest * 44100.0, 44100.0 * 44100.0 * 1e-9 * 0.005, 1e-6);
}

TEST(Lfo, RatesAboveOneStayOnTheLastEntry) {
    const float fastest = LfoRig(0.6f, 1.0f, 1.0f, 1.0f).Increment();
    EXPECT_EQ(LfoRig(0.6f, 1.5f, 1.0f, 1.0f).Increment(), fastest);
    EXPECT_EQ(LfoRig(0.6f, 1.0e9f, 1.0f, 1.0f).Increment(), fastest);
    EXPECT_TRUE(std::isfinite(LfoRig(0.6f, NAN, 1.0f, 1.0f).Increment()));
}

TEST(Lfo, RampPolarityAndLevel) {
    LfoRig l(0.6f, 1.0f, 0.0f, 2.0f); // ramp, bipolar, level 2
    const auto v = l.rig.Probe(l.lfo, 0, 5000);
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    EXPECT_NEAR(*lo, -1.0f, 0.01f);
    EXPECT_NEAR(*hi, 1.0f, 0.01f);
}

TEST(Lfo, TriangleShapes) {
    LfoRig tri(0.4f, 1.0f, 1.0f, 1.0f);
    auto v = tri.rig.Probe(tri.lfo, 0, 5000);
    auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    EXPECT_GE(*lo, 0.0f);
    EXPECT_NEAR(*hi, 1.0f, 0.01f);
    LfoRig curved(0.1f, 1.0f, 1.0f, 1.0f);
    v = curved.rig.Probe(curved.lfo, 0, 5000);
    std::tie(lo, hi) = std::minmax_element(v.begin(), v.end());
    EXPECT_GE(*lo, 0.0f);
    EXPECT_NEAR(*hi, 2.0 * std::sin(0.5), 0.01);
    // A full up-and-down cycle takes 1 / increment frames.
    int peaks = 0;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) peaks += v[i] > v[i - 1] && v[i] >= v[i + 1];
    EXPECT_NEAR(peaks, 5000 * 44100.0 * 1e-8 * 1.0, 1.0);
}

TEST(A440, PlaysTheNoteTablesA) {
    EngineRig rig(48000.0);
    const int32_t a = rig.Add(kTypeA440);
    const auto v = rig.Probe(a, 0, 48000);
    EXPECT_NEAR(CrossingRate(v, 48000.0), 440.0, 1.0);
    EXPECT_NEAR(Peak(v), 1.0f, 1e-3f);
}

} // namespace
} // namespace tw::test
