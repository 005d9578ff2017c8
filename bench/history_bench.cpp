// The edit history on a full project: undoing and redoing the deletion of all 1024 modules
// (target: each under 20 ms), committing a one-module move, and writing the recovery copy
// (target: under 5 ms).
#include "bench/full_project.h"
#include "interaction/canvas_commands.h"
#include "model/history.h"
#include "model/recovery.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace tw {
namespace {

// A full project whose modules were all selected and deleted as one step.
struct DeletedAll {
    std::unique_ptr<Project> project = FullProject();
    EditHistory history;
    DeletedAll() {
        history.Reset(*project);
        CanvasSession session;
        SelectAll(*project, session);
        DeleteSelectionFromEditMenu(*project, session);
        history.Commit(*project);
    }
};

void BM_UndoDeleteAll(benchmark::State& state) {
    DeletedAll rig;
    for (auto _ : state) {
        rig.history.Undo(*rig.project);
        state.PauseTiming();
        rig.history.Redo(*rig.project);
        state.ResumeTiming();
    }
    state.counters["stepKB"] = static_cast<double>(rig.history.MemoryUsed()) / 1024.0;
}
BENCHMARK(BM_UndoDeleteAll)->Name("BM_UndoDeleteAll/1024")->Unit(benchmark::kMillisecond);

void BM_RedoDeleteAll(benchmark::State& state) {
    DeletedAll rig;
    for (auto _ : state) {
        state.PauseTiming();
        rig.history.Undo(*rig.project);
        state.ResumeTiming();
        rig.history.Redo(*rig.project);
    }
}
BENCHMARK(BM_RedoDeleteAll)->Name("BM_RedoDeleteAll/1024")->Unit(benchmark::kMillisecond);

// What every gesture costs the user-interface thread: finding the one module that moved.
void BM_CommitMove(benchmark::State& state) {
    auto project = FullProject();
    EditHistory history;
    history.Reset(*project);
    int32_t i = 0;
    for (auto _ : state) {
        project->slots[i % kSlotCount].gx += 4;
        if (!history.Commit(*project)) state.SkipWithError("no step");
        ++i;
    }
    state.counters["historyMB"] = static_cast<double>(history.MemoryUsed()) / (1 << 20);
}
BENCHMARK(BM_CommitMove)->Name("BM_CommitMove/1024")->Unit(benchmark::kMicrosecond);

// The recovery copy: what the user-interface thread spends (encoding), and the whole write
// the writer's thread then does (synced to the disk).
void BM_RecoveryCopy(benchmark::State& state) {
    auto project = FullProject();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "tw_bench_recovery";
    SetText(project->appFolder, folder.string());
    const bool write = state.range(0) != 0;
    for (auto _ : state) {
        const RecoveryFiles files = EncodeRecoveryCopy(*project, SavedLayout{});
        if (write && !WriteRecoveryFiles(files)) state.SkipWithError("copy not written");
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RecoveryCopy)->ArgName("written")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tw
