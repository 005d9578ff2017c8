// The time table and the ADSR: stage timing against the table, retriggers, releases and
// the gate edge rules.
#include "engine/envelope.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tw::test {
namespace {

// An ADSR with every control on a knob the test can turn.
struct AdsrRig {
    EngineRig rig;
    int32_t gate, attack, decay, sustain, release, adsr;

    AdsrRig(float a, float d, float s, float r, double rate = 44100.0) : rig(rate) {
        gate = rig.Knob(0.0f);
        attack = rig.Knob(a);
        decay = rig.Knob(d);
        sustain = rig.Knob(s);
        release = rig.Knob(r);
        adsr = rig.Add(kTypeAdsr);
        const int32_t sources[] = {gate, attack, decay, sustain, release};
        for (int32_t k = 0; k < 5; ++k) EXPECT_TRUE(rig.Wire(sources[k], 0, adsr, k));
    }
    void Gate(float g) { rig.P().slots[gate].value = g; }
    void Sustain(float s) { rig.P().slots[sustain].value = s; }
    float Step() {
        rig.Step();
        return rig.Out(adsr, 0);
    }
    int32_t Stage() const { return rig.engine->envelopes.stage[adsr]; }
    float Level() const { return rig.engine->envelopes.level[adsr]; }
    // Frames until the stage changes away from `stage` (capped).
    int32_t FramesIn(int32_t stage, int32_t cap = 2000000) {
        int32_t n = 0;
        while (Stage() == stage && n < cap) {
            Step();
            ++n;
        }
        return n;
    }
};

// Frames an exponential segment from `start` takes to fall below 0.001 when it is set up
// for `seconds`: level *= 1 + rate per frame, which is slightly quicker than e^(rate n).
double SegmentFrames(double seconds, double rate, double start = 1.0) {
    const double perFrame = std::log(0.001 / start) / (rate * seconds);
    return std::ceil(std::log(0.001 / start) / std::log1p(perFrame));
}

TEST(TimeTable, HoldsTheListedTimesAndRisesMonotonically) {
    EngineRig rig;
    const float* t = rig.E().envelopes.timeTable;
    const std::pair<int32_t, float> spots[] = {
        {0, 0.005f},  {1, 0.013f},  {2, 0.019f},  {20, 0.127f}, {21, 0.139f}, {30, 0.247f},
        {31, 0.272f}, {40, 0.497f}, {41, 0.547f}, {49, 0.947f}, {50, 1.0f},   {51, 1.1f},
        {60, 2.0f},   {61, 2.2f},   {99, 9.8f},   {100, 10.0f}};
    for (auto [index, seconds] : spots) EXPECT_EQ(t[index], seconds) << index;
    for (int32_t i = 1; i < kTimeTableSize; ++i) EXPECT_GT(t[i], t[i - 1]) << i;
}

TEST(TimeTable, IndexTruncatesAndStaysInsideTheTable) {
    EXPECT_EQ(TimeTableIndex(0.5f), 50);
    EXPECT_EQ(TimeTableIndex(0.999f), 99);
    EXPECT_EQ(TimeTableIndex(1.0f), 100);
    // 0.01 in single precision is just below a hundredth.
    EXPECT_EQ(TimeTableIndex(0.01f), 0);
    EXPECT_EQ(TimeTableIndex(-0.01f), 0);
    EXPECT_EQ(TimeTableIndex(-50.0f), 0);
    EXPECT_EQ(TimeTableIndex(1.01f), 100);
    EXPECT_EQ(TimeTableIndex(1e30f), 100);
    EXPECT_EQ(TimeTableIndex(std::nanf("")), 0);
    EXPECT_EQ(TimeTableIndex(INFINITY), 100);
}

TEST(Adsr, ShortestAttackPeaksAfterAbout220FramesThenDecays) {
    AdsrRig a(0.0f, 0.5f, 0.5f, 0.5f);
    a.Step();
    a.Gate(1.0f);
    a.Step(); // the gate reaches the cached input one frame later
    EXPECT_EQ(a.Stage(), kAdsrIdle);
    float peak = 0.0f;
    int32_t frames = 0;
    while (a.Stage() != kAdsrDecay) {
        const float previous = peak;
        peak = a.Step();
        ++frames;
        ASSERT_LT(frames, 1000);
        if (a.Stage() == kAdsrAttack) {
            ASSERT_GT(peak, previous);
        }
    }
    EXPECT_NEAR(frames, SegmentFrames(0.005, 44100.0), 1);
    EXPECT_NEAR(frames, 220, 5);
    // The last attack frame outputs 1 - level with the level just below 0.001.
    EXPECT_GT(peak, 0.999f);
    EXPECT_LE(peak, 1.0f);
    EXPECT_EQ(a.Level(), 1.0f);
}

TEST(Adsr, StageDurationsFollowTheTimeTable) {
    // Attack 0.3 -> 0.247 s, decay 0.4 -> 0.497 s, release 0.5 -> 1.0 s.
    AdsrRig a(0.3f, 0.4f, 0.5f, 0.5f);
    a.Gate(1.0f);
    a.Step();
    a.Step();
    ASSERT_EQ(a.Stage(), kAdsrAttack);
    EXPECT_NEAR(a.FramesIn(kAdsrAttack), SegmentFrames(0.247, 44100.0), 1);
    // The decay from 1 ends where the falling exponential crosses 0.5.
    const double decayRate = std::log1p(std::log(0.001) / (0.497 * 44100));
    EXPECT_NEAR(a.FramesIn(kAdsrDecay), std::ceil(std::log(0.5) / decayRate), 1);
    ASSERT_EQ(a.Stage(), kAdsrSustain);
    for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(a.Step(), 0.5f);
    const float stored = a.Level();
    a.Gate(0.0f);
    a.Step();
    const float first = a.Step();
    ASSERT_EQ(a.Stage(), kAdsrRelease);
    EXPECT_NEAR(first, stored, 0.001f);
    // Whatever level it starts from, a release is set up to take the table time.
    EXPECT_NEAR(a.FramesIn(kAdsrRelease) + 1, SegmentFrames(1.0, 44100.0, stored), 1);
    EXPECT_EQ(a.Stage(), kAdsrIdle);
    for (int32_t i = 0; i < 10; ++i) ASSERT_EQ(a.Step(), 0.0f);
}

TEST(Adsr, SegmentsFollowASampleRateChangeAtOnce) {
    AdsrRig a(0.3f, 0.4f, 0.5f, 0.5f, 44100.0);
    a.rig.E().sampleRate = 48000.0;
    a.Gate(1.0f);
    a.Step();
    a.Step();
    EXPECT_NEAR(a.FramesIn(kAdsrAttack), SegmentFrames(0.247, 48000.0), 1);
}

TEST(Adsr, ReleaseDuringAttackStartsFromTheCurrentOutput) {
    AdsrRig a(0.6f, 0.5f, 0.5f, 0.3f);
    a.Gate(1.0f);
    a.Step();
    float out = 0.0f;
    for (int32_t i = 0; i < 3000; ++i) out = a.Step();
    ASSERT_EQ(a.Stage(), kAdsrAttack);
    ASSERT_GT(out, 0.05f);
    a.Gate(0.0f);
    a.Step(); // cached gate
    const float released = a.Step();
    EXPECT_EQ(a.Stage(), kAdsrRelease);
    EXPECT_NEAR(released, out, 0.01f);
    EXPECT_LT(released, out);
}

TEST(Adsr, RetriggerDuringReleaseCarriesOnFromTheCurrentOutput) {
    AdsrRig a(0.1f, 0.5f, 0.8f, 0.6f);
    a.Gate(1.0f);
    for (int32_t i = 0; i < 30000; ++i) a.Step();
    a.Gate(0.0f);
    float out = 0.0f;
    for (int32_t i = 0; i < 2000; ++i) out = a.Step();
    ASSERT_EQ(a.Stage(), kAdsrRelease);
    a.Gate(1.0f);
    a.Step();
    const float retriggered = a.Step();
    EXPECT_EQ(a.Stage(), kAdsrAttack);
    EXPECT_NEAR(retriggered, out, 0.01f);
    EXPECT_GT(retriggered, out);
}

TEST(Adsr, SustainChangeActsAtOnceButReleaseStartsFromTheStoredLevel) {
    AdsrRig a(0.0f, 0.0f, 0.6f, 0.5f);
    a.Gate(1.0f);
    for (int32_t i = 0; i < 2000; ++i) a.Step();
    ASSERT_EQ(a.Stage(), kAdsrSustain);
    const float stored = a.Level();
    a.Sustain(0.2f);
    a.Step();
    EXPECT_EQ(a.Step(), 0.2f);
    a.Gate(0.0f);
    a.Step();
    const float first = a.Step();
    EXPECT_NEAR(first, stored, 0.001f);
    EXPECT_GT(first, 0.5f);
}

TEST(Adsr, ZeroSustainDecaysOnWithoutHoldingAtSustain) {
    AdsrRig a(0.0f, 0.0f, 0.0f, 0.5f);
    a.Gate(1.0f);
    for (int32_t i = 0; i < 5000; ++i) {
        a.Step();
        ASSERT_NE(a.Stage(), kAdsrSustain);
    }
    EXPECT_LT(a.Level(), 1e-6f);
}

TEST(Adsr, OnlyAnExactZeroReleasesAndOnlyARiseFromZeroTriggers) {
    AdsrRig a(0.0f, 0.0f, 0.7f, 0.5f);
    a.Gate(1.0f);
    for (int32_t i = 0; i < 2000; ++i) a.Step();
    ASSERT_EQ(a.Stage(), kAdsrSustain);
    a.Gate(-1.0f);
    for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(a.Step(), 0.7f);
    a.Gate(1.0f);
    for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(a.Step(), 0.7f);
    EXPECT_EQ(a.Stage(), kAdsrSustain);
    a.Gate(0.0f);
    a.Step();
    a.Step();
    EXPECT_EQ(a.Stage(), kAdsrRelease);
}

TEST(Adsr, ReleaseFromZeroLevelEndsAtOnceWithoutNaN) {
    // A negative gate from idle does not trigger; its return to 0 releases from level 0,
    // a segment without a finite rate. It stands still and is over on its first advance.
    AdsrRig a(0.0f, 0.0f, 0.5f, 0.5f);
    a.Gate(-1.0f);
    for (int32_t i = 0; i < 5; ++i) ASSERT_EQ(a.Step(), 0.0f);
    a.Gate(0.0f);
    a.Step();
    EXPECT_EQ(a.Step(), 0.0f);
    EXPECT_EQ(a.rig.E().envelopes.rate[a.adsr], 0.0f);
    EXPECT_EQ(a.Level(), 0.0f);
    EXPECT_EQ(a.Stage(), kAdsrIdle);
    // And the envelope still plays normally afterwards.
    a.Gate(1.0f);
    float peak = 0.0f;
    for (int32_t i = 0; i < 400; ++i) {
        const float v = a.Step();
        ASSERT_TRUE(std::isfinite(v));
        peak = std::max(peak, v);
    }
    EXPECT_GT(peak, 0.99f);
}

TEST(Adsr, UnconnectedSustainAndLevelDefaultToOne) {
    EngineRig rig;
    const int32_t gate = rig.Knob(1.0f);
    const int32_t adsr = rig.Add(kTypeAdsr);
    ASSERT_TRUE(rig.Wire(gate, 0, adsr, 0));
    const std::vector<float> out = rig.Probe(adsr, 0, 1000);
    EXPECT_EQ(rig.E().envelopes.stage[adsr], kAdsrSustain);
    EXPECT_EQ(out.back(), 1.0f);
}

TEST(Adsr, ControlsOutsideZeroToOneUseTheEndsOfTheTable) {
    AdsrRig a(-3.0f, 0.5f, 0.5f, 0.5f);
    a.Gate(1.0f);
    a.Step();
    a.Step();
    EXPECT_NEAR(a.FramesIn(kAdsrAttack), SegmentFrames(0.005, 44100.0), 1);
    AdsrRig b(50.0f, 0.5f, 0.5f, 0.5f);
    b.Gate(1.0f);
    b.Step();
    b.Step();
    // Single-precision steps drift by a few frames over ten seconds.
    EXPECT_NEAR(b.FramesIn(kAdsrAttack), SegmentFrames(10.0, 44100.0), 10);
}

} // namespace
} // namespace tw::test
