// The offline renderer: the samples do not depend on the block size, note and controller
// events apply at their frame in any order, and a render carries on from the engine's state.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tw::test {
namespace {

// A mono voice with feedback and both read modes: Midi2CV -> Oscillator Driver -> Oscillator
// -> Amplifier (gate level), an Lfo on the pulse width, filtered noise, a scope, and the
// Output placed before its sources.
void BuildVoice(EngineRig& rig) {
    const int32_t out = rig.Add(kTypeOutput);
    const int32_t midi = rig.Add(kTypeMidi2CV);
    const int32_t driver = rig.Add(kTypeOscillatorDriver);
    const int32_t wave = rig.Knob(0.9f);
    const int32_t osc = rig.Add(kTypeOscillator);
    const int32_t lfo = rig.Add(kTypeLfo);
    const int32_t amp = rig.Add(kTypeAmplifier);
    const int32_t split = rig.Add(kTypeSplit);
    const int32_t scope = rig.Add(kTypeOscilloscope);
    const int32_t noise = rig.Add(kTypeNoise);
    const int32_t filter = rig.Add(kTypeLowPass2Pole);
    rig.Wire(midi, 1, driver, 0);
    rig.Wire(driver, 0, osc, 1);
    rig.Wire(wave, 0, osc, 0);
    rig.Wire(lfo, 0, osc, 3);
    rig.Wire(osc, 0, amp, 0);
    rig.Wire(midi, 0, amp, 1);
    rig.Wire(amp, 0, split, 0);
    rig.Wire(split, 0, out, 1);
    rig.Wire(split, 1, scope, 0);
    rig.Wire(scope, 0, out, 6);
    rig.Wire(noise, 1, filter, 0);
    rig.Wire(filter, 0, out, 7);
}

const NoteEvent kTune[] = {
    {0, kNoteOn, 60, 100},    {700, kNoteOn, 64, 90},  {1500, kNoteOff, 64, 0},
    {1500, kNoteOn, 67, 80},  {3000, kNoteOff, 60, 0}, {5000, kNoteOff, 67, 0},
    {6001, kNoteOn, 72, 127}, {8191, kNoteOff, 72, 0},
};

TEST(RenderOffline, BlockSizeDoesNotChangeTheSamples) {
    EngineRig reference;
    BuildVoice(reference);
    reference.Render(8192, 512, kTune);
    float energy = 0.0f;
    for (float s : reference.left) energy += s * s;
    EXPECT_GT(energy, 1.0f);
    for (uint32_t block : {1u, 3u, 511u, 4096u, 8192u, 100000u}) {
        EngineRig rig;
        BuildVoice(rig);
        rig.Render(8192, block, kTune);
        EXPECT_EQ(rig.left, reference.left) << block;
        EXPECT_EQ(rig.right, reference.right) << block;
    }
    // Two renders in a row carry on from where the first stopped.
    EngineRig parts;
    BuildVoice(parts);
    parts.Render(1000, 512, std::span(kTune).first(2));
    std::vector<float> joined = parts.left;
    const NoteEvent later[] = {{500, kNoteOff, 64, 0}, {500, kNoteOn, 67, 80}};
    parts.Render(2000, 512, later);
    joined.insert(joined.end(), parts.left.begin(), parts.left.end());
    EXPECT_EQ(joined, std::vector<float>(reference.left.begin(), reference.left.begin() + 3000));
}

TEST(RenderOffline, EventsApplyAtTheirFrameInAnyOrder) {
    EngineRig rig;
    const int32_t volume = rig.Knob(1.0f);
    const int32_t midi = rig.Add(kTypeMidi2CV);
    const int32_t out = rig.Add(kTypeOutput);
    rig.Wire(volume, 0, out, 0);
    rig.Wire(midi, 0, out, 1);
    ASSERT_TRUE(rig.P().BindMidiCc(volume, 7));
    // Unsorted; the two events at frame 300 keep their order, so the note ends released.
    // The volume's controller silences frames 150 to 179 of the held note.
    const NoteEvent events[] = {{300, kNoteOn, 50, 100},      {100, kNoteOn, 50, 100},
                                {300, kNoteOff, 50, 0},       {180, kControlChange, 7, 127},
                                {200, kNoteOff, 50, 0},       {150, kControlChange, 7, 0},
                                {160, kControlChange, 8, 127}};
    rig.Render(400, 64, events);
    for (uint32_t i = 0; i < 400; ++i) {
        const bool held = i >= 100 && i < 200 && (i < 150 || i >= 180);
        EXPECT_EQ(rig.left[i] != 0.0f, held) << i;
    }
}

// The reset restores notes, filter and envelope memories, delay, reverb and generator as in
// a fresh engine. Input copies are kept by design (like phases), so they are cleared by hand.
TEST(RenderOffline, ARenderRepeatsExactlyAfterAReset) {
    std::vector<float> first;
    EngineRig rig;
    for (int run = 0; run < 2; ++run) {
        ResetEngine(rig.E());
        std::fill(std::begin(rig.E().inputs), std::end(rig.E().inputs), 0.0f);
        // White noise through every filter, an envelope on the note gate, delay and reverb.
        const int32_t chain[] = {kTypeTestModule,    kTypeLowPass2Pole, kTypeLowPass1Pole,
                                 kTypeHighPass1Pole, kTypeAllPass,      kTypeFormant,
                                 kTypeAmplifier,     kTypeDelay,        kTypeReverb};
        int32_t previous = kNone, amp = kNone;
        for (int32_t type : chain) {
            const int32_t slot = rig.Add(type);
            if (previous != kNone) {
                ASSERT_TRUE(rig.Wire(previous, 0, slot, 0));
            }
            if (type == kTypeAmplifier) amp = slot;
            previous = slot;
        }
        const int32_t midi = rig.Add(kTypeMidi2CV);
        const int32_t adsr = rig.Add(kTypeAdsr);
        const int32_t out = rig.Add(kTypeOutput);
        ASSERT_TRUE(rig.Wire(midi, 0, adsr, 0));
        ASSERT_TRUE(rig.Wire(adsr, 0, amp, 1));
        ASSERT_TRUE(rig.Wire(previous, 0, out, 1));
        ASSERT_TRUE(rig.Wire(previous, 1, out, 5));
        // Stopped with note 67 held, the reverb and the delay still sounding.
        rig.Render(4000, 512, kTune);
        if (run == 0) first = rig.left;
        EXPECT_EQ(rig.left, first);
        EXPECT_GT(std::fabs(rig.left.back()), 0.0f);
    }
}

} // namespace
} // namespace tw::test
