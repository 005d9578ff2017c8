#pragma once

// Project-wide counts and clean-up: "Statistics", "Clean Project" and deleting the
// band-selected modules.
#include "model/project.h"
#include "platform/platform.h"

#include <string>

namespace tw {

struct ProjectCounts {
    int32_t modules = 0;
    int32_t cables = 0; // inputs that have a source ("Routes Visited")
    int32_t parameters = 0;
    int32_t polygons = 0;
    int32_t texts = 0;
};

// Recounts `moduleCount` on the way.
ProjectCounts CountProject(Project& project);

// The text of the "Statistics" box.
std::string StatisticsText(const ProjectCounts& counts);

// "Statistics": counts, then shows the box (caption "Statistics").
void ShowStatistics(Project& project, Platform& platform);

// True when none of the slot's 32 ports carries a cable.
bool IsUnused(const Project& project, int32_t slot);

enum class CleanOutcome : int32_t {
    AlreadyClean, // "Project Is Clean"
    Deleted,      // Yes: the unused modules are gone
    Marked,       // No: they stay, marked, for the canvas to show
    Cancelled,    // Cancel: they stay, unmarked
};

// "Clean Project": marks the unused modules and asks whether to delete them.
CleanOutcome CleanProject(Project& project, Platform& platform);

// Deletes every selected module in slot order; returns how many went.
int32_t DeleteSelectedModules(Project& project);

} // namespace tw
