// What playing at a 96 kHz session costs: the demo's engine alone computing a second at its
// own 48 kHz, and the same second delivered at 96 kHz through the bridge. The difference is
// the resampling; the target is at most 15 % of the engine's own time.
#include "engine/engine.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "platform/headless_platform.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using namespace tw;

struct Demo {
    std::unique_ptr<Project> project = std::make_unique<Project>();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);
    HeadlessPlatform platform;

    explicit Demo(uint32_t deviceRate) {
        engine->sampleRate = static_cast<float>(OpenBridgeFor(*engine, deviceRate));
        ResetEngine(*engine);
        SetText(project->appFolder, TW_STAGED_APP_DIR);
        OpenProject(*project, *engine, platform, TW_DEMO_PROJECT);
        // A three-note chord sounds throughout.
        for (const int32_t note : {57, 60, 64}) HandleNoteEvent(*engine, kNoteOn, note, 100);
    }
};

// One second of sound in device blocks of 5.3 ms (256 frames at 48 kHz, 512 at 96 kHz), so
// that the engine computes the same blocks in both.
void PlaySecond(benchmark::State& state, uint32_t deviceRate) {
    Demo demo(deviceRate);
    const uint32_t block = deviceRate / 48000 * 256;
    std::vector<float> left(block), right(block);
    for (auto _ : state) {
        for (uint32_t done = 0; done < deviceRate; done += block)
            RenderDeviceFrames(*demo.engine, left.data(), right.data(), block);
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["latency_frames"] = demo.engine->bridge.Latency();
}

void BM_DemoSecondAt48k(benchmark::State& state) {
    PlaySecond(state, 48000);
}
BENCHMARK(BM_DemoSecondAt48k)->Unit(benchmark::kMillisecond);

void BM_DemoSecondAt96k(benchmark::State& state) {
    PlaySecond(state, 96000);
}
BENCHMARK(BM_DemoSecondAt96k)->Unit(benchmark::kMillisecond);

} // namespace
