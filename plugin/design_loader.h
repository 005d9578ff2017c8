#pragma once

// Turning a manifest's design back into a project the engine can run, with the same
// record operations that opening a project file uses in the editor.
#include "model/project.h"
#include "plugin/manifest_reader.h"

namespace tw::plugin {

// Fills a project that has just had its full reset (ResetEngine) with the design: the
// modules get their catalogue shape in their own slots, both halves of every cable are
// set, the Parameters get their names, step counts, patches and start values, and the
// routes, active-object list and parameter values are rebuilt. Allocates nothing.
void LoadDesign(const ManifestDesign& design, Project& project) noexcept;

// What turning a Parameter's panel control to `step` does: the step becomes its value in
// the current patch and its value follows.
void SetParameterStep(Project& project, int32_t slot, int32_t step) noexcept;

} // namespace tw::plugin
