// Filter behaviour measured from the outside: step responses, gains at known
// coefficients, the all-pass delay and the formant vowel rows.
#include "engine/filters.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace tw::test {
namespace {

// Steady-state amplitude of a filter fed the alternating signal +1, -1, ... (the
// Nyquist frequency), measured after the transient has died away.
float NyquistGain(EngineRig& rig, int32_t in, int32_t filter) {
    float peak = 0.0f;
    for (int32_t i = 0; i < 4000; ++i) {
        rig.Set(in, (i % 2 == 0) ? 1.0f : -1.0f);
        rig.Step();
        if (i > 3000) peak = std::max(peak, std::fabs(rig.Out(filter, 0)));
    }
    return peak;
}

TEST(TwoPoleLowPass, UnconnectedFreqRunsWideOpenAndSettlesOnTheInput) {
    EngineRig rig;
    const int32_t in = rig.Knob(1.0f);
    const int32_t lp = rig.Add(kTypeLowPass2Pole);
    ASSERT_TRUE(rig.Wire(in, 0, lp, 0));
    // Cached read: the step reaches the filter one frame late.
    const std::vector<float> out = rig.Probe(lp, 0, 200);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 0.925f * 0.925f);
    EXPECT_NEAR(out[199], 1.0f, 1e-5f);
}

TEST(TwoPoleLowPass, MaximumResonanceOvershootsAndRings) {
    EngineRig rig;
    const int32_t in = rig.Knob(1.0f);
    const int32_t freq = rig.Knob(0.05f);
    const int32_t res = rig.Knob(5.0f); // limited to 0.965
    const int32_t lp = rig.Add(kTypeLowPass2Pole);
    ASSERT_TRUE(rig.Wire(in, 0, lp, 0));
    ASSERT_TRUE(rig.Wire(freq, 0, lp, 1));
    ASSERT_TRUE(rig.Wire(res, 0, lp, 2));
    const std::vector<float> out = rig.Probe(lp, 0, 3000);
    EXPECT_FLOAT_EQ(rig.E().filters.lp2Feedback[lp], 0.965f / (1.0f - 0.05f) + 0.965f);
    float peak = 0.0f;
    for (float v : out) peak = std::max(peak, v);
    EXPECT_GT(peak, 1.5f);
    for (float v : out) ASSERT_TRUE(std::isfinite(v));
}

TEST(TwoPoleLowPass, FreqAndResonanceAreLimited) {
    EngineRig rig;
    const int32_t freq = rig.Knob(3.0f);
    const int32_t res = rig.Knob(0.99f);
    const int32_t lp = rig.Add(kTypeLowPass2Pole);
    ASSERT_TRUE(rig.Wire(freq, 0, lp, 1));
    ASSERT_TRUE(rig.Wire(res, 0, lp, 2));
    rig.Probe(lp, 0, 3);
    EXPECT_NEAR(rig.E().filters.lp2Feedback[lp], 0.965f / 0.075f + 0.965f, 1e-3f);
    // No lower limit on the resonance: a negative value damps.
    rig.Set(res, -0.5f);
    rig.Probe(lp, 0, 3);
    EXPECT_FLOAT_EQ(rig.E().filters.lp2Feedback[lp], -0.5f / (1.0f - 0.925f) - 0.5f);
    // A Freq below the floor still lets the filter move, slowly: f = 0.001.
    EngineRig slow;
    const int32_t in = slow.Knob(1.0f);
    const int32_t f0 = slow.Knob(-1.0f);
    const int32_t lp2 = slow.Add(kTypeLowPass2Pole);
    ASSERT_TRUE(slow.Wire(in, 0, lp2, 0));
    ASSERT_TRUE(slow.Wire(f0, 0, lp2, 1));
    const std::vector<float> out = slow.Probe(lp2, 0, 3);
    EXPECT_NEAR(out[1], 1e-6f, 1e-9f);
    EXPECT_NEAR(out[2], 2.998e-6f, 1e-9f);
}

