// The frame loop: how values travel between modules (direct and cached reads, list
// order, feedback), the shared unconnected cell, the Output module and the block layout.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

namespace tw::test {
namespace {

// A Parameter module is the simplest source of a chosen value.
int32_t AddSource(EngineRig& rig, float value) {
    const int32_t s = rig.Add(kTypeParameter);
    rig.P().slots[s].value = value;
    return s;
}

// Index of the first frame (1-based) at which `values` shows `target`, or 0.
int32_t FirstFrameShowing(const std::vector<float>& values, float target) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == target) return static_cast<int32_t>(i) + 1;
    }
    return 0;
}

TEST(FrameLoop, UnconnectedOutputInputsReadTheVolumeDefault) {
    EngineRig rig;
    const int32_t osc = rig.Add(kTypeOscillator);
    const int32_t out = rig.Add(kTypeOutput);
    ASSERT_TRUE(rig.Wire(osc, 0, out, 1));
    for (int i = 0; i < 200; ++i) {
        float block[2] = {};
        ProcessBlock(rig.E(), block, 1);
        const double o = rig.Out(osc, 0);
        // Three idle Left inputs and all four Right inputs read the cell that the
        // unconnected Volume's default (0.5) was stored in.
        EXPECT_EQ(block[0], static_cast<float>((o + 1.5) * 0.5 * static_cast<double>(0.1f)));
        EXPECT_EQ(block[1], static_cast<float>(2.0 * 0.5 * static_cast<double>(0.1f)));
    }
}

TEST(FrameLoop, NegativeVolumeIsStoredBackIntoItsSource) {
    EngineRig rig;
    const int32_t volume = AddSource(rig, -2.0f);
    const int32_t tone = AddSource(rig, 0.8f);
    const int32_t out = rig.Add(kTypeOutput);
    rig.Wire(volume, 0, out, 0);
    rig.Wire(tone, 0, out, 1);
    rig.Render(64);
    for (float s : rig.left) EXPECT_EQ(s, 0.0f);
    // The store-back wrote the source's output value; it stays 0 until the source runs.
    EXPECT_EQ(rig.Out(volume, 0), 0.0f);
    rig.P().slots[volume].value = 1.0f;
    rig.Render(1);
    // Nothing here stores a default, so the idle Left inputs read the cell's initial 0.
    EXPECT_EQ(rig.left[0],
              static_cast<float>(static_cast<double>(0.8f) * static_cast<double>(0.1f)));
}

TEST(FrameLoop, SamplesAboveOneReachTheBlockUnclipped) {
    EngineRig rig;
    const int32_t volume = AddSource(rig, 1.0f);
    const int32_t loud = AddSource(rig, 30.0f);
    const int32_t out = rig.Add(kTypeOutput);
    rig.Wire(volume, 0, out, 0);
    rig.Wire(loud, 0, out, 5);
    rig.Render(4);
    EXPECT_FLOAT_EQ(rig.right[3], 3.0f);
}

TEST(FrameLoop, WithoutAnOutputModuleTheBlockIsSilence) {
    EngineRig rig;
    rig.Add(kTypeOscillator);
    std::vector<float> block(2 * 256, 123.0f);
    ProcessBlock(rig.E(), block.data(), 256);
    for (float s : block) EXPECT_EQ(s, 0.0f);
    // The callback shape hands the same block back filled and always keeps running.
    std::vector<float> device(2 * 64, -7.0f);
    EXPECT_EQ(ProcessAudio(device.data(), nullptr, 64, 0.0, 0, &rig.E()), 0);
    for (float s : device) EXPECT_EQ(s, 0.0f);
}

