#pragma once

// Larger generated patches shared by tests, benchmarks and the peer comparison.
#include "builders.h"

#include <utility>
#include <vector>

namespace tw::test {

// Sums the (slot, port) outputs pairwise with Combine modules; returns the root.
inline std::pair<int32_t, int32_t> CombineTree(Project& p,
                                               std::vector<std::pair<int32_t, int32_t>> level) {
    while (level.size() > 1) {
        std::vector<std::pair<int32_t, int32_t>> next;
        for (std::size_t i = 0; i + 1 < level.size(); i += 2) {
            const int32_t c = AddModule(p, kTypeCombine);
            Wire(p, level[i].first, level[i].second, c, 0);
            Wire(p, level[i + 1].first, level[i + 1].second, c, 1);
            next.emplace_back(c, 0);
        }
        if (level.size() % 2 == 1) next.push_back(level.back());
        level = std::move(next);
    }
    return level.front();
}

// `voices` voices of Oscillator -> 1 Pole Low Pass -> Amplifier with an Lfo on its Level,
// summed by a tree of Combine modules into one Output: 5 x voices modules (1020 for 204).
inline void BuildVoicePatch(Project& p, int32_t voices = 204) {
    std::vector<std::pair<int32_t, int32_t>> amps;
    for (int32_t v = 0; v < voices; ++v) {
        const int32_t osc = AddModule(p, kTypeOscillator);
        const int32_t filter = AddModule(p, kTypeLowPass1Pole);
        const int32_t lfo = AddModule(p, kTypeLfo);
        const int32_t amp = AddModule(p, kTypeAmplifier);
        Wire(p, osc, 0, filter, 0);
        Wire(p, filter, 0, amp, 0);
        Wire(p, lfo, 0, amp, 1);
        amps.emplace_back(amp, 0);
    }
    const auto root = CombineTree(p, amps);
    Wire(p, root.first, root.second, AddModule(p, kTypeOutput), 1);
}

} // namespace tw::test
