// White and pink noise and the Test Module.
#include "engine/noise.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace tw::test {
namespace {

double LagOneCorrelation(const std::vector<float>& v) {
    double mean = 0.0;
    for (float x : v) mean += x;
    mean /= static_cast<double>(v.size());
    double num = 0.0;
    double den = 0.0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double d = v[i] - mean;
        den += d * d;
        if (i > 0) num += d * (v[i - 1] - mean);
    }
    return num / den;
}

TEST(Noise, WhiteIsUniformOnAThousandStepsFromMinusHalf) {
    EngineRig rig;
    const int32_t n = rig.Add(kTypeNoise);
    const std::vector<float> white = rig.Probe(n, 0, 50000);
    std::set<int32_t> steps;
    double mean = 0.0;
    double square = 0.0;
    for (float x : white) {
        ASSERT_GE(x, -0.5f);
        ASSERT_LE(x, 0.499f + 1e-6f);
        const double scaled = (static_cast<double>(x) + 0.5) * 1000.0;
        ASSERT_NEAR(scaled, std::round(scaled), 1e-3);
        steps.insert(static_cast<int32_t>(std::round(scaled)));
        mean += x;
        square += static_cast<double>(x) * x;
    }
    mean /= white.size();
    square /= white.size();
    EXPECT_NEAR(mean, 0.0, 0.01);
    EXPECT_NEAR(square - mean * mean, 1.0 / 12.0, 0.005);
    EXPECT_GT(steps.size(), 990u);
    EXPECT_LT(std::fabs(LagOneCorrelation(white)), 0.03);
}

TEST(Noise, PinkCarriesMoreLowFrequencyThanWhite) {
    EngineRig rig;
    const int32_t n = rig.Add(kTypeNoise);
    std::vector<float> pink;
    for (int32_t i = 0; i < 50000; ++i) {
        rig.Step();
        pink.push_back(rig.Out(n, 1));
        ASSERT_TRUE(std::isfinite(pink.back()));
        ASSERT_LT(std::fabs(pink.back()), 2.0f);
    }
    EXPECT_GT(LagOneCorrelation(pink), 0.5);
}

TEST(Noise, TwoModulesDrawTheirOwnNumbersButShareThePinkFilter) {
    EngineRig two;
    const int32_t first = two.Add(kTypeNoise);
    const int32_t second = two.Add(kTypeNoise);
    int32_t same = 0;
    for (int32_t i = 0; i < 1000; ++i) {
        two.Step();
        same += two.Out(first, 0) == two.Out(second, 0);
    }
    EXPECT_LT(same, 20);
    // The pink memories advance once per module: the second module's pink output is the
    // single filter fed with both modules' white values in turn.
    NoiseState filter;
    EngineRig replay;
    const int32_t a = replay.Add(kTypeNoise);
    const int32_t b = replay.Add(kTypeNoise);
    for (int32_t i = 0; i < 200; ++i) {
        replay.Step();
        for (int32_t slot : {a, b}) {
            const float w = replay.Out(slot, 0);
            filter.b0 = filter.b0 * 0.99765f + w * 0.0990460f;
            filter.b1 = filter.b1 * 0.963f + w * 0.2965164f;
            filter.b2 = filter.b2 * 0.57f + w * 1.0526913f;
        }
        ASSERT_FLOAT_EQ(replay.Out(b, 1),
                        (filter.b0 + filter.b1 + filter.b2 + replay.Out(b, 0) * 0.1848f) * 0.25f);
    }
}

TEST(Noise, RepeatsExactlyAfterAnEngineReset) {
    EngineRig rig;
    rig.Add(kTypeNoise);
    rig.Probe(0, 0, 10);
    ResetEngine(rig.E());
    const int32_t again = rig.Add(kTypeNoise);
    const std::vector<float> first = rig.Probe(again, 0, 100);
    ResetEngine(rig.E());
    const int32_t third = rig.Add(kTypeNoise);
    EXPECT_EQ(rig.Probe(third, 0, 100), first);
}

TEST(TestModule, WritesWhiteNoiseOnItsFirstOutputOnly) {
    EngineRig rig;
    const int32_t t = rig.Add(kTypeTestModule);
    for (int32_t k = 1; k < 4; ++k) rig.E().outputs[PortIndex(t, k)] = 7.0f;
    std::set<float> values;
    for (int32_t i = 0; i < 200; ++i) {
        rig.Step();
        const float x = rig.Out(t, 0);
        ASSERT_GE(x, -0.5f);
        ASSERT_LT(x, 0.5f);
        values.insert(x);
        for (int32_t k = 1; k < 4; ++k) ASSERT_EQ(rig.Out(t, k), 7.0f);
    }
    EXPECT_GT(values.size(), 100u);
}

} // namespace
} // namespace tw::test
