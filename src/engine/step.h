#pragma once

// One step of the frame loop, inline for the loops that run it: the plain frame loop and
// the plan's frame-by-frame groups.
#include "engine/engine.h"

namespace tw {

// Evaluates one module. Types outside the catalogue (0, 20..25, anything out of range)
// do nothing.
inline void Dispatch(Engine& e, int32_t type, int32_t slot, float* block, uint32_t frames,
                     uint32_t frame) noexcept {
    if (!IsEngineType(type)) return;
    kFrameRules[static_cast<std::size_t>(type)](e, slot, block, frames, frame);
}

// Copies the sources' current values into the slot's input value table entries, which
// cached reads see at the module's next evaluation (0 for an input without a cable).
//
// Only the positions the type has as inputs are copied: its other positions can have no
// cable, so after one full pass they hold 0 and every later pass would store 0 again.
// The full pass runs whenever the slot's type differs from the last type run there, so
// a type with more inputs never inherits stale values from one with fewer.
inline void RefreshInputs(Engine& e, int32_t type, int32_t slot) noexcept {
    int32_t span = kPortsPerSlot;
    if (type == e.lastType[slot]) {
        span = type >= 0 && type <= kMaxModuleType ? e.inputSpan[type] : kPortsPerSlot;
    } else {
        e.lastType[slot] = type;
    }
    const int32_t p = PortIndex(slot, 0);
    const Relaxed<int32_t>* routes = &e.project.routes[p];
    float* inputs = &e.inputs[p];
    for (int32_t k = 0; k < span; ++k) {
        // Read a valid cell either way and select afterwards: no branch to mispredict on
        // the cable pattern of a thousand slots.
        const int32_t source = routes[k];
        const bool connected = source >= 0;
        const float value = e.outputs[connected ? source : 0];
        inputs[k] = connected ? value : 0.0f;
    }
}

// Runs the module, then copies its sources' current values into its input value table
// entries for its next run.
inline void StepModule(Engine& e, int32_t type, int32_t slot, float* block, uint32_t frames,
                       uint32_t frame) noexcept {
    Dispatch(e, type, slot, block, frames, frame);
    RefreshInputs(e, type, slot);
}

} // namespace tw
