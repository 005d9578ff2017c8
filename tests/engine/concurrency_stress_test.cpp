// The program's three threads at full speed: the UI edits, undoes, redoes and switches
// patches, audio renders 512-frame blocks, MIDI plays notes and turns controllers. Nothing
// may crash or read outside a table, and under ThreadSanitizer nothing may race.
#include "model/catalogue.h"
#include "model/history.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace tw {
namespace {

double StressSeconds() {
    if (const char* text = std::getenv("TW_STRESS_SECONDS")) {
        const double seconds = std::atof(text);
        if (seconds > 0.0) return seconds;
    }
    return 10.0;
}

// Every entry the audio thread could see must name a real slot and type, and every
// route a real port or none.
bool SharedTablesInRange(const Project& p) {
    const int32_t count = p.activeCount;
    if (count < 0 || count > kSlotCount) return false;
    for (int32_t n = 0; n < count; ++n) {
        const int32_t slot = p.activeSlots[n];
        const int32_t type = p.activeTypes[n];
        if (!IsSlot(slot) || type < 0 || type > kMaxModuleType) return false;
    }
    for (int32_t k = 0; k < kPortCount; k += 7) {
        const int32_t route = p.routes[k];
        if (route != kNone && !IsPort(route)) return false;
    }
    return true;
}

TEST(ConcurrencyStress, EditingPlayingAndRenderingAtOnceStayInsideTheTables) {
    test::EngineRig rig(48000.0);
    Project& p = rig.P();
    Engine& e = rig.E();

    // A playable voice to start from, so that notes and parameters matter.
    const int32_t midi = rig.Add(kTypeMidi2CV);
    const int32_t osc = rig.Add(kTypeOscillator);
    const int32_t out = rig.Add(kTypeOutput);
    const int32_t param = rig.Add(kTypeParameter);
    ASSERT_TRUE(rig.Wire(midi, 1, osc, 1));
    ASSERT_TRUE(rig.Wire(osc, 0, out, 1));
    ASSERT_TRUE(rig.Wire(param, 0, out, 0));
    for (int32_t patch = 0; patch < kPatchCount; ++patch) {
        p.slots[param].patchValues[patch] = patch % 101;
    }

    std::atomic<bool> stop{false};
    std::atomic<bool> outOfRange{false};
    std::atomic<long> blocks{0};
    std::atomic<long> notes{0};

    std::thread audio([&] {
        std::vector<float> block(2 * 512);
        while (!stop.load(std::memory_order_relaxed)) {
            ProcessBlock(e, block.data(), 512);
            if (!SharedTablesInRange(p)) outOfRange = true;
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });
    std::thread keys([&] {
        std::mt19937 rng(7);
        while (!stop.load(std::memory_order_relaxed)) {
            const int32_t note = static_cast<int32_t>(rng() % 140) - 6; // some out of range
            const int32_t status[] = {kNoteOn, kNoteOff, kControlChange};
            HandleMidiMessage(e, status[rng() % 3], note, static_cast<int32_t>(rng() % 128));
            notes.fetch_add(1, std::memory_order_relaxed);
        }
    });

    std::vector<int32_t> types;
    for (const ModuleTypeInfo& info : ModuleTypes()) {
        // One shared PolyWave rebuild per Wave change costs milliseconds; keep it out of the
        // churn so the audio thread keeps running blocks rather than rebuilding tables.
        if (info.type != kTypePolyWave) types.push_back(info.type);
    }
    std::mt19937 rng(20261206u);
    auto pick = [&](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(StressSeconds());
    long edits = 0;
    EditHistory history;
    history.Reset(p);
    while (std::chrono::steady_clock::now() < deadline) {
        for (int32_t burst = 0; burst < 64; ++burst, ++edits) {
            const int32_t op = pick(100);
            if (op < 25) {
                if (p.CountOccupied() < 96) {
                    p.InsertModule(
                        types[static_cast<std::size_t>(pick(static_cast<int32_t>(types.size())))],
                        pick(1600), pick(1000), 400, 300);
                }
            } else if (op < 40) {
                const int32_t slot = pick(100);
                if (slot != midi && slot != osc && slot != out) p.DeleteModule(slot);
            } else if (op < 70) {
                p.Connect(PortIndex(pick(100), pick(kPortsPerSlot)),
                          PortIndex(pick(100), pick(kPortsPerSlot)), pick(2) == 0);
            } else if (op < 85) {
                p.DisconnectInput(PortIndex(pick(100), pick(kPortsPerSlot)));
            } else {
                p.currentPatch = pick(kPatchCount);
                p.RecomputeParameterValues();
                e.ClearDelayLine();
                // Controllers bound and learnt, and the tick that moves their controls.
                p.BindMidiCc(pick(100), pick(kControllerCount));
                if (pick(4) == 0) StartMidiLearn(e, pick(100));
                TakeControlChanges(e);
            }
        }
        // An undo is an edit like any other to the audio thread: deleted modules come back,
        // cables and the list are rebuilt in place. A burst is one step, since finding what
        // changed reads the whole record.
        history.Commit(p);
        if (pick(3) == 0) {
            history.Undo(p);
        } else if (pick(2) == 0) {
            history.Redo(p);
        }
    }
    stop = true;
    audio.join();
    keys.join();

    EXPECT_FALSE(outOfRange.load());
    EXPECT_TRUE(SharedTablesInRange(p));
    // Each thread must really have run alongside the others.
    EXPECT_GT(blocks.load(), 10);
    EXPECT_GT(notes.load(), 1000);
    EXPECT_GT(edits, 1000);
}

} // namespace
} // namespace tw
