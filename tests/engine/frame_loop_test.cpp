// The frame loop: the latency between modules, the loop against the plainest one possible,
// stale inputs of a rebuilt slot, and list entries that must run nothing.
#include "model/catalogue.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <vector>

namespace tw::test {
namespace {

// A change at a source shows at the reader after 1, 2 or 3 frames, by the reader's read
// mode and by whether the source comes before or after it in the list.
TEST(FrameLoop, LatencyFollowsReadModeAndListOrder) {
    struct Case {
        const char* name;
        int32_t reader;
        bool sourceFirst;
        int32_t frames;
    };
    const Case cases[] = {{"direct, source earlier", kTypeSplit, true, 1},
                          {"direct, source later", kTypeSplit, false, 2},
                          {"cached, source earlier", kTypeInverter, true, 2},
                          {"cached, source later", kTypeInverter, false, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        const int32_t first = rig.Add(c.sourceFirst ? kTypeParameter : c.reader);
        const int32_t second = rig.Add(c.sourceFirst ? c.reader : kTypeParameter);
        const int32_t source = c.sourceFirst ? first : second;
        const int32_t reader = c.sourceFirst ? second : first;
        ASSERT_TRUE(rig.Wire(source, 0, reader, 0));
        rig.Probe(reader, 0, 3);
        rig.Set(source, 1.0f);
        const std::vector<float> seen = rig.Probe(reader, 0, 5);
        int32_t late = 0;
        while (late < 5 && seen[late] == 0.0f) ++late;
        EXPECT_EQ(late + 1, c.frames);
    }
}

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
        if (rig.P().slots[s].type == kTypeParameter) rig.Set(s, 0.1f * (s % 11));
    }
}

// Bit for bit, so that NaNs from wild feedback compare too.
bool SameBits(const float* a, const float* b, std::size_t n) {
    return std::memcmp(a, b, n * sizeof(float)) == 0;
}

TEST(FrameLoop, MatchesAPlainLoopSampleForSample) {
    std::vector<int32_t> types;
    // A PolyWave rebuilds its table whenever its Wave input moves: too slow for wild cables.
    for (const ModuleTypeInfo& info : ModuleTypes()) {
        if (info.type != kTypePolyWave) types.push_back(info.type);
    }
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        EngineRig fast, plain;
        BuildRandom(fast, seed, types);
        BuildRandom(plain, seed, types);
        std::vector<float> a(2 * 300), b(2 * 300);
        for (int round = 0; round < 4; ++round) {
            fast.NoteOn(40 + round);
            plain.NoteOn(40 + round);
            ProcessBlock(fast.E(), a.data(), 300);
            PlainBlock(plain.E(), b.data(), 300);
            ASSERT_TRUE(SameBits(a.data(), b.data(), a.size())) << round;
            ASSERT_TRUE(SameBits(fast.E().inputs, plain.E().inputs, kPortCount)) << round;
            // Swap a module for another type between blocks.
            const int32_t slot = static_cast<int32_t>((seed * 7 + round * 13) % 60);
            const int32_t type = types[(seed + round * 5) % types.size()];
            if (type == kTypeOutput) continue;
            for (EngineRig* rig : {&fast, &plain}) {
                rig->P().DeleteModule(slot);
                ASSERT_EQ(rig->Add(type), slot);
            }
        }
    }
}

TEST(FrameLoop, ARebuiltSlotDoesNotInheritStaleInputs) {
    EngineRig rig;
    const int32_t bay = rig.Add(kTypePatchbay);
    for (int k = 0; k < 4; ++k) ASSERT_TRUE(rig.Wire(rig.Knob(0.25f), 0, bay, k)) << k;
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

TEST(FrameLoop, WithoutAnOutputModuleTheDeviceGetsSilence) {
    EngineRig rig;
    rig.Add(kTypeOscillator);
    std::vector<float> device(2 * 64, -7.0f);
    EXPECT_EQ(ProcessAudio(device.data(), nullptr, 64, 0.0, 0, &rig.E()), 0);
    for (float s : device) ASSERT_EQ(s, 0.0f);
}

// Entries the user-interface thread may leave for a moment: an emptied count stops the
// loop at once, and types outside the catalogue run nothing.
TEST(FrameLoop, EmptiedCountsAndUnknownTypesRunNothing) {
    EngineRig rig;
    const int32_t a = rig.Knob(1.0f);
    const int32_t split = rig.Add(kTypeSplit);
    rig.Wire(a, 0, split, 0);
    rig.P().activeCount = 0;
    rig.E().outputs[PortIndex(split, 0)] = -9.0f;
    rig.Step();
    EXPECT_EQ(rig.Out(split, 0), -9.0f);
    rig.P().RebuildActiveList();
    for (int32_t type : {0, 22, 42, 99, -5}) {
        rig.P().activeTypes[0] = type;
        rig.E().outputs[PortIndex(a, 0)] = -4.0f;
        rig.Step();
        EXPECT_EQ(rig.Out(a, 0), -4.0f) << type;
    }
}

} // namespace
} // namespace tw::test
