// The classic subtractive voice played by note events: Midi2CV -> Oscillator Driver ->
// Oscillator -> 2 Pole Low Pass -> Amplifier (level from an ADSR on the gate) -> Output.
#include "engine/envelope.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tw::test {
namespace {

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
    const float controls[] = {0.3f, 0.4f, 0.5f, 0.5f};
    for (int32_t k = 0; k < 4; ++k) ASSERT_TRUE(rig.Wire(rig.Knob(controls[k]), 0, adsr, k + 1));
    ASSERT_TRUE(rig.Wire(rig.Knob(1.0f), 0, out, 0));
    ASSERT_TRUE(rig.Wire(midi, 1, driver, 0));
    ASSERT_TRUE(rig.Wire(driver, 0, osc, 1));
    ASSERT_TRUE(rig.Wire(osc, 0, filter, 0));
    ASSERT_TRUE(rig.Wire(filter, 0, amp, 0));
    ASSERT_TRUE(rig.Wire(midi, 0, adsr, 0));
    ASSERT_TRUE(rig.Wire(adsr, 0, amp, 1));
    ASSERT_TRUE(rig.Wire(amp, 0, out, 1));

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
    // The envelope peaks after the attack time, then holds the sustain level.
    const auto peak = std::max_element(envelope.begin(), envelope.end());
    EXPECT_NEAR(static_cast<double>(peak - envelope.begin()), 0.247 * 44100, 0.02 * 44100);
    EXPECT_GT(*peak, 0.999f);
    EXPECT_EQ(envelope.back(), 0.5f);
    // Pitch over the sustained second: note 69 is 440 Hz.
    const std::vector<float> held(left.begin() + 44100, left.end());
    EXPECT_NEAR(MeasureFrequency(held, 44100.0), 440.0, 0.5);
    float loud = 0.0f;
    for (float v : held) loud = std::max(loud, std::fabs(v));
    EXPECT_GT(loud, 0.01f);
    EXPECT_LT(loud, 0.2f);

    rig.NoteOff(69);
    const size_t releaseStart = envelope.size();
    run(44100 + 2000);
    size_t idle = releaseStart;
    while (idle < envelope.size() && envelope[idle] != 0.0f) ++idle;
    // The release takes its 1.0 s down to silence, and then the voice is exactly silent.
    EXPECT_NEAR(static_cast<double>(idle - releaseStart), 44100.0, 0.02 * 44100);
    for (size_t i = idle + 2; i < left.size(); ++i) ASSERT_EQ(left[i], 0.0f) << i;
    EXPECT_EQ(rig.E().envelopes.stage[adsr], kAdsrIdle);
}

} // namespace
} // namespace tw::test
