// The cost of voices on the demo design, per 512-frame block at 48 kHz: the shared part
// alone (8 voices, none sounding), one note, an 8-note chord, 16 voices allowed with one
// sounding, and the same note with one voice. The counters give the ratios the voices
// are held to: chord / (8 x one note's voice part + shared part), and 16-voices-one-note /
// one voice. Times are this thread's CPU time: the machine is shared, and wall time also
// counts whoever else ran.
#include "bench_support.h"
#include "engine/engine.h"
#include "engine/voices.h"
#include "model/project_file.h"
#include "platform/headless_platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <memory>

namespace {

using namespace tw;

struct Demo {
    std::unique_ptr<Project> project = std::make_unique<Project>();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);
    Demo(int32_t voices, int32_t notes) {
        HeadlessPlatform platform;
        engine->sampleRate = 48000.0f;
        OpenProject(*project, *engine, platform, TW_DEMO_PROJECT);
        project->voiceCount = voices;
        PrepareVoices(*engine, voices);
        for (int32_t n = 0; n < notes; ++n) HandleNoteEvent(*engine, kNoteOn, 48 + 3 * n, 100);
    }
};

double SecondsPerBlock(int32_t voices, int32_t notes, benchmark::State* state) {
    Demo d(voices, notes);
    float block[1024];
    ProcessBlock(*d.engine, block, 512); // voices start
    constexpr int kBlocks = 400;
    const double start = bench::ThreadSeconds();
    for (int i = 0; i < kBlocks; ++i) {
        ProcessBlock(*d.engine, block, 512);
        benchmark::DoNotOptimize(block[0]);
    }
    const double took = bench::ThreadSeconds() - start;
    if (state != nullptr && voices > 1 && SoundingVoices(*d.engine) != std::min(notes, voices))
        state->SkipWithError("the notes did not all sound");
    return took / kBlocks;
}

void BM_DemoVoices(benchmark::State& state) {
    double shared = 0, one = 0, chord = 0, sixteen = 0, mono = 0;
    for (auto _ : state) {
        shared = SecondsPerBlock(8, 0, &state);
        one = SecondsPerBlock(8, 1, &state);
        chord = SecondsPerBlock(8, 8, &state);
        sixteen = SecondsPerBlock(16, 1, &state);
        mono = SecondsPerBlock(1, 1, &state);
    }
    const double voicePart = one - shared;
    state.counters["shared_us"] = shared * 1e6;
    state.counters["one_note_us"] = one * 1e6;
    state.counters["chord8_us"] = chord * 1e6;
    state.counters["sixteen_one_us"] = sixteen * 1e6;
    state.counters["one_voice_us"] = mono * 1e6;
    state.counters["chord_ratio"] = chord / (8.0 * voicePart + shared);
    state.counters["sixteen_over_one_voice"] = sixteen / mono;
}
BENCHMARK(BM_DemoVoices)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
