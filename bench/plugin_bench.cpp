// The demo built as a plugin and run as a host runs it: loading the plugin file (the
// plugin reads and checks its manifest) and instantiating it, and one 512-frame block at
// 48 kHz while a three-note chord plays. Targets: a load well under 100 ms, and a block in
// well under its own duration of 10.7 ms, that is realtime_factor well above 1, so that a
// host can run many instances.
#include "../tests/plugin/mini_host.h"
#include "bench_support.h"
#include "export/plugin_build.h"
#include "model/text.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

using namespace tw;
namespace fs = std::filesystem;

struct QuietBuildHost final : BuildHost {
    void ShowError(std::string_view) override {}
    void ShowWarning(std::string_view) override {}
    void Pause(int) override {}
    Bitmap CapturePanel(int32_t, int32_t) override { return {}; }
};

// Builds the staged demo project into a folder of its own; returns the plugin file.
std::string BuildDemoPlugin() {
    const fs::path folder = fs::temp_directory_path() / "tw_bench_plugin";
    bench::DemoForBuild demo(folder);
    SetText(demo.project->pluginName, "Demo");
    BuildLog log;
    QuietBuildHost host;
    BuildPlugin(*demo.project, {384, 261}, log, host);
    return (folder / "Demo.dll").string();
}

void BM_DemoPluginLoad(benchmark::State& state) {
    const std::string file = BuildDemoPlugin();
    for (auto _ : state) {
        test::MiniHost host(file);
        if (!host.Start(48000.0)) state.SkipWithError("the plugin does not start");
    }
    fs::remove_all(fs::path(file).parent_path());
}
BENCHMARK(BM_DemoPluginLoad)->Unit(benchmark::kMillisecond);

void BM_DemoPluginBlock(benchmark::State& state) {
    const std::string file = BuildDemoPlugin();
    test::MiniHost host(file);
    if (!host.Start(48000.0)) {
        state.SkipWithError("the plugin does not start");
        return;
    }
    std::vector<float> left, right;
    host.Play({{0, {0x90, 48, 100}}, {0, {0x90, 55, 100}}, {0, {0x90, 60, 100}}}, 512, 512, left,
              right);
    host.Play({}, 512, 512, left, right); // leaves the MIDI input empty
    std::vector<float> out(2 * 512);
    host.descriptor->connect_port(host.handle, lv2::kOutLeftPort, out.data());
    host.descriptor->connect_port(host.handle, lv2::kOutRightPort, out.data() + 512);
    for (auto _ : state) {
        host.descriptor->run(host.handle, 512);
        benchmark::DoNotOptimize(out.data());
    }
    // Seconds of sound per second of work: the block must take less than its own duration.
    state.counters["realtime_factor"] =
        benchmark::Counter(512.0 / 48000.0, benchmark::Counter::kIsIterationInvariantRate);
    fs::remove_all(fs::path(file).parent_path());
}
BENCHMARK(BM_DemoPluginBlock)->Unit(benchmark::kMicrosecond);

} // namespace