TEST(FrameLoop, LeftAndRightAreNotInterleaved) {
    EngineRig rig;
    const int32_t volume = AddSource(rig, 1.0f);
    const int32_t l = AddSource(rig, 2.0f);
    const int32_t r = AddSource(rig, -3.0f);
    const int32_t out = rig.Add(kTypeOutput);
    rig.Wire(volume, 0, out, 0);
    rig.Wire(l, 0, out, 1);
    rig.Wire(r, 0, out, 5);
    std::vector<float> block(2 * 5);
    ProcessBlock(rig.E(), block.data(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(block[i], 0.2f);
        EXPECT_FLOAT_EQ(block[5 + i], -0.3f);
    }
}

// A value change at a source appears at a reader after 0, 1 or 2 frames depending on the
// reader's read mode and on whether the source comes before or after it in slot order.
TEST(FrameLoop, DirectReadOfAnEarlierSlotSeesTheSameFrame) {
    EngineRig rig;
    const int32_t src = AddSource(rig, 0.0f);
    const int32_t split = rig.Add(kTypeSplit);
    rig.Wire(src, 0, split, 0);
    rig.Probe(split, 0, 3);
    rig.P().slots[src].value = 1.0f;
    EXPECT_EQ(FirstFrameShowing(rig.Probe(split, 0, 4), 1.0f), 1);
}

TEST(FrameLoop, DirectReadOfALaterSlotIsOneFrameLate) {
    EngineRig rig;
    const int32_t split = rig.Add(kTypeSplit);
    const int32_t src = AddSource(rig, 0.0f);
    rig.Wire(src, 0, split, 0);
    rig.Probe(split, 0, 3);
    rig.P().slots[src].value = 1.0f;
    EXPECT_EQ(FirstFrameShowing(rig.Probe(split, 0, 4), 1.0f), 2);
}

TEST(FrameLoop, CachedReadOfAnEarlierSlotIsOneFrameLate) {
    EngineRig rig;
    const int32_t src = AddSource(rig, 0.0f);
    const int32_t inv = rig.Add(kTypeInverter);
    rig.Wire(src, 0, inv, 0);
    rig.Probe(inv, 0, 3);
    rig.P().slots[src].value = 1.0f;
    EXPECT_EQ(FirstFrameShowing(rig.Probe(inv, 0, 4), -1.0f), 2);
}

TEST(FrameLoop, CachedReadOfALaterSlotIsTwoFramesLate) {
    EngineRig rig;
    const int32_t inv = rig.Add(kTypeInverter);
    const int32_t src = AddSource(rig, 0.0f);
    rig.Wire(src, 0, inv, 0);
    rig.Probe(inv, 0, 3);
    rig.P().slots[src].value = 1.0f;
    EXPECT_EQ(FirstFrameShowing(rig.Probe(inv, 0, 5), -1.0f), 3);
}

TEST(FrameLoop, SelfLoopsReadTheirOwnPreviousFrame) {
    EngineRig rig;
    const int32_t one = AddSource(rig, 1.0f);
    const int32_t combine = rig.Add(kTypeCombine); // direct reads
    const int32_t add = rig.Add(kTypeAdd);         // cached reads
    rig.Wire(combine, 0, combine, 0);
    rig.Wire(one, 0, combine, 1);
    rig.Wire(add, 0, add, 0);
    rig.Wire(one, 0, add, 1); // Parameter has one output, so feed Add from a second source
    const int32_t one2 = AddSource(rig, 1.0f);
    rig.Wire(one2, 0, add, 1);
    rig.Probe(combine, 0, 10);
    // Combine accumulates from the first frame; Add sees the source one frame late (its
    // source sits in a later slot, two frames for a cached read) and itself one frame late.
    EXPECT_EQ(rig.Out(combine, 0), 10.0f);
    EXPECT_EQ(rig.Out(add, 0), 8.0f);
}

TEST(FrameLoop, CombineAddsTheSharedCellWhereAddAddsZero) {
    EngineRig rig;
    const int32_t out = rig.Add(kTypeOutput); // stores its Volume default 0.5 in the cell
    const int32_t combine = rig.Add(kTypeCombine);
    const int32_t add = rig.Add(kTypeAdd);
    const int32_t a = AddSource(rig, 1.0f);
    const int32_t b = AddSource(rig, 1.0f);
    rig.Wire(a, 0, combine, 0);
    rig.Wire(b, 0, add, 0);
    (void)out;
    rig.Probe(combine, 0, 4);
    EXPECT_EQ(rig.Out(combine, 0), 1.5f);
    EXPECT_EQ(rig.Out(add, 0), 1.0f);
}

TEST(FrameLoop, UnconnectedCellKeepsTheLastStoredDefaultAcrossModules) {
    EngineRig rig;
    const int32_t osc = rig.Add(kTypeOscillator); // stores Pitch 5.0
    const int32_t split = rig.Add(kTypeSplit);
    const int32_t lfo = rig.Add(kTypeLfo); // stores Wave 0.0, then Level 1.0
    const int32_t split2 = rig.Add(kTypeSplit);
    (void)osc;
    (void)lfo;
    rig.Step();
    EXPECT_EQ(rig.Out(split, 0), 5.0f);
    EXPECT_EQ(rig.Out(split, 1), 5.0f);
    EXPECT_EQ(rig.Out(split2, 0), 1.0f);
    // The cell is never reset: a new project still starts from it.
    ResetEngine(rig.E());
    EXPECT_EQ(rig.E().unconnected, 1.0f);
}

TEST(FrameLoop, ARebuiltSlotDoesNotInheritStaleInputs) {
    EngineRig rig;
    const int32_t bay = rig.Add(kTypePatchbay);
    std::vector<int32_t> sources;
    for (int k = 0; k < 4; ++k) sources.push_back(AddSource(rig, 0.25f));
    for (int k = 0; k < 4; ++k) ASSERT_TRUE(rig.Wire(sources[k], 0, bay, k)) << k;
    rig.Probe(bay, 0, 3);
    EXPECT_EQ(rig.Out(bay, 0), 1.0f);
    // Replace the Patchbay by a two-input module, run it, then bring a Patchbay back:
    // its idle positions 2 and 3 must read 0, not the values the first one left there.
    rig.P().DeleteModule(bay);
    ASSERT_EQ(rig.Add(kTypeAdd), bay);
    rig.Step();
    rig.P().DeleteModule(bay);
    ASSERT_EQ(rig.Add(kTypePatchbay), bay);
    rig.Step();
    EXPECT_EQ(rig.Out(bay, 0), 0.0f);
}

TEST(FrameLoop, TheListCountIsReadForEveryEntry) {
    EngineRig rig;
    const int32_t a = AddSource(rig, 1.0f);
    const int32_t split = rig.Add(kTypeSplit);
    rig.Wire(a, 0, split, 0);
    // A list emptied between frames stops the engine at once: nothing runs.
    rig.P().activeCount = 0;
    rig.E().outputs[PortIndex(split, 0)] = -9.0f;
    rig.Step();
    EXPECT_EQ(rig.Out(split, 0), -9.0f);
    rig.P().RebuildActiveList();
    rig.Step();
    EXPECT_EQ(rig.Out(split, 0), 1.0f);
}

TEST(FrameLoop, UnknownTypesInTheListDoNothing) {
    EngineRig rig;
    const int32_t a = AddSource(rig, 1.0f);
    rig.P().activeTypes[0] = 22;
    rig.E().outputs[PortIndex(a, 0)] = -4.0f;
    rig.Step();
    EXPECT_EQ(rig.Out(a, 0), -4.0f);
    rig.P().activeTypes[0] = 99;
    rig.Step();
    EXPECT_EQ(rig.Out(a, 0), -4.0f);
}

} // namespace
} // namespace tw::test

