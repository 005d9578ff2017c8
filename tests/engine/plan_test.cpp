// The engine's plan against the plain frame loop it replaces: random projects rendered both
// ways must agree in every sample and in every value the engine keeps between blocks.
#include "engine/schedule.h"
#include "engine/voices.h"
#include "model/catalogue.h"
#include "model/instrument.h"
#include "support/engine_rig.h"
#include "support/patches.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace tw::test {
namespace {

// Sanitizer builds run the same test on fewer projects.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kDefaultProjects = 150;
#else
constexpr int kDefaultProjects = 3000;
#endif

// A longer or different run: TW_PLAN_PROJECTS=N, TW_PLAN_SEED=S.
int EnvOr(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

bool SameBits(const void* a, const void* b, std::size_t bytes) {
    return std::memcmp(a, b, bytes) == 0;
}

// Two engines on two copies of one project: edits go to both, the first runs its plan,
// the second the plain frame loop (with voices: the voice frame loop).
struct Twin {
    EngineRig plan{48000.0};
    EngineRig loop{48000.0};
    std::mt19937 rng;
    std::vector<int32_t> types;
    int32_t voices;

    explicit Twin(uint32_t seed, int32_t voiceCount) : rng(seed), voices(voiceCount) {
        for (const ModuleTypeInfo& info : ModuleTypes()) types.push_back(info.type);
        // More of the types that share state or read the shared cell, and with voices more
        // note converters and modules that store into the cell from inside a voice.
        for (int32_t type : {kTypeDelay, kTypeNoise, kTypeTestModule, kTypeOutput, kTypeCombine}) {
            types.push_back(type);
        }
        if (voices > 1)
            types.insert(types.end(), {kTypeMidi2CV, kTypeMidi2CV, kTypeLfo, kTypeSplit});
        Both([&](Project& p, Engine& e) {
            p.voiceCount = voices;
            PrepareVoices(e, voices);
        });
    }
    int32_t Pick(int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); }
    template <typename Edit> void Both(Edit edit) {
        edit(plan.P(), plan.E());
        edit(loop.P(), loop.E());
    }

    // A PolyWave, or a random type other than it.
    int32_t NewType(bool polyWave) {
        int32_t type = kTypePolyWave;
        while (!polyWave && type == kTypePolyWave) {
            type = types[static_cast<std::size_t>(Pick(static_cast<int32_t>(types.size())))];
        }
        return type;
    }

    void AddModule(bool polyWave = false) {
        const int32_t type = NewType(polyWave);
        const int32_t x = Pick(1600), y = Pick(1000);
        Both([&](Project& p, Engine&) { p.InsertModule(type, x, y, 400, 300); });
    }

    void AddCable(int32_t span) {
        int32_t from = PortIndex(Pick(span), Pick(kPortsPerSlot));
        // With voices most cables leave the voice part, so that it grows and feeds the rest.
        uint8_t perVoice[kSlotCount];
        if (voices > 1 && Pick(3) != 0 && VoicePartOf(plan.P(), perVoice) > 0) {
            std::vector<int32_t> slots;
            for (int32_t slot = 0; slot < span; ++slot)
                if (perVoice[slot] != 0) slots.push_back(slot);
            if (!slots.empty())
                from = PortIndex(slots[Pick(static_cast<int32_t>(slots.size()))], Pick(4));
        }
        const int32_t to = PortIndex(Pick(span), Pick(kPortsPerSlot));
        Both([&](Project& p, Engine&) { p.Connect(from, to); });
    }

    // A PolyWave's Wave and Density only from a knob, so that its table is rebuilt at
    // most when the knob moves.
    void TamePolyWaves() {
        for (int32_t slot = 0; slot < kSlotCount; ++slot) {
            if (plan.P().slots[slot].type != kTypePolyWave) continue;
            for (int32_t k : {poly_wave::kWave, poly_wave::kDensity}) {
                const int32_t source = plan.P().routes[PortIndex(slot, k)];
                if (source == kNone || plan.P().slots[SlotOfPort(source)].type == kTypeParameter) {
                    continue;
                }
                Both([&](Project& p, Engine&) { p.DisconnectInput(PortIndex(slot, k)); });
            }
        }
    }

    void TurnKnobs() {
        for (int32_t slot = 0; slot < kSlotCount; ++slot) {
            if (plan.P().slots[slot].type != kTypeParameter) continue;
            const float value = static_cast<float>(Pick(201) - 50) * 0.01f;
            Both([&](Project& p, Engine&) { p.slots[slot].value = value; });
        }
    }

    // One edit, note or patch switch between blocks.
    void Between(int32_t span) {
        const int32_t action = Pick(10);
        if (action < 3) {
            const int32_t note = 20 + Pick(90);
            const int32_t status = Pick(3) == 0 ? kNoteOff : kNoteOn;
            const int32_t velocity = Pick(128);
            Both([&](Project&, Engine& e) { HandleNoteEvent(e, status, note, velocity); });
        } else if (action == 3) {
            // A patch switch: every knob to its step in the new patch, the delay cleared.
            const int32_t patch = Pick(kPatchCount);
            for (int32_t slot = 0; slot < kSlotCount; ++slot) {
                const int32_t step = Pick(101);
                Both([&](Project& p, Engine&) { p.slots[slot].patchValues[patch] = step; });
            }
            Both([&](Project& p, Engine& e) {
                p.currentPatch = patch;
                p.RecomputeParameterValues();
                e.ClearDelayLine();
            });
        } else if (action == 4) {
            const int32_t slot = Pick(span);
            Both([&](Project& p, Engine&) { p.DeleteModule(slot); });
        } else if (action == 5) {
            AddModule();
        } else if (action == 6) {
            const int32_t input = PortIndex(Pick(span), Pick(kPortsPerSlot));
            Both([&](Project& p, Engine&) { p.DisconnectInput(input); });
        } else if (action == 7) {
            AddCable(span);
        } else if (action == 8) {
            TurnKnobs();
        } else if (voices > 1) {
            // All Sound Off: blocks with no voice sounding follow.
            Both([&](Project&, Engine& e) { HandleKeyboardMessage(e, 0xB0, 120, 0); });
        }
        TamePolyWaves();
    }

    // Runs a block both ways; false (with a message) at the first difference.
    ::testing::AssertionResult Block(uint32_t frames) {
        std::vector<float> a(2 * frames, 1.0f), b(2 * frames, 1.0f);
        ProcessBlock(plan.E(), a.data(), frames);
        std::fill(b.begin(), b.end(), 0.0f);
        if (voices > 1) {
            TakeSilenceRequest(loop.E());
            RunVoiceFrameLoop(loop.E(), b.data(), frames);
        } else {
            RunFrameLoop(loop.E(), b.data(), frames);
        }
        const Engine& x = plan.E();
        const Engine& y = loop.E();
        for (int32_t v = 0; v < voices; ++v) {
            // What a sounding voice reads of its own modules must agree; its copies of
            // once-only outputs and its shared cell are taken afresh from the main engine's.
            const Engine& xv = *x.voices->engines[v];
            const Engine& yv = *y.voices->engines[v];
            bool same = x.voices->alloc.note[v] == y.voices->alloc.note[v] &&
                        SameBits(xv.inputs, yv.inputs, sizeof xv.inputs);
            for (int32_t i = 0; i < kPortCount; ++i) {
                const int32_t r = x.project.routes[i];
                same = same &&
                       (r < 0 || !IsVoiceSlot(x, SlotOfPort(r)) || x.voices->alloc.note[v] < 0 ||
                        SameBits(&xv.outputs[r], &yv.outputs[r], sizeof(float)));
            }
            if (!same) return ::testing::AssertionFailure() << "voice " << v << " differs";
        }
        if (!SameBits(a.data(), b.data(), a.size() * sizeof(float))) {
            return ::testing::AssertionFailure() << "samples differ";
        }
        if (!SameBits(x.outputs, y.outputs, sizeof x.outputs)) {
            return ::testing::AssertionFailure() << "output values differ";
        }
        if (!SameBits(x.inputs, y.inputs, sizeof x.inputs)) {
            return ::testing::AssertionFailure() << "input copies differ";
        }
        if (!SameBits(&x.unconnected, &y.unconnected, sizeof x.unconnected)) {
            return ::testing::AssertionFailure() << "shared cell differs";
        }
        return ::testing::AssertionSuccess();
    }
};

class PlanOverVoices : public ::testing::TestWithParam<int32_t> {};

TEST_P(PlanOverVoices, GivesTheFrameLoopsValuesForRandomProjects) {
    const int32_t voices = GetParam();
    Twin twin(static_cast<uint32_t>(EnvOr("TW_PLAN_SEED", 20261207)), voices);
    const uint32_t sizes[] = {1, 2, 3, 17, 63, 64, 65, 100, 129, 300};
    int64_t blockModules = 0, groupedModules = 0, voiceModules = 0;
    const int projects = EnvOr("TW_PLAN_PROJECTS", kDefaultProjects) / (voices > 1 ? 3 : 1);
    for (int n = 0; n < projects; ++n) {
        SCOPED_TRACE(n);
        // Start from an empty project but keep the engines' state: stale input copies,
        // phases and the shared cell carry over, as after New Project.
        twin.Both([](Project& p, Engine&) {
            p.ResetModuleSlots();
            p.ResetPorts();
            p.RebuildRoutes();
        });
        // Now and then two PolyWaves (whose table rebuilds cost milliseconds).
        const bool polyWave = n % 200 == 100;
        const int32_t modules = 2 + twin.Pick(n % 10 == 0 ? 120 : 30);
        for (int32_t i = 0; i < modules; ++i) twin.AddModule(polyWave && i < 2);
        // Gaps in the slots put later modules before earlier ones in the list.
        for (int32_t i = twin.Pick(4); i > 0; --i) {
            const int32_t slot = twin.Pick(modules);
            twin.Both([&](Project& p, Engine&) { p.DeleteModule(slot); });
            twin.AddModule();
        }
        for (int32_t i = twin.Pick(3 * modules); i > 0; --i) twin.AddCable(modules);
        twin.TamePolyWaves();
        twin.TurnKnobs();
        for (int32_t round = twin.Pick(6); round >= 0; --round) {
            SCOPED_TRACE(round);
            const uint32_t frames = sizes[twin.Pick(static_cast<int32_t>(std::size(sizes)))];
            ASSERT_TRUE(twin.Block(frames));
            const ScheduleStats stats = LastScheduleStats(twin.plan.E());
            if (frames > 1) {
                ASSERT_TRUE(stats.planned);
                blockModules += stats.modules;
                groupedModules += stats.grouped;
                if (SoundingVoices(twin.plan.E()) > 0) voiceModules += stats.voiced;
            }
            twin.Between(modules);
        }
    }
    // Both ways of running must really have been exercised.
    EXPECT_GT(blockModules, projects);
    EXPECT_GT(groupedModules, projects);
    if (voices > 1) {
        EXPECT_GT(voiceModules, projects);
    }
}

INSTANTIATE_TEST_SUITE_P(Plan, PlanOverVoices, ::testing::Values(1, 5, 16));

// More values crossing between groups at once than the plan has streams for: the plain
// loop runs instead, with the same samples.
TEST(Plan, APatchBeyondItsStreamsRunsThePlainLoop) {
    EngineRig plan(48000.0), loop(48000.0);
    for (EngineRig* rig : {&plan, &loop}) {
        std::vector<int32_t> sources;
        for (int i = 0; i < 320; ++i) sources.push_back(rig->Add(kTypeFixedValues));
        int32_t bay = kNone;
        for (int32_t k = 0; k < 320 * 5; ++k) {
            if (k % kPortsPerSlot == 0) bay = rig->Add(kTypePatchbay);
            ASSERT_TRUE(
                rig->Wire(sources[static_cast<std::size_t>(k / 5)], k % 5, bay, k % kPortsPerSlot));
        }
        ASSERT_TRUE(rig->Wire(bay, 0, rig->Add(kTypeOutput), 1));
    }
    std::vector<float> a(2 * 64), b(2 * 64);
    ProcessBlock(plan.E(), a.data(), 64);
    RunFrameLoop(loop.E(), b.data(), 64);
    EXPECT_FALSE(LastScheduleStats(plan.E()).planned);
    EXPECT_EQ(a, b);
    EXPECT_NE(a[10], 0.0f);
}

TEST(Plan, RunsTheVoicePatchByBlockRules) {
    EngineRig plan(48000.0), loop(48000.0);
    BuildVoicePatch(plan.P());
    BuildVoicePatch(loop.P());
    std::vector<float> a(2 * 512), b(2 * 512);
    for (int round = 0; round < 3; ++round) {
        ProcessBlock(plan.E(), a.data(), 512);
        RunFrameLoop(loop.E(), b.data(), 512);
        ASSERT_EQ(a, b) << round;
    }
    const ScheduleStats stats = LastScheduleStats(plan.E());
    EXPECT_EQ(stats.modules, 1020);
    EXPECT_EQ(stats.groups, 0);
}

} // namespace
} // namespace tw::test
