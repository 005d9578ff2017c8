// Painting the Dsp Editor canvas: a full 1024-module project with about a thousand
// cables, every module on screen, in each cable style, and the demo project.
#include "engine/engine.h"
#include "model/project_file.h"
#include "paint/dsp_canvas_cache.h"
#include "paint/dsp_canvas_painter.h"
#include "platform/headless_platform.h"
#include "qt_app.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace tw {
namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1000;

using bench::EnsureApplication;

// Types with an output 0 and a cable-taking input, mixed so that every body shape,
// live display and dashed cable kind takes part.
constexpr int32_t kTypes[] = {
    kTypeAmplifier,    kTypeLowPass2Pole, kTypeOscillator,    kTypeAdd,
    kTypeVoltMeter,    kTypeSplit,        kTypeRescale,       kTypeLfo,
    kTypeOscilloscope, kTypeInverter,     kTypeFormant,       kTypeCombine,
    kTypeMidi2CV,      kTypeParameter,    kTypeSwitch2In1Out, kTypeMul};

// 32 rows of 32 modules at zoom 2, filling 1600 x 1000; each module feeds the next one
// in its row.
std::unique_ptr<Project> FullProject(int32_t cableStyle, int64_t& cables) {
    auto p = std::make_unique<Project>();
    p->zoom = 2;
    p->Relayout();
    int32_t slots[32][32];
    int32_t i = 0;
    for (int32_t row = 0; row < 32; ++row) {
        for (int32_t col = 0; col < 32; ++col) {
            const int32_t type = kTypes[(row * 7 + col) % std::size(kTypes)];
            slots[row][col] = p->InsertModule(type, 30 + col * 50, 12 + row * 31, 400, 300);
            ++i;
        }
    }
    auto firstInput = [&](int32_t slot) {
        for (int32_t n = 0; n < kPortsPerSlot; ++n) {
            const PortRecord& in = p->inputs[PortIndex(slot, n)];
            if (in.kind != kPortNone && in.kind != kPortHidden &&
                p->outputs[PortIndex(slot, n)].link == kNone)
                return PortIndex(slot, n);
        }
        return kNone;
    };
    cables = 0;
    for (int32_t row = 0; row < 32; ++row) {
        for (int32_t col = 0; col < 32; ++col) {
            // Modules without a cable-taking input are stepped over.
            for (int32_t next = col + 1; next < std::min(col + 3, 32); ++next) {
                const int32_t to = firstInput(slots[row][next]);
                if (to == kNone) continue;
                if (p->Connect(PortIndex(slots[row][col], 0), to)) ++cables;
                break;
            }
        }
    }
    // Then every spare output feeds a free input in the row below, up to a thousand.
    for (int32_t row = 0; row + 1 < 32 && cables < 1000; ++row) {
        for (int32_t col = 0; col < 32 && cables < 1000; ++col) {
            for (int32_t n = 1; n < kPortsPerSlot; ++n) {
                const int32_t from = PortIndex(slots[row][col], n);
                if (p->outputs[from].kind == kPortNone || p->inputs[from].link != kNone) continue;
                const int32_t to = firstInput(slots[row + 1][(col + n) % 32]);
                if (to != kNone && p->Connect(from, to)) ++cables;
            }
        }
    }
    p->cableStyle = cableStyle;
    p->currentSlot = slots[5][5];
    return p;
}

void PaintLoop(benchmark::State& state, const Project& project, const CanvasLiveView& live) {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        PaintDspCanvas(painter, project, live, kWidth, kHeight);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_PaintCanvas(benchmark::State& state, int32_t style) {
    EnsureApplication();
    int64_t cables = 0;
    const auto project = FullProject(style, cables);
    PaintLoop(state, *project, CanvasLiveView{});
    state.counters["modules"] = project->CountOccupied();
    state.counters["cables"] = static_cast<double>(cables);
}

void BM_PaintDemo(benchmark::State& state, int32_t style) {
    EnsureApplication();
    auto project = std::make_unique<Project>();
    auto engine = std::make_unique<Engine>(*project);
    HeadlessPlatform platform;
    if (OpenProject(*project, *engine, platform, TW_DEMO_PROJECT) != LoadResult::Loaded) {
        state.SkipWithError("the demo project did not load");
        return;
    }
    project->cableStyle = style;
    PaintLoop(state, *project, CanvasLiveView{&engine->utility, true});
    state.counters["modules"] = project->CountOccupied();
}

// The full canvas painted once, its still picture kept, as the editor holds it between ticks.
struct PaintedCanvas {
    int64_t cables = 0;
    std::unique_ptr<Project> project;
    QImage image{kWidth, kHeight, QImage::Format_RGB32};
    DspCanvasPicture picture;
    QSize size{kWidth, kHeight};
    PaintedCanvas() {
        EnsureApplication();
        project = FullProject(1, cables);
        QPainter painter(&image);
        picture.Paint(painter, QRect(0, 0, kWidth, kHeight), *project, {}, {}, size);
    }
};

// One tick of the editor on the full canvas with the still picture kept: the fingerprint
// of the project, then only the live displays whose value moved (every Parameter and
// Volt Meter, here) drawn again in their own rectangles.
void BM_LiveTick(benchmark::State& state) {
    PaintedCanvas c;
    float value = 0.0f;
    int64_t repainted = 0;
    for (auto _ : state) {
        value = value > 0.9f ? 0.0f : value + 0.01f;
        for (ModuleSlot& s : c.project->slots) {
            s.value = value;
            s.displayValue = value * 10.0f;
        }
        const QRegion changed = c.picture.Changes(*c.project, {}, {}, c.size);
        repainted += changed.rectCount();
        QPainter painter(&c.image);
        c.picture.Paint(painter, changed, *c.project, {}, {}, c.size);
    }
    state.counters["rects"] =
        benchmark::Counter(static_cast<double>(repainted), benchmark::Counter::kAvgIterations);
    state.counters["still"] = static_cast<double>(c.picture.StillPaints());
}
BENCHMARK(BM_LiveTick)->Unit(benchmark::kMillisecond);

// An idle tick: nothing moved, nothing is painted.
void BM_IdleTick(benchmark::State& state) {
    PaintedCanvas c;
    for (auto _ : state) benchmark::DoNotOptimize(c.picture.Changes(*c.project, {}, {}, c.size));
}
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);

// Registered by hand so that the names keep their slashes: BM_PaintCanvas/Curved/1024.
const bool kRegistered = [] {
    const char* styles[] = {"Straight", "Curved", "Logic"};
    for (int32_t style = 0; style < 3; ++style) {
        const std::string name = styles[style];
        benchmark::RegisterBenchmark(("BM_PaintCanvas/" + name + "/1024").c_str(), BM_PaintCanvas,
                                     style)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_PaintCanvas/Demo/" + name).c_str(), BM_PaintDemo, style)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
} // namespace tw