namespace tw::test {
namespace {

// The frame loop as plainly as it can be written: every module, then all 16 input
// positions refreshed. The engine's loop must give the same samples.
void PlainBlock(Engine& e, float* block, uint32_t frames) {
    Project& p = e.project;
    std::fill(block, block + 2 * frames, 0.0f);
    for (uint32_t frame = 0; frame < frames; ++frame) {
        for (int32_t n = 0; n < p.activeCount; ++n) {
            const int32_t slot = p.activeSlots[n];
            EvaluateModule(e, p.activeTypes[n], slot, block, frames, frame);
            for (int32_t k = 0; k < kPortsPerSlot; ++k) {
                const int32_t source = p.routes[PortIndex(slot, k)];
                e.inputs[PortIndex(slot, k)] = source == kNone ? 0.0f : e.outputs[source];
            }
        }
    }
}

// A random patch of the given types with random cables (backward, forward, self).
void BuildRandom(EngineRig& rig, uint32_t seed, std::span<const int32_t> types) {
    uint32_t x = seed;
    auto next = [&x](uint32_t n) {
        x = x * 1664525u + 1013904223u;
        return (x >> 8) % n;
    };
    for (int i = 0; i < 60; ++i) rig.Add(types[next(static_cast<uint32_t>(types.size()))]);
    for (int i = 0; i < 400; ++i) {
        rig.Wire(static_cast<int32_t>(next(60)), static_cast<int32_t>(next(5)),
                 static_cast<int32_t>(next(60)), static_cast<int32_t>(next(16)));
    }
    for (int s = 0; s < 60; ++s) {
        if (rig.P().slots[s].type == kTypeParameter) rig.P().slots[s].value = 0.1f * (s % 11);
    }
}

void Replace(EngineRig& rig, int32_t slot, int32_t type) {
    rig.P().DeleteModule(slot);
    ASSERT_EQ(rig.Add(type), slot);
}

TEST(FrameLoop, MatchesAPlainLoopSampleForSample) {
    const int32_t types[] = {kTypeOutput,
                             kTypeMidi2CV,
                             kTypeSplit,
                             kTypeParameter,
                             kTypeAmplifier,
                             kTypeCombine,
                             kTypeInverter,
                             kTypeVoltMeter,
                             kTypeOscilloscope,
                             kTypeFixedValues,
                             kTypeOscillatorDriver,
                             kTypeMul,
                             kTypeDiv,
                             kTypeAdd,
                             kTypeSub,
                             kTypeA440,
                             kTypeRescale,
                             kTypeOscillator,
                             kTypeSwitch2In1Out,
                             kTypeSwitch1In2Out,
                             kTypeSwitch1In4Out,
                             kTypeLfo,
                             kTypePatchbay};
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        EngineRig fast, plain;
        BuildRandom(fast, seed, types);
        BuildRandom(plain, seed, types);
        std::vector<float> a(2 * 300), b(2 * 300);
        for (int round = 0; round < 4; ++round) {
            HandleNoteEvent(fast.E(), kNoteOn, 40 + round, 100);
            HandleNoteEvent(plain.E(), kNoteOn, 40 + round, 100);
            ProcessBlock(fast.E(), a.data(), 300);
            PlainBlock(plain.E(), b.data(), 300);
            ASSERT_EQ(a, b) << seed << " " << round;
            ASSERT_EQ(std::vector<float>(fast.E().inputs, fast.E().inputs + kPortCount),
                      std::vector<float>(plain.E().inputs, plain.E().inputs + kPortCount));
            // Swap a few modules for other types between blocks.
            const int32_t slot = static_cast<int32_t>((seed * 7 + round * 13) % 60);
            const int32_t type = types[(seed + round * 5) % std::size(types)];
            if (type == kTypeOutput) continue;
            Replace(fast, slot, type);
            Replace(plain, slot, type);
        }
    }
}

} // namespace
} // namespace tw::test