TEST(OnePoleLowPass, DefaultFreqGivesTheStatedCoefficientAndGain) {
    EngineRig rig;
    const int32_t in = rig.Knob(1.0f);
    const int32_t lp = rig.Add(kTypeLowPass1Pole);
    ASSERT_TRUE(rig.Wire(in, 0, lp, 0));
    const std::vector<float> out = rig.Probe(lp, 0, 200);
    const float b1 = static_cast<float>(std::exp(0.8 * static_cast<double>(0.1f) * -6.283184));
    EXPECT_NEAR(b1, 0.605f, 0.001f);
    EXPECT_EQ(rig.E().filters.lpB1[lp], b1);
    // Direct read: the step arrives in the same frame.
    EXPECT_FLOAT_EQ(out[0], 1.0f - b1);
    EXPECT_NEAR(out[199], 1.0f, 1e-5f);
    EXPECT_NEAR(NyquistGain(rig, in, lp), (1.0f - b1) / (1.0f + b1), 1e-4f);
}

TEST(OnePoleLowPass, FreqZeroHoldsAndFreqTenPassesAlmostUnchanged) {
    EngineRig rig;
    const int32_t in = rig.Knob(1.0f);
    const int32_t freq = rig.Knob(10.0f);
    const int32_t lp = rig.Add(kTypeLowPass1Pole);
    ASSERT_TRUE(rig.Wire(in, 0, lp, 0));
    ASSERT_TRUE(rig.Wire(freq, 0, lp, 1));
    rig.Step();
    EXPECT_NEAR(rig.E().filters.lpB1[lp], 0.00187f, 1e-5f);
    EXPECT_NEAR(rig.Out(lp, 0), 0.998f, 0.001f);
    rig.Probe(lp, 0, 20);
    rig.Set(freq, 0.0f);
    rig.Set(in, -3.0f);
    const std::vector<float> held = rig.Probe(lp, 0, 1000);
    for (float v : held) ASSERT_FLOAT_EQ(v, held[0]);
    EXPECT_NEAR(held[0], 1.0f, 1e-5f);
}

TEST(OnePoleHighPass, ConstantInputDecaysAndNyquistPasses) {
    EngineRig rig;
    const int32_t in = rig.Knob(1.0f);
    const int32_t hp = rig.Add(kTypeHighPass1Pole);
    ASSERT_TRUE(rig.Wire(in, 0, hp, 0));
    const std::vector<float> out = rig.Probe(hp, 0, 200);
    const float b1 = rig.E().filters.hpB1[hp];
    EXPECT_FLOAT_EQ(out[0], b1);
    for (size_t i = 1; i < out.size(); ++i) ASSERT_LE(out[i], out[i - 1]);
    EXPECT_NEAR(out[199], 0.0f, 1e-5f);
    EXPECT_NEAR(NyquistGain(rig, in, hp), 2.0f * b1 / (1.0f + b1), 1e-4f);
}

TEST(AllPassFilter, CoefficientZeroDelaysByExactlyOneFrame) {
    EngineRig rig;
    const int32_t in = rig.Knob(0.0f);
    const int32_t a = rig.Knob(0.0f);
    const int32_t ap = rig.Add(kTypeAllPass);
    ASSERT_TRUE(rig.Wire(in, 0, ap, 0));
    ASSERT_TRUE(rig.Wire(a, 0, ap, 1));
    const std::array<float, 6> signal = {0.3f, -1.0f, 2.5f, 0.0f, 7.0f, -0.25f};
    float last = 0.0f;
    for (float x : signal) {
        rig.Set(in, x);
        rig.Step();
        EXPECT_EQ(rig.Out(ap, 0), last);
        last = x;
    }
}

TEST(AllPassFilter, PassesEveryFrequencyAtUnityGainAndLimitsItsCoefficient) {
    for (float coefficient : {0.5f, 0.99f, 40.0f, -3.0f}) {
        EngineRig rig;
        const int32_t in = rig.Knob(1.0f);
        const int32_t a = rig.Knob(coefficient);
        const int32_t ap = rig.Add(kTypeAllPass);
        ASSERT_TRUE(rig.Wire(in, 0, ap, 0));
        ASSERT_TRUE(rig.Wire(a, 0, ap, 1));
        const float limited = std::clamp(coefficient, 0.0f, 0.99f);
        // DC: settles on the input. (At a = 0.99 this takes thousands of frames.)
        rig.Probe(ap, 0, 6000);
        EXPECT_NEAR(rig.Out(ap, 0), 1.0f, 1e-3f) << coefficient;
        EXPECT_NEAR(NyquistGain(rig, in, ap), 1.0f, limited > 0.9f ? 0.05f : 1e-4f) << coefficient;
    }
}

