#pragma once

// Small builders for test projects, so that tests say what they build instead of
// repeating set-up code.
#include "model/limits.h"
#include "model/project.h"

#include <memory>

namespace tw::test {

// A project as a fresh program has it (the record's constructor is the reset state).
inline std::unique_ptr<Project> MakeProject() {
    return std::make_unique<Project>();
}

// Inserts a module of `type` with its top centre at (x, y), snapping as the editor does.
inline int32_t AddModule(Project& p, int32_t type, int32_t x = 100, int32_t y = 100) {
    return p.InsertModule(type, x, y, 400, 300);
}

// Cables output `outPort` of slot `from` to input `inPort` of slot `to`.
inline bool Wire(Project& p, int32_t from, int32_t outPort, int32_t to, int32_t inPort) {
    return p.Connect(PortIndex(from, outPort), PortIndex(to, inPort));
}

} // namespace tw::test
