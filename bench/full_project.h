#pragma once

// A full project for the benchmarks: 1024 modules, about a thousand cables, comments,
// panel elements and named patches.
#include "model/project.h"
#include "model/text.h"

#include <memory>

namespace tw {

inline constexpr int32_t kChain[] = {kTypeOscillator, kTypeAmplifier, kTypeLowPass2Pole, kTypeAdd,
                                     kTypeParameter,  kTypeSplit,     kTypeLfo,          kTypeMul};

inline std::unique_ptr<Project> FullProject() {
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

} // namespace tw
