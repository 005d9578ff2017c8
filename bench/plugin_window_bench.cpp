// The demo's plugin window on a virtual X server, as a host opens it: instantiating it
// through its descriptor until its first picture is on the screen (target: under 50 ms),
// one control moved by the host repainted at the next idle call (target: under 1 ms), and
// an idle call when nothing changed.
#include "../tests/plugin/ui_host.h"
#include "bench_support.h"
#include "export/plugin_build.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

using namespace tw;
namespace fs = std::filesystem;

struct GreyPanelHost final : BuildHost {
    void ShowError(std::string_view) override {}
    void ShowWarning(std::string_view) override {}
    void Pause(int) override {}
    Bitmap CapturePanel(int32_t w, int32_t h) override {
        Bitmap b;
        b.width = w;
        b.height = h;
        b.pixels.assign(static_cast<std::size_t>(w) * h, 0xFF808080u);
        return b;
    }
};

// Builds the staged demo into a folder of its own; returns the bundle folder.
fs::path BuildDemoBundle() {
    const fs::path folder = fs::temp_directory_path() / "tw_bench_window";
    bench::DemoForBuild demo(folder);
    BuildLog log;
    GreyPanelHost host;
    RunBuild(*demo.project, {"Demo", "Bench", "1000", "TwBn"}, {384, 261}, log, host);
    return folder / "Demo";
}

void BM_PluginWindowOpen(benchmark::State& state) {
    if (test::VirtualScreen::Get() == nullptr) return state.SkipWithError("no Xvfb");
    const fs::path bundle = BuildDemoBundle();
    test::UiHost host((bundle / "Demo_ui.so").string(), bundle.string());
    if (host.handle == nullptr) return state.SkipWithError("the window does not open");
    for (auto _ : state) {
        LV2UI_Widget widget = nullptr;
        const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(host.parent)};
        const LV2_Feature* features[] = {&parent, nullptr};
        // Instantiating puts the first picture on the screen and waits until it is there.
        LV2UI_Handle ui = host.descriptor->instantiate(
            host.descriptor, "", bundle.c_str(), &test::UiHost::Write, &host, &widget, features);
        state.PauseTiming();
        host.descriptor->cleanup(ui);
        state.ResumeTiming();
    }
    fs::remove_all(bundle.parent_path());
}
BENCHMARK(BM_PluginWindowOpen)->Unit(benchmark::kMillisecond);

void BM_PluginWindowOneControl(benchmark::State& state) {
    if (test::VirtualScreen::Get() == nullptr) return state.SkipWithError("no Xvfb");
    const fs::path bundle = BuildDemoBundle();
    test::UiHost host((bundle / "Demo_ui.so").string(), bundle.string());
    if (host.handle == nullptr) return state.SkipWithError("the window does not open");
    float value = 0.0f;
    for (auto _ : state) {
        value = value == 0.0f ? 1.0f : 0.0f;
        host.PortEvent(lv2::kFirstParameterPort, value); // then the idle call repaints
    }
    fs::remove_all(bundle.parent_path());
}
BENCHMARK(BM_PluginWindowOneControl)->Unit(benchmark::kMicrosecond);

// An idle call with nothing to show: what an open window costs a host that calls it 30
// times a second (target: under 0.3 % of a core, that is under 100 us a call).
void BM_PluginWindowIdleUnchanged(benchmark::State& state) {
    if (test::VirtualScreen::Get() == nullptr) return state.SkipWithError("no Xvfb");
    const fs::path bundle = BuildDemoBundle();
    test::UiHost host((bundle / "Demo_ui.so").string(), bundle.string());
    if (host.handle == nullptr) return state.SkipWithError("the window does not open");
    for (auto _ : state) host.Idle();
    fs::remove_all(bundle.parent_path());
}
BENCHMARK(BM_PluginWindowIdleUnchanged)->Unit(benchmark::kMicrosecond);

} // namespace
