// The shared delay line and the shared reverb.
#include "engine/effects.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tw::test {
namespace {

struct DelayRig {
    EngineRig rig;
    int32_t in, delay, feedback, mix, module;
    DelayRig(float d, float fb, float m) {
        in = rig.Knob(0.0f);
        delay = rig.Knob(d);
        feedback = rig.Knob(fb);
        mix = rig.Knob(m);
        module = rig.Add(kTypeDelay);
        const int32_t sources[] = {in, delay, feedback, mix};
        for (int32_t k = 0; k < 4; ++k) EXPECT_TRUE(rig.Wire(sources[k], 0, module, k));
    }
    // Frames from an impulse on In to the first echo on Out.
    int32_t EchoDelay(int32_t limit = 50000) {
        rig.Set(in, 1.0f);
        rig.Step();
        rig.Set(in, 0.0f);
        for (int32_t n = 1; n < limit; ++n) {
            rig.Step();
            if (rig.Out(module, 0) != 0.0f) return n;
        }
        return -1;
    }
};

TEST(Delay, LoopLengthIsDelayTimes44090Frames) {
    DelayRig a(0.1f, 0.0f, 1.0f);
    EXPECT_EQ(a.EchoDelay(), 4409);
    EXPECT_EQ(a.rig.Out(a.module, 0), 1.0f);
    DelayRig b(1.0f, 0.0f, 1.0f);
    EXPECT_EQ(b.EchoDelay(), 44090);
    // The loop is counted in frames, independent of the sample rate.
    DelayRig c(0.1f, 0.0f, 1.0f);
    c.rig.E().sampleRate = 48000.0;
    EXPECT_EQ(c.EchoDelay(), 4409);
}

TEST(Delay, FeedbackRepeatsTheEchoScaledByPointEight) {
    DelayRig a(0.1f, 0.5f, 1.0f);
    ASSERT_EQ(a.EchoDelay(), 4409);
    EXPECT_EQ(a.rig.Out(a.module, 0), 1.0f);
    for (int32_t n = 1; n < 4409; ++n) {
        a.rig.Step();
        ASSERT_EQ(a.rig.Out(a.module, 0), 0.0f) << n;
    }
    a.rig.Step();
    EXPECT_FLOAT_EQ(a.rig.Out(a.module, 0), 0.5f * 0.8f);
}

TEST(Delay, StatusFollowsTheOutputAboveAThousandth) {
    DelayRig a(0.1f, 0.0f, 1.0f);
    a.rig.Set(a.in, 0.002f);
    a.rig.Step();
    EXPECT_EQ(a.rig.Out(a.module, 1), 1.0f);
    a.rig.Set(a.in, -0.0005f);
    a.rig.Step();
    EXPECT_EQ(a.rig.Out(a.module, 1), 0.0f);
}

TEST(Delay, ShortDelayIsStoredBackIntoItsSource) {
    DelayRig a(0.0f, 0.0f, 1.0f);
    a.rig.Step();
    EXPECT_EQ(a.rig.Out(a.delay, 0), 0.05f);
    // 0.05 x 44090 = 2204.5: the wrap drops the half frame, so the loop is 2205 frames.
    EXPECT_EQ(a.EchoDelay(), 2205);
}

TEST(Delay, UnconnectedControlsAllReadTheFloorFromTheSharedCell) {
    EngineRig rig;
    const int32_t in = rig.Knob(1.0f);
    const int32_t d = rig.Add(kTypeDelay);
    ASSERT_TRUE(rig.Wire(in, 0, d, 0));
    rig.Step();
    // Delay 0.5 then Feedback 0.0 into the one cell; the floor then stores 0.05.
    EXPECT_EQ(rig.E().unconnected, 0.05f);
    rig.Set(in, 0.0f);
    int32_t n = 0;
    do {
        rig.Step();
        ++n;
    } while (rig.Out(d, 0) == 0.0f && n < 10000);
    // Loop 0.05 x 44090 = 2204.5 frames; mix 0.05.
    EXPECT_EQ(n, 2205);
    EXPECT_FLOAT_EQ(rig.Out(d, 0), 0.05f);
}

TEST(Delay, TwoModulesShareOnePositionAndHearEachOther) {
    DelayRig a(0.1f, 0.0f, 1.0f);
    const int32_t other = a.rig.Add(kTypeDelay);
    const int32_t mix = a.rig.Knob(1.0f);
    ASSERT_TRUE(a.rig.Wire(mix, 0, other, 3));
    for (int32_t i = 0; i < 100; ++i) a.rig.Step();
    EXPECT_EQ(a.rig.E().delay.position, 200);
    // The second module has no input of its own, yet it plays the first one's impulse.
    a.rig.Set(a.in, 1.0f);
    a.rig.Step();
    a.rig.Set(a.in, 0.0f);
    bool heard = false;
    for (int32_t i = 0; i < 5000 && !heard; ++i) {
        a.rig.Step();
        heard = a.rig.Out(other, 0) != 0.0f;
    }
    EXPECT_TRUE(heard);
}

TEST(Delay, OversizedDelayKeepsThePositionInsideTheLine) {
    for (float d : {1.0002f, 1.001f, 2.0f, 1e9f, INFINITY, std::nanf("")}) {
        DelayRig a(d, 0.0f, 1.0f);
        for (int32_t i = 0; i < 2 * kDelayLineLength; ++i) {
            a.rig.Step();
            const int32_t position = a.rig.E().delay.position;
            ASSERT_GE(position, 0) << d;
            ASSERT_LT(position, kDelayLineLength) << d;
        }
    }
}

TEST(Delay, ClearingTheLineSilencesPendingEchoes) {
    DelayRig a(0.1f, 0.9f, 1.0f);
    a.rig.Set(a.in, 1.0f);
    a.rig.Step();
    a.rig.Set(a.in, 0.0f);
    for (int32_t i = 0; i < 100; ++i) a.rig.Step();
    ClearDelayLine(a.rig.E());
    EXPECT_EQ(a.rig.E().delay.position, 0);
    for (int32_t i = 0; i < 20000; ++i) {
        a.rig.Step();
        ASSERT_EQ(a.rig.Out(a.module, 0), 0.0f);
    }
}

struct ReverbRig {
    EngineRig rig;
    int32_t inL, inR, size, mix, hiCut, onOff, module;
    ReverbRig() {
        inL = rig.Knob(0.0f);
        inR = rig.Knob(0.0f);
        size = rig.Knob(0.5f);
        mix = rig.Knob(1.0f);
        hiCut = rig.Knob(0.3f);
        onOff = rig.Knob(1.0f);
        module = rig.Add(kTypeReverb);
        const int32_t sources[] = {inL, inR, size, mix, hiCut, onOff};
        for (int32_t k = 0; k < 6; ++k) EXPECT_TRUE(rig.Wire(sources[k], 0, module, k));
    }
    void Impulse(int32_t input) {
        rig.Set(input, 1.0f);
        rig.Step();
        rig.Set(input, 0.0f);
    }
    float L() const { return rig.Out(module, 0); }
    float R() const { return rig.Out(module, 1); }
};

TEST(Reverb, FirstEchoesArriveAfterTheShortestCombOfEachSide) {
    ReverbRig a;
    a.rig.Step();
    a.Impulse(a.inL);
    a.Impulse(a.inR);
    int32_t firstL = -1;
    int32_t firstR = -1;
    for (int32_t n = 2; n < 3000 && (firstL < 0 || firstR < 0); ++n) {
        a.rig.Step();
        if (firstL < 0 && a.L() != 0.0f) firstL = n;
        if (firstR < 0 && a.R() != 0.0f) firstR = n;
    }
    // The left impulse went in one frame before the right one.
    EXPECT_EQ(firstL, 1116 + 0);
    EXPECT_EQ(firstR, 1139 + 1);
}

TEST(Reverb, TailDecaysAndStatusFallsToZero) {
    ReverbRig a;
    a.Impulse(a.inL);
    float early = 0.0f;
    for (int32_t n = 0; n < 5000; ++n) {
        a.rig.Step();
        early = std::max(early, std::fabs(a.L()));
        ASSERT_TRUE(std::isfinite(a.L()));
    }
    EXPECT_GT(early, 0.01f);
    EXPECT_EQ(a.rig.Out(a.module, 2), 1.0f);
    for (int32_t n = 0; n < 400000; ++n) a.rig.Step();
    EXPECT_LT(std::fabs(a.L()), 0.001f);
    EXPECT_EQ(a.rig.Out(a.module, 2), 0.0f);
}

TEST(Reverb, SwitchingOffPassesTheDryInputAndBackOnStartsEmpty) {
    ReverbRig a;
    a.Impulse(a.inL);
    for (int32_t n = 0; n < 3000; ++n) a.rig.Step();
    ASSERT_NE(a.L(), 0.0f);
    a.rig.Set(a.onOff, 0.0f);
    a.rig.Set(a.inL, 0.25f);
    a.rig.Set(a.inR, -0.5f);
    a.rig.Step();
    EXPECT_EQ(a.L(), 0.25f);
    EXPECT_EQ(a.R(), -0.5f);
    EXPECT_EQ(a.rig.Out(a.module, 2), 0.0f);
    a.rig.Set(a.inL, 0.0f);
    a.rig.Set(a.inR, 0.0f);
    a.rig.Set(a.onOff, 1.0f);
    for (int32_t n = 0; n < 3000; ++n) {
        a.rig.Step();
        ASSERT_EQ(a.L(), 0.0f) << n;
        ASSERT_EQ(a.R(), 0.0f) << n;
    }
}

TEST(Reverb, UnconnectedMixAndHiCutReadTheSizeDefault) {
    // Size unconnected stores 0.5 into the shared cell, which Mix and Hi Cut then read.
    auto render = [](bool wired) {
        EngineRig rig;
        const int32_t in = rig.Knob(0.0f);
        const int32_t silence = rig.Knob(0.0f);
        std::vector<int32_t> knobs;
        if (wired) {
            for (int32_t k = 0; k < 3; ++k) knobs.push_back(rig.Knob(0.5f));
        }
        const int32_t r = rig.Add(kTypeReverb);
        EXPECT_TRUE(rig.Wire(in, 0, r, 0));
        EXPECT_TRUE(rig.Wire(silence, 0, r, 1));
        if (wired) {
            EXPECT_TRUE(rig.Wire(knobs[0], 0, r, 2));
            EXPECT_TRUE(rig.Wire(knobs[1], 0, r, 3));
            EXPECT_TRUE(rig.Wire(knobs[2], 0, r, 4));
        }
        std::vector<float> out;
        for (int32_t n = 0; n < 4000; ++n) {
            rig.Set(in, n == 1 ? 1.0f : 0.0f);
            rig.Step();
            out.push_back(rig.Out(r, 0));
        }
        return out;
    };
    const std::vector<float> open = render(false);
    EXPECT_EQ(open, render(true));
    float peak = 0.0f;
    for (size_t n = 2; n < open.size(); ++n) peak = std::max(peak, std::fabs(open[n]));
    EXPECT_GT(peak, 0.0f);
}

} // namespace
} // namespace tw::test
