#pragma once

// 1024 modules cycling through every type (unassigned numbers skipped), each fed from
// the module before it where the ports allow. PolyWave modules are left unwired: a
// changing Wave input rebuilds the table on every frame, which measures the rebuild, not
// the patch.
#include "../tests/support/builders.h"

#include <vector>

namespace tw::bench {

inline void BuildEveryTypePatch(Project& p) {
    std::vector<int32_t> types;
    for (int32_t t = 1; t <= kMaxModuleType; ++t) {
        if (t < 20 || t > 25) types.push_back(t);
    }
    int32_t previous = kNone;
    for (int32_t n = 0; n < kSlotCount; ++n) {
        const int32_t slot = test::AddModule(p, types[static_cast<size_t>(n) % types.size()]);
        if (slot == kNone) break;
        // Connect is refused for ports a type lacks; those inputs stay unconnected.
        if (previous != kNone && p.slots[slot].type != kTypePolyWave) {
            test::Wire(p, previous, 0, slot, 0);
        }
        previous = slot;
    }
}

} // namespace tw::bench