// The formant filter as documented: an eleven-coefficient recursion on its own results.
std::vector<float> FormantReference(const std::array<double, 11>& c,
                                    const std::vector<float>& input) {
    std::array<double, 10> m{};
    std::vector<float> out;
    for (float x : input) {
        double sum = static_cast<double>(x) * c[0];
        for (int32_t n = 0; n < 10; ++n) sum += c[n + 1] * m[n];
        const double r = static_cast<float>(sum);
        for (int32_t n = 9; n > 0; --n) m[n] = m[n - 1];
        m[0] = r;
        out.push_back(std::fabs(r) < 0.0001 ? 0.0f : static_cast<float>(r));
    }
    return out;
}

std::array<double, 11> Mix(int32_t lo, int32_t hi, double wLo, double wHi) {
    std::array<double, 11> c{};
    for (int32_t n = 0; n < 11; ++n) c[n] = wLo * kFormantTable[lo][n] + wHi * kFormantTable[hi][n];
    return c;
}

std::vector<float> RunFormant(float control, const std::vector<float>& input) {
    EngineRig rig;
    const int32_t in = rig.Knob(0.0f);
    const int32_t g = rig.Knob(control);
    const int32_t f = rig.Add(kTypeFormant);
    EXPECT_TRUE(rig.Wire(in, 0, f, 0));
    EXPECT_TRUE(rig.Wire(g, 0, f, 1));
    std::vector<float> out;
    for (float x : input) {
        rig.Set(in, x);
        rig.Step();
        out.push_back(rig.Out(f, 0));
    }
    return out;
}

std::vector<float> Impulse(float height, size_t frames) {
    std::vector<float> v(frames, 0.0f);
    v[0] = height;
    return v;
}

TEST(Formant, ControlSelectsAndMorphsTheVowelRows) {
    const std::vector<float> input = Impulse(1000.0f, 400);
    EXPECT_EQ(RunFormant(0.0f, input), FormantReference(Mix(0, 1, 1.0, 0.0), input));
    EXPECT_EQ(RunFormant(0.5f, input), FormantReference(Mix(2, 3, 1.0, 0.0), input));
    EXPECT_EQ(RunFormant(0.625f, input), FormantReference(Mix(2, 3, 0.5, 0.5), input));
    EXPECT_EQ(RunFormant(1.0f, input), FormantReference(Mix(3, 4, 0.0, 1.0), input));
    // Out-of-range controls stick to the end rows; NaN falls to row 0.
    EXPECT_EQ(RunFormant(7.0f, input), RunFormant(1.0f, input));
    EXPECT_EQ(RunFormant(-2.0f, input), RunFormant(0.0f, input));
    EXPECT_EQ(RunFormant(std::nanf(""), input), RunFormant(0.0f, input));
    // Different rows really sound different.
    EXPECT_NE(RunFormant(0.0f, input), RunFormant(1.0f, input));
}

TEST(Formant, QuietResultsSnapToZeroWhileTheMemoriesDecay) {
    EngineRig rig;
    const int32_t in = rig.Knob(0.0f);
    const int32_t g = rig.Knob(0.25f);
    const int32_t f = rig.Add(kTypeFormant);
    ASSERT_TRUE(rig.Wire(in, 0, f, 0));
    ASSERT_TRUE(rig.Wire(g, 0, f, 1));
    rig.Set(in, 3000.0f);
    rig.Step();
    rig.Set(in, 0.0f);
    bool snapped = false;
    for (int32_t i = 0; i < 200000 && !snapped; ++i) {
        rig.Step();
        const double memory = rig.E().filters.formantMemory[f][0];
        if (rig.Out(f, 0) == 0.0f && memory != 0.0) {
            snapped = true;
            EXPECT_LT(std::fabs(memory), 0.0001);
        }
    }
    EXPECT_TRUE(snapped);
}

} // namespace
} // namespace tw::test
