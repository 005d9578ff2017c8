// Saving and opening a full project: 1024 modules, about a thousand cables, comments,
// panel elements and named patches, through the same calls the File menu uses.
#include "bench/full_project.h"
#include "engine/engine.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace tw {
namespace {

std::string BenchFile() {
    return (std::filesystem::temp_directory_path() / "tw_bench_project.tw1").string();
}

void BM_SaveProject(benchmark::State& state) {
    auto project = FullProject();
    HeadlessPlatform platform;
    const std::string path = BenchFile();
    for (auto _ : state) {
        if (!SaveProject(*project, platform, path)) state.SkipWithError("save failed");
    }
    state.counters["bytes"] =
        static_cast<double>(std::filesystem::file_size(std::filesystem::path(path)));
    state.counters["modules"] = project->CountOccupied();
}
BENCHMARK(BM_SaveProject)->Name("BM_SaveProject/1024")->Unit(benchmark::kMillisecond);

void BM_OpenProject(benchmark::State& state) {
    HeadlessPlatform platform;
    const std::string path = BenchFile();
    {
        auto source = FullProject();
        if (!SaveProject(*source, platform, path)) state.SkipWithError("save failed");
    }
    auto project = std::make_unique<Project>();
    auto engine = std::make_unique<Engine>(*project);
    for (auto _ : state) {
        if (OpenProject(*project, *engine, platform, path) != LoadResult::Loaded) {
            state.SkipWithError("open failed");
        }
    }
    state.counters["modules"] = project->CountOccupied();
    std::remove(path.c_str());
}
BENCHMARK(BM_OpenProject)->Name("BM_OpenProject/1024")->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tw
