// From nothing to the main window on screen with the demo project open, as a first start
// (no preferences file) does it: full reset, menus and toolbar, preferences, devices, the
// five child windows and their first paint.
#include "app/main_window.h"
#include "platform/headless_platform.h"
#include "qt_app.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace tw {
namespace {

void BM_StartUpWithDemo(benchmark::State& state) {
    bench::EnsureApplication();
    // No sound server is started for a benchmark run.
    setenv("JACK_NO_START_SERVER", "1", 1);
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "tw_bench_startup";
    fs::remove_all(folder);
    fs::create_directories(folder / "Resources");
    fs::copy(fs::path(TW_STAGED_APP_DIR) / "Projects", folder / "Projects",
             fs::copy_options::recursive);
    fs::copy(fs::path(TW_STAGED_APP_DIR) / "Skins", folder / "Skins", fs::copy_options::recursive);
    for (auto _ : state) {
        HeadlessPlatform services;
        MainWindowOptions options;
        options.appFolder = folder.string();
        auto window = std::make_unique<MainWindow>(services, options);
        window->Start();
        QApplication::processEvents();
        benchmark::DoNotOptimize(window->grab());
        state.PauseTiming();
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_StartUpWithDemo)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace tw
