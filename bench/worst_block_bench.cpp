// The worst block: 10 s rendered in 64-frame blocks at 48 kHz, each block timed on its
// own, for the demo, the every-type patch, PolyWave designs whose Wave and Density are
// stepped by square Lfos (every step rebuilds the wavetable inside the block), and the
// 1020-module voice patch while it is edited (each edit makes the next block derive the
// run plan again). A block may take at most its own duration, 1.33 ms; the counters give
// the longest block and the 99.9th percentile as a percentage of it, by this thread's CPU
// time (the machine is shared: wall time also counts whoever else ran), after one untimed
// block; over_half counts the blocks above half their duration.
#include "../tests/support/builders.h"
#include "../tests/support/patches.h"
#include "bench_support.h"
#include "engine/engine.h"
#include "every_type_patch.h"
#include "model/project_file.h"
#include "platform/headless_platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

namespace tw {
namespace {

constexpr double kRate = 48000.0;
constexpr uint32_t kBlock = 64;
constexpr int32_t kBlocks = static_cast<int32_t>(10.0 * kRate / kBlock);
constexpr double kBlockSeconds = kBlock / kRate;

struct Rig {
    std::unique_ptr<Project> project = test::MakeProject();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);
    Rig() {
        engine->sampleRate = static_cast<float>(kRate);
        ResetEngine(*engine);
    }
    int32_t Knob(float value) {
        const int32_t slot = test::AddModule(*project, kTypeParameter);
        project->slots[slot].value = value;
        return slot;
    }
    void Chord() {
        for (int32_t note : {48, 60, 64, 67, 72}) HandleNoteEvent(*engine, kNoteOn, note, 100);
    }
};

// Renders 10 s and reports the block times; `beforeBlock` runs untimed before block n,
// where an edit happens on the user-interface thread.
void TimeBlocks(benchmark::State& state, Rig& rig,
                const std::function<void(int32_t)>& beforeBlock = {}) {
    std::vector<float> block(2 * kBlock);
    std::vector<double> times(kBlocks);
    // The first block derives the run plan and touches every table for the first time.
    ProcessBlock(*rig.engine, block.data(), kBlock);
    for (auto _ : state) {
        for (int32_t n = 0; n < kBlocks; ++n) {
            if (beforeBlock) beforeBlock(n);
            const double start = bench::ThreadSeconds();
            ProcessBlock(*rig.engine, block.data(), kBlock);
            times[static_cast<size_t>(n)] = bench::ThreadSeconds() - start;
            benchmark::DoNotOptimize(block.data());
        }
    }
    std::sort(times.begin(), times.end());
    const auto share = [](double t) { return 100.0 * t / kBlockSeconds; };
    state.counters["longest_pct"] = share(times.back());
    state.counters["p999_pct"] = share(times[static_cast<size_t>(kBlocks * 0.999)]);
    state.counters["median_pct"] = share(times[static_cast<size_t>(kBlocks / 2)]);
    state.counters["over_half"] = static_cast<double>(
        times.end() - std::upper_bound(times.begin(), times.end(), kBlockSeconds / 2));
}

void WorstBlockDemo(benchmark::State& state) {
    Rig rig;
    HeadlessPlatform platform;
    if (OpenProject(*rig.project, *rig.engine, platform, TW_DEMO_PROJECT) != LoadResult::Loaded) {
        state.SkipWithError("the demo project did not load");
        return;
    }
    AdoptSampleRate(*rig.engine, static_cast<uint32_t>(kRate));
    rig.Chord();
    TimeBlocks(state, rig);
}
BENCHMARK(WorstBlockDemo)->Iterations(1)->Unit(benchmark::kMillisecond);

void WorstBlockEveryType(benchmark::State& state) {
    Rig rig;
    bench::BuildEveryTypePatch(*rig.project);
    rig.Chord();
    TimeBlocks(state, rig);
}
BENCHMARK(WorstBlockEveryType)->Iterations(1)->Unit(benchmark::kMillisecond);

// Wave and Density follow unipolar square Lfos, so each step rebuilds the table inside
// some block: one Lfo on both (each step moves both on the same frame), one on Wave only,
// or one on each at different rates (about 70 rebuilds a second, now and then two in
// one block).
enum class Sweep { BothOneLfo, WaveOnly, EachItsOwnLfo };

void WorstBlockPolyWaveSwept(benchmark::State& state, Sweep sweep) {
    Rig rig;
    Project& p = *rig.project;
    const int32_t pad = test::AddModule(p, kTypePolyWave);
    const int32_t waveLfo = test::AddModule(p, kTypeLfo); // unconnected: fastest square
    const int32_t densityLfo = test::AddModule(p, kTypeLfo);
    test::Wire(p, rig.Knob(1.0f), 0, densityLfo, 0);
    test::Wire(p, rig.Knob(0.6f), 0, densityLfo, 1);
    if (sweep == Sweep::BothOneLfo) {
        // An output feeds one cable: a Split shares the Lfo.
        const int32_t split = test::AddModule(p, kTypeSplit);
        test::Wire(p, waveLfo, 0, split, 0);
        test::Wire(p, split, 0, pad, 0);
        test::Wire(p, split, 1, pad, 5);
    } else {
        test::Wire(p, waveLfo, 0, pad, 0);
        test::Wire(p, sweep == Sweep::EachItsOwnLfo ? densityLfo : rig.Knob(0.6f), 0, pad, 5);
    }
    const float envelope[] = {0.01f, 0.2f, 0.7f, 0.3f};
    for (int32_t k = 0; k < 4; ++k) test::Wire(p, rig.Knob(envelope[k]), 0, pad, k + 1);
    const int32_t out = test::AddModule(p, kTypeOutput);
    test::Wire(p, pad, 0, out, 1);
    test::Wire(p, pad, 1, out, 5);
    rig.Chord();
    const EngineRandom start = rig.engine->random;
    TimeBlocks(state, rig);
    // Nothing else draws from the generator: each rebuild takes one number per bin.
    EngineRandom replay = start;
    int32_t rebuilds = 0;
    while (replay.state != rig.engine->random.state && rebuilds < 100000) {
        for (int32_t i = 0; i < kWaveSpectrumSize; ++i) replay.Next();
        ++rebuilds;
    }
    state.counters["rebuilds"] = rebuilds;
}
BENCHMARK_CAPTURE(WorstBlockPolyWaveSwept, BothOneLfo, Sweep::BothOneLfo)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WorstBlockPolyWaveSwept, WaveOnly, Sweep::WaveOnly)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WorstBlockPolyWaveSwept, EachItsOwnLfo, Sweep::EachItsOwnLfo)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The voice patch with one cable taken out and put back every 20 blocks (15 ms).
void WorstBlockVoicesEdited(benchmark::State& state) {
    Rig rig;
    test::BuildVoicePatch(*rig.project);
    Project& p = *rig.project;
    const int32_t input = p.slots[3].type == kTypeAmplifier ? PortIndex(3, 1) : kNone;
    const int32_t source = input == kNone ? kNone : static_cast<int32_t>(p.routes[input]);
    if (source == kNone) {
        state.SkipWithError("the voice patch changed shape");
        return;
    }
    TimeBlocks(state, rig, [&](int32_t n) {
        if (n % 20 != 0) return;
        if (p.routes[input] == kNone) {
            p.Connect(source, input, false);
        } else {
            p.DisconnectInput(input);
        }
    });
}
BENCHMARK(WorstBlockVoicesEdited)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tw
