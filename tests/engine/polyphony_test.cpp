// Voices: a chord on N voices against the same design played one note at a time on one
// voice; allocation, sustain, bend and panic as tables of cases.
#include "engine/voices.h"
#include "model/catalogue.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

namespace tw::test {
namespace {

// A random design: a voice part of filters, oscillators, envelopes and arithmetic wired at
// random (backward cables included) below a Midi2CV and shared knobs, and a linear shared
// part: every Output input fed by the voice part or a knob at 0 (an unconnected one would
// read the shared cell, whose value depends on which voices ran).
bool BuildRandomDesign(EngineRig& rig, uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
    // Oscillator Driver, Oscillator, 2 Pole Low Pass, ADSR, Amplifier, Mul, Add, Inverter,
    // 1 Pole Low Pass, 1 Pole High Pass, Rescale, All Pass Filter, Lfo, Split.
    constexpr int32_t kVoiceTypes[] = {14, 29, 10, 11, 6, 16, 18, 8, 37, 38, 28, 39, 40, 4};
    // Outputs not yet cabled: an output feeds one input, so each is taken once.
    struct Source {
        int32_t slot, port;
        bool voice;
    };
    std::vector<Source> free;
    auto take = [&](size_t i) {
        const Source s = free[i];
        free.erase(free.begin() + static_cast<std::ptrdiff_t>(i));
        return s;
    };
    const int32_t out = rig.Add(kTypeOutput);
    const int32_t volume = rig.Knob(static_cast<float>(pick(1000)) / 1000.0f);
    free.push_back({rig.Knob(static_cast<float>(pick(1000)) / 1000.0f), 0, false});
    const int32_t midi = rig.Add(kTypeMidi2CV);
    for (int32_t k = 0; k < 3; ++k) free.push_back({midi, k, true});
    std::vector<int32_t> voice;
    const int32_t count = 3 + pick(6);
    for (int32_t i = 0; i < count; ++i) voice.push_back(rig.Add(kVoiceTypes[pick(14)]));
    for (int32_t slot : voice) {
        const ModuleTypeInfo* info = FindModuleType(rig.P().slots[slot].type);
        for (const CataloguePort& in : info->inputs) {
            if (pick(4) == 0 || free.empty()) continue;
            const Source s = take(static_cast<size_t>(pick(static_cast<int32_t>(free.size()))));
            rig.Wire(s.slot, s.port, slot, in.number);
        }
        for (const CataloguePort& o : info->outputs) free.push_back({slot, o.number, true});
    }
    // A few cables back to earlier voice modules' last input make loops.
    for (int32_t i = 0; i < 2 && free.size() > 1; ++i) {
        const Source s = take(static_cast<size_t>(pick(static_cast<int32_t>(free.size()))));
        const int32_t to = voice[pick(count)];
        const ModuleTypeInfo* info = FindModuleType(rig.P().slots[to].type);
        if (s.voice && !info->inputs.empty())
            rig.Wire(s.slot, s.port, to, info->inputs.back().number);
    }
    rig.Wire(volume, 0, out, 0);
    // The last free voice output goes to both sides through a Split.
    const int32_t split = rig.Add(kTypeSplit);
    bool exit = false;
    for (size_t i = free.size(); i-- > 0 && !exit;) {
        if (free[i].voice) exit = rig.Wire(free[i].slot, free[i].port, split, 0);
    }
    rig.Wire(split, 0, out, 1);
    rig.Wire(split, 1, out, 5);
    for (int32_t k : {2, 3, 4, 6, 7, 8}) rig.Wire(rig.Knob(0.0f), 0, out, k);
    return exit;
}

std::vector<NoteEvent> Chord(const std::vector<int32_t>& notes, uint32_t releaseAt) {
    std::vector<NoteEvent> events;
    for (size_t i = 0; i < notes.size(); ++i)
        events.push_back({0, kNoteOn, notes[i], 40 + static_cast<int32_t>(i) * 9});
    if (releaseAt > 0)
        for (int32_t n : notes) events.push_back({releaseAt, kNoteOff, n, 0});
    return events;
}

TEST(Polyphony, AChordOnVoicesIsTheSumOfItsNotesPlayedAloneWhereTheSharedPartIsLinear) {
    constexpr uint32_t kFrames = 2000;
    constexpr uint32_t kDesigns = 20;
    int32_t compared = 0;
    for (uint32_t seed = 1; seed <= kDesigns; ++seed) {
        std::mt19937 rng(seed * 7919u);
        const int32_t voices = 2 + static_cast<int32_t>(rng() % 15u);
        std::vector<int32_t> notes;
        const int32_t size = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(voices));
        while (static_cast<int32_t>(notes.size()) < size) {
            const int32_t n = 30 + static_cast<int32_t>(rng() % 60u);
            if (std::find(notes.begin(), notes.end(), n) == notes.end()) notes.push_back(n);
        }
        const uint32_t releaseAt = seed % 2 == 0 ? 600u + rng() % 500u : 0u;
        const uint32_t block = 1 + rng() % 700u;

        EngineRig poly;
        // A design whose voice part reaches no Output is of no use here.
        if (!BuildRandomDesign(poly, seed)) continue;
        poly.P().voiceCount = voices;
        EngineRig silent;
        BuildRandomDesign(silent, seed);
        silent.P().voiceCount = voices;
        silent.Render(kFrames, block);
        poly.Render(kFrames, block, Chord(notes, releaseAt));

        // The shared part's own output (no voice sounding) is in every one-note render once;
        // the chord has it once in all.
        std::vector<double> left(kFrames), right(kFrames);
        const double extra = 1.0 - static_cast<double>(notes.size());
        for (size_t i = 0; i < kFrames; ++i)
            std::tie(left[i], right[i]) =
                std::pair(extra * silent.left[i], extra * silent.right[i]);
        for (size_t k = 0; k < notes.size(); ++k) {
            // The note with the velocity the chord gave it, alone on one voice.
            EngineRig mono;
            BuildRandomDesign(mono, seed);
            std::vector<NoteEvent> mine;
            for (const NoteEvent& ev : Chord(notes, releaseAt))
                if (ev.note == notes[k]) mine.push_back(ev);
            mono.Render(kFrames, block, mine);
            for (size_t i = 0; i < kFrames; ++i) left[i] += mono.left[i], right[i] += mono.right[i];
        }
        for (size_t i = 0; i < kFrames; ++i) {
            if (!std::isfinite(left[i]) || std::fabs(left[i]) > 100.0) continue;
            ASSERT_NEAR(poly.left[i], left[i], 1e-6) << "seed " << seed << " frame " << i;
            ASSERT_NEAR(poly.right[i], right[i], 1e-6) << "seed " << seed << " frame " << i;
            ++compared;
        }
    }
    EXPECT_GT(compared, kDesigns * kFrames * 2 / 3);
}

} // namespace
} // namespace tw::test
