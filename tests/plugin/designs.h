#pragma once

// The designs the plugin tests build: the demo project and two made here, each loaded
// into a project whose engine was reset at the rate under test, as the editor has it.
#include "engine/engine.h"
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tw::test {

struct Design {
    std::unique_ptr<Project> project = std::make_unique<Project>();
    std::unique_ptr<Engine> engine;
    HeadlessPlatform platform;

    explicit Design(double rate) {
        engine = std::make_unique<Engine>(*project);
        engine->sampleRate = rate;
        SetText(project->appFolder, TW_APP_DIR);
        ResetEngine(*engine);
    }
    Project& P() { return *project; }
};

inline void SetStart(Project& p, int32_t slot, int32_t steps, int32_t step) {
    p.slots[slot].steps = steps;
    p.slots[slot].patchValues[0] = step;
    p.RecomputeParameterValue(slot);
}

// The demo project as the program opens it at start-up.
inline std::unique_ptr<Design> DemoDesign(double rate) {
    auto d = std::make_unique<Design>(rate);
    EXPECT_EQ(OpenProject(d->P(), *d->engine, d->platform, TW_DEMO_PROJECT), LoadResult::Loaded);
    return d;
}

// A bit of every family: a monophonic voice, noise through a filter, a Patchbay feeding
// delay and reverb, the PolyWave pad, an LFO, panel Parameters, and a gap left by a
// deleted module so that slot numbers are not dense.
inline std::unique_ptr<Design> EveryFamilyDesign(double rate) {
    auto d = std::make_unique<Design>(rate);
    Project& p = d->P();
    const int32_t midi = AddModule(p, kTypeMidi2CV);
    const int32_t driver = AddModule(p, kTypeOscillatorDriver);
    const int32_t gap = AddModule(p, kTypeInverter);
    const int32_t osc = AddModule(p, kTypeOscillator);
    const int32_t env = AddModule(p, kTypeAdsr);
    const int32_t amp = AddModule(p, kTypeAmplifier);
    const int32_t noise = AddModule(p, kTypeNoise);
    const int32_t filter = AddModule(p, kTypeLowPass2Pole);
    const int32_t add = AddModule(p, kTypeAdd);
    const int32_t bay = AddModule(p, kTypePatchbay);
    const int32_t delay = AddModule(p, kTypeDelay);
    const int32_t reverb = AddModule(p, kTypeReverb);
    const int32_t pad = AddModule(p, kTypePolyWave);
    const int32_t lfo = AddModule(p, kTypeLfo);
    const int32_t out = AddModule(p, kTypeOutput);
    const int32_t wave = AddModule(p, kTypeParameter);
    const int32_t cutoff = AddModule(p, kTypeParameter);
    const int32_t volume = AddModule(p, kTypeParameter);
    p.DeleteModule(gap);

    EXPECT_TRUE(Wire(p, midi, 1, driver, 0));
    EXPECT_TRUE(Wire(p, driver, 0, osc, 1));
    EXPECT_TRUE(Wire(p, wave, 0, osc, 0));
    EXPECT_TRUE(Wire(p, midi, 0, env, 0));
    EXPECT_TRUE(Wire(p, osc, 0, amp, 0));
    EXPECT_TRUE(Wire(p, env, 0, amp, 1));
    EXPECT_TRUE(Wire(p, noise, 1, filter, 0));
    EXPECT_TRUE(Wire(p, cutoff, 0, filter, 1));
    EXPECT_TRUE(Wire(p, lfo, 0, filter, 2));
    EXPECT_TRUE(Wire(p, amp, 0, add, 0));
    EXPECT_TRUE(Wire(p, filter, 0, add, 1));
    EXPECT_TRUE(Wire(p, add, 0, bay, 0));
    EXPECT_TRUE(Wire(p, bay, 0, delay, 0));
    EXPECT_TRUE(Wire(p, bay, 1, reverb, 1)); // output 1 appears once output 0 has a cable
    EXPECT_TRUE(Wire(p, delay, 0, reverb, 0));
    EXPECT_TRUE(Wire(p, reverb, 0, out, 1));
    EXPECT_TRUE(Wire(p, reverb, 1, out, 5));
    EXPECT_TRUE(Wire(p, pad, 0, out, 2));
    EXPECT_TRUE(Wire(p, pad, 1, out, 6));
    EXPECT_TRUE(Wire(p, volume, 0, out, 0));

    SetStart(p, wave, 3, 2);
    SetStart(p, cutoff, 100, 37);
    SetStart(p, volume, 10, 7);
    for (int32_t patch = 1; patch < kPatchCount; ++patch) {
        p.slots[wave].patchValues[patch] = patch % 4;
        p.slots[cutoff].patchValues[patch] = patch % 101;
        p.slots[volume].patchValues[patch] = patch % 11;
    }
    SetText(p.patchNames[5], "Dark \"Pad\" 100%");
    return d;
}

// The smallest useful design: a test tone whose volume is a panel control.
inline std::unique_ptr<Design> ToneDesign(double rate) {
    auto d = std::make_unique<Design>(rate);
    Project& p = d->P();
    const int32_t tone = AddModule(p, kTypeA440);
    const int32_t out = AddModule(p, kTypeOutput);
    const int32_t volume = AddModule(p, kTypeParameter);
    EXPECT_TRUE(Wire(p, tone, 0, out, 1));
    EXPECT_TRUE(Wire(p, volume, 0, out, 0));
    SetStart(p, volume, 100, 80);
    return d;
}

} // namespace tw::test
