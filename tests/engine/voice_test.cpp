// The classic subtractive voice, built with the model API and played by note events:
// Midi2CV -> Oscillator Driver -> Oscillator -> 2 Pole Low Pass -> Amplifier -> Output,
// the Amplifier's level coming from an ADSR on the gate.
#include "engine/envelope.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tw::test {
namespace {

// Frames an exponential segment set up for `seconds` takes from 1 to below 0.001.
double SegmentFrames(double seconds, double rate) {
    return std::ceil(std::log(0.001) / std::log1p(std::log(0.001) / (rate * seconds)));
}

// Rising zero crossings, interpolated between frames, give the mean period.
double MeasureFrequency(const std::vector<float>& x, double rate) {
    double first = -1.0;
    double last = -1.0;
    int32_t crossings = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0.0) first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0.0;
}

TEST(PlayableVoice, Note69PlaysAt440HzShapedByTheEnvelopeThenFallsSilent) {
    EngineRig rig;
    const int32_t midi = rig.Add(kTypeMidi2CV);
    const int32_t driver = rig.Add(kTypeOscillatorDriver);
    const int32_t osc = rig.Add(kTypeOscillator);
    const int32_t filter = rig.Add(kTypeLowPass2Pole);
    const int32_t adsr = rig.Add(kTypeAdsr);
    const int32_t amp = rig.Add(kTypeAmplifier);
    const int32_t out = rig.Add(kTypeOutput);
    // Attack 0.247 s, decay 0.497 s, sustain 0.5, release 1.0 s; volume 1.
    const int32_t attack = rig.Knob(0.3f);
    const int32_t decay = rig.Knob(0.4f);
    const int32_t sustain = rig.Knob(0.5f);
    const int32_t release = rig.Knob(0.5f);
    const int32_t volume = rig.Knob(1.0f);
    ASSERT_TRUE(rig.Wire(midi, 1, driver, 0));
    ASSERT_TRUE(rig.Wire(driver, 0, osc, 1));
    ASSERT_TRUE(rig.Wire(osc, 0, filter, 0));
    ASSERT_TRUE(rig.Wire(filter, 0, amp, 0));
    ASSERT_TRUE(rig.Wire(midi, 0, adsr, 0));
    ASSERT_TRUE(rig.Wire(attack, 0, adsr, 1));
    ASSERT_TRUE(rig.Wire(decay, 0, adsr, 2));
    ASSERT_TRUE(rig.Wire(sustain, 0, adsr, 3));
    ASSERT_TRUE(rig.Wire(release, 0, adsr, 4));
    ASSERT_TRUE(rig.Wire(adsr, 0, amp, 1));
    ASSERT_TRUE(rig.Wire(amp, 0, out, 1));
    ASSERT_TRUE(rig.Wire(volume, 0, out, 0));

    constexpr double kRate = 44100.0;
    for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(rig.Step(), 0.0f);

    rig.NoteOn(69);
    std::vector<float> left;
    std::vector<float> envelope;
    auto run = [&](int32_t frames) {
        for (int32_t i = 0; i < frames; ++i) {
            left.push_back(rig.Step());
            envelope.push_back(rig.Out(adsr, 0));
        }
    };
    run(2 * 44100);
    // Attack: the envelope rises to its peak in the table's 0.247 s (the gate reaches
    // the cached ADSR input a frame late).
    size_t peak = 0;
    for (size_t i = 0; i < envelope.size(); ++i) {
        if (envelope[i] > envelope[peak]) peak = i;
    }
    EXPECT_NEAR(static_cast<double>(peak), SegmentFrames(0.247, kRate) + 1, 3);
    EXPECT_GT(envelope[peak], 0.999f);
    // Decay: falls on the decay curve to the sustain level and holds it.
    const double decayFrames =
        std::ceil(std::log(0.5) / std::log1p(std::log(0.001) / (0.497 * kRate)));
    const size_t reached = peak + static_cast<size_t>(decayFrames);
    EXPECT_GT(envelope[reached - 5], 0.5f);
    EXPECT_EQ(envelope[reached + 5], 0.5f);
    EXPECT_EQ(envelope.back(), 0.5f);
    // Pitch over the sustained second: note 69 is 440 Hz.
    const std::vector<float> held(left.begin() + 44100, left.end());
    EXPECT_NEAR(MeasureFrequency(held, kRate), 440.0, 0.5);
    float loud = 0.0f;
    for (float v : held) loud = std::max(loud, std::fabs(v));
    EXPECT_GT(loud, 0.01f);
    EXPECT_LT(loud, 0.2f);

    rig.NoteOff(69);
    const size_t releaseStart = envelope.size();
    run(44100 + 2000);
    size_t idle = releaseStart;
    while (idle < envelope.size() && envelope[idle] != 0.0f) ++idle;
    // Release: the table's 1.0 s from the held level down to silence.
    EXPECT_NEAR(static_cast<double>(idle - releaseStart), SegmentFrames(1.0, kRate) + 1, 3);
    EXPECT_LT(envelope[releaseStart + 22050], 0.05f);
    EXPECT_GT(envelope[releaseStart + 22050], 0.0f);
    // After the release the voice is silent: amplifier and output exactly 0.
    for (size_t i = idle + 2; i < left.size(); ++i) ASSERT_EQ(left[i], 0.0f) << i;
    EXPECT_EQ(rig.E().envelopes.stage[adsr], kAdsrIdle);
}

} // namespace
} // namespace tw::test
