// Costs of the heavier DSP families: the PolyWave wavetable rebuild (which runs inside
// the audio callback), a held 73-note PolyWave chord, the reverb per frame and a
// 1024-module patch that cycles through every module type.
#include "../tests/support/builders.h"
#include "engine/engine.h"
#include "every_type_patch.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using namespace tw;
using tw::test::AddModule;
using tw::test::Wire;

constexpr uint32_t kBlock = 512;
// The rate the real-time targets are stated for.
constexpr double kRate = 48000.0;

struct Rig {
    std::unique_ptr<Project> project = test::MakeProject();
    std::unique_ptr<Engine> engine;
    std::vector<float> block = std::vector<float>(2 * kBlock);
    Rig() {
        engine = std::make_unique<Engine>(*project);
        engine->sampleRate = static_cast<float>(kRate);
        ResetEngine(*engine);
    }
    int32_t Knob(float value) {
        const int32_t slot = AddModule(*project, kTypeParameter);
        project->slots[slot].value = value;
        return slot;
    }
    bool plan = true; // false: the plain frame loop the plan replaces
    void Run() {
        if (plan) {
            ProcessBlock(*engine, block.data(), kBlock);
        } else {
            RunFrameLoop(*engine, block.data(), kBlock);
        }
    }
};

void PolyWaveRebuild(benchmark::State& state) {
    Rig rig;
    float wave = 0.6f;
    for (auto _ : state) {
        RebuildWavetable(*rig.engine, wave, 0.9f);
        benchmark::DoNotOptimize(rig.engine->onceOnly->polywave.wavetable[100]);
        wave = wave == 0.6f ? 0.9f : 0.6f;
    }
}
BENCHMARK(PolyWaveRebuild)->Unit(benchmark::kMillisecond);

void PolyWaveChord(benchmark::State& state) {
    Rig rig;
    const int32_t pad = AddModule(*rig.project, kTypePolyWave);
    const float controls[] = {0.6f, 0.0f, 0.2f, 0.7f, 0.3f, 0.5f};
    for (int32_t k = 0; k < 6; ++k) Wire(*rig.project, rig.Knob(controls[k]), 0, pad, k);
    const int32_t out = AddModule(*rig.project, kTypeOutput);
    Wire(*rig.project, pad, 0, out, 1);
    Wire(*rig.project, pad, 1, out, 5);
    for (int32_t note = 24; note <= 96; ++note) HandleNoteEvent(*rig.engine, kNoteOn, note, 100);
    rig.Run(); // builds the table
    for (auto _ : state) {
        rig.Run();
        benchmark::DoNotOptimize(rig.block[0]);
    }
    state.counters["per_frame"] =
        benchmark::Counter(kBlock * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(PolyWaveChord);

void ReverbFrame(benchmark::State& state) {
    Rig rig;
    const int32_t noise = AddModule(*rig.project, kTypeNoise);
    const int32_t reverb = AddModule(*rig.project, kTypeReverb);
    Wire(*rig.project, noise, 0, reverb, 0);
    Wire(*rig.project, noise, 1, reverb, 1);
    const int32_t out = AddModule(*rig.project, kTypeOutput);
    Wire(*rig.project, reverb, 0, out, 1);
    Wire(*rig.project, reverb, 1, out, 5);
    rig.Run();
    for (auto _ : state) {
        rig.Run();
        benchmark::DoNotOptimize(rig.block[0]);
    }
    state.counters["per_frame"] =
        benchmark::Counter(kBlock * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(ReverbFrame);

// The every-type patch, with notes held for the MIDI readers.
void EveryTypePatch(benchmark::State& state, bool plan) {
    Rig rig;
    rig.plan = plan;
    Project& p = *rig.project;
    bench::BuildEveryTypePatch(p);
    for (int32_t note : {48, 60, 64, 67, 72}) HandleNoteEvent(*rig.engine, kNoteOn, note, 100);
    rig.Run();
    for (auto _ : state) {
        rig.Run();
        benchmark::DoNotOptimize(rig.block[0]);
    }
    state.counters["per_module_frame"] =
        benchmark::Counter(kBlock * p.activeCount * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime_factor"] = benchmark::Counter(
        static_cast<double>(kBlock) / kRate * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(EveryTypePatch, Plan, true);
BENCHMARK_CAPTURE(EveryTypePatch, FrameLoop, false);

} // namespace
