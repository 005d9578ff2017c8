// Saving and opening a full project: 1024 modules, about a thousand cables, comments,
// panel elements and named patches, through the same calls the File menu uses.
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

constexpr int32_t kChain[] = {kTypeOscillator, kTypeAmplifier, kTypeLowPass2Pole, kTypeAdd,
                              kTypeParameter,  kTypeSplit,     kTypeLfo,          kTypeMul};

std::unique_ptr<Project> FullProject() {
    auto p = std::make_unique<Project>();
    for (int32_t i = 0; i < kSlotCount; ++i) {
        p->InsertModule(kChain[i % 8], 40 + (i % 32) * 60, 40 + (i / 32) * 40, 400, 300);
    }
    // Output 0 of every module feeds the first free input of the next one.
    for (int32_t s = 0; s + 1 < kSlotCount; ++s) {
        for (int32_t n = 0; n < kPortsPerSlot; ++n) {
            if (p->Connect(PortIndex(s, 0), PortIndex(s + 1, n))) break;
        }
    }
    for (int32_t c = 0; c < kCommentCount; ++c) p->InsertComment(8 * c, 8);
    for (int32_t g = 0; g < kPolygonCount; ++g) p->InsertPolygon(g, g);
    for (int32_t t = 0; t < kTextCount; ++t) p->InsertText(t, t);
    for (int32_t patch = 0; patch < kPatchCount; ++patch) {
        SetText(p->patchNames[patch], "A named patch");
    }
    return p;
}

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
