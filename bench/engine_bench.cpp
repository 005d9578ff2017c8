// Engine throughput on generated patches of about 1024 modules, by the engine's plan and
// by the plain frame loop it replaces. Each benchmark reports ns_per_module_frame and
// realtime_factor (audio seconds rendered per CPU second at 48 kHz on one core).
#include "../tests/support/patches.h"
#include "bench_support.h"
#include "engine/engine.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using namespace tw;
using tw::test::AddModule;
using tw::test::CombineTree;
using tw::test::Wire;

constexpr double kRate = 48000.0;
constexpr uint32_t kBlock = 512;

struct Patch {
    std::unique_ptr<Project> project = test::MakeProject();
    std::unique_ptr<Engine> engine;
    Patch() {
        engine = std::make_unique<Engine>(*project);
        engine->sampleRate = kRate;
        ResetEngine(*engine);
    }
};

// Voices of Oscillator Driver -> Oscillator -> Amplifier with an Lfo on the level and a
// Split feeding a left and a right Combine tree into one Output: 7 modules per voice.
void BuildMixed(Project& p) {
    constexpr int32_t kVoices = 146;
    std::vector<std::pair<int32_t, int32_t>> lefts, rights;
    for (int32_t v = 0; v < kVoices; ++v) {
        const int32_t driver = AddModule(p, kTypeOscillatorDriver);
        const int32_t osc = AddModule(p, kTypeOscillator);
        const int32_t lfo = AddModule(p, kTypeLfo);
        const int32_t amp = AddModule(p, kTypeAmplifier);
        const int32_t split = AddModule(p, kTypeSplit);
        Wire(p, driver, 0, osc, 1);
        Wire(p, osc, 0, amp, 0);
        Wire(p, lfo, 0, amp, 1);
        Wire(p, amp, 0, split, 0);
        lefts.emplace_back(split, 0);
        rights.emplace_back(split, 1);
    }
    const auto left = CombineTree(p, lefts);
    const auto right = CombineTree(p, rights);
    const int32_t out = AddModule(p, kTypeOutput);
    Wire(p, left.first, left.second, out, 1);
    Wire(p, right.first, right.second, out, 5);
    // Fill the last slots with constant sources driving three of the drivers' coarse
    // tuning, so that the patch uses all 1024 slots.
    for (int32_t driver = 0; p.CountOccupied() < kSlotCount; driver += 7) {
        const int32_t fixed = AddModule(p, kTypeFixedValues);
        Wire(p, fixed, 3, driver, 2);
    }
}

// A Fixed Values source, a chain of 1022 Inverters and an Output.
void BuildTrivial(Project& p) {
    int32_t previous = AddModule(p, kTypeFixedValues);
    for (int32_t i = 0; i < kSlotCount - 2; ++i) {
        const int32_t inv = AddModule(p, kTypeInverter);
        Wire(p, previous, previous == 0 ? 2 : 0, inv, 0);
        previous = inv;
    }
    const int32_t out = AddModule(p, kTypeOutput);
    Wire(p, previous, 0, out, 1);
}

void BuildVoices(Project& p) {
    test::BuildVoicePatch(p);
}

void Run(benchmark::State& state, void (*build)(Project&), bool plan) {
    Patch patch;
    build(*patch.project);
    const int32_t modules = patch.project->activeCount;
    std::vector<float> block(2 * kBlock);
    double wall = 0.0;
    double cpu = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = bench::ThreadSeconds();
        if (plan) {
            ProcessBlock(*patch.engine, block.data(), kBlock);
        } else {
            RunFrameLoop(*patch.engine, block.data(), kBlock);
        }
        cpu += bench::ThreadSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(block.data());
    }
    const double frames = static_cast<double>(state.iterations()) * kBlock;
    state.counters["modules"] = modules;
    state.counters["ns_per_module_frame"] = cpu * 1e9 / (frames * modules);
    state.counters["realtime_factor"] = (frames / kRate) / cpu;
    state.counters["wall_realtime_factor"] = (frames / kRate) / wall;
}

// Deriving the plan of the voice patch (on the audio thread, after every edit) and two
// frames by it (a single frame would run the plain loop).
void BM_PlanVoices1020(benchmark::State& state) {
    Patch patch;
    BuildVoices(*patch.project);
    float frames[4];
    for (auto _ : state) {
        patch.project->tableGeneration.fetch_add(1, std::memory_order_release);
        ProcessBlock(*patch.engine, frames, 2);
        benchmark::DoNotOptimize(frames);
    }
}
BENCHMARK(BM_PlanVoices1020)->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(Run, Mixed1024, BuildMixed, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Run, Mixed1024FrameLoop, BuildMixed, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Run, Trivial1024, BuildTrivial, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Run, Trivial1024FrameLoop, BuildTrivial, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Run, Voices1020, BuildVoices, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Run, Voices1020FrameLoop, BuildVoices, false)->Unit(benchmark::kMicrosecond);

} // namespace
