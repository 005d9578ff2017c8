#include "envelope.h"

#include "engine/engine.h"

namespace tw {

void BuildTimeTable(Engine& e) noexcept {
    // Each entry is the float nearest the decimal with three places, not a running sum.
    struct Run {
        int32_t first, last, startMs, stepMs;
    };
    constexpr Run kRuns[] = {{0, 0, 5, 0},         {1, 20, 13, 6},     {21, 30, 139, 12},
                             {31, 40, 272, 25},    {41, 49, 547, 50},  {50, 50, 1000, 0},
                             {51, 60, 1100, 100},  {61, 100, 2200, 200}};
    float* table = e.envelopes.timeTable;
    for (const Run& run : kRuns) {
        for (int32_t n = run.first; n <= run.last; ++n) {
            const int32_t ms = run.startMs + (n - run.first) * run.stepMs;
            table[n] = static_cast<float>(static_cast<double>(ms) / 1000.0);
        }
    }
}

void ResetEnvelopes(Engine& e) noexcept { BuildTimeTable(e); }

void RunAdsr(Engine&, int32_t) noexcept {}

} // namespace tw
