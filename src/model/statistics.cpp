#include "model/statistics.h"

#include "model/lifecycle.h"

#include <algorithm>
#include <cstdio>

namespace tw {

ProjectCounts CountProject(Project& project) {
    ProjectCounts c;
    c.modules = project.CountModules();
    for (int32_t k = 0; k < kPortCount; ++k) c.cables += project.outputs[k].link != kNone ? 1 : 0;
    c.parameters = project.CountModulesOfType(kTypeParameter);
    c.polygons = project.polygonCount;
    c.texts = project.textCount;
    return c;
}

std::string StatisticsText(const ProjectCounts& c) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "DSP\nMaximum Objects\t\t%d\nObjects Used\t\t%d\nObjects Available\t\t%d\n"
                  "Routes Visited\t\t%d\n\nGUI\nNum Parameters\t\t%d\nNum Polygons\t\t%d\n"
                  "Num Labels\t\t%d",
                  static_cast<int>(kSlotCount), static_cast<int>(c.modules),
                  static_cast<int>(kSlotCount - c.modules), static_cast<int>(c.cables),
                  static_cast<int>(c.parameters), static_cast<int>(c.polygons),
                  static_cast<int>(c.texts));
    return text;
}

void ShowStatistics(Project& project, Platform& platform) {
    platform.ShowMessage(StatisticsText(CountProject(project)), "Statistics", MessageButtons::Ok,
                         MessageIcon::Information);
}

bool IsUnused(const Project& project, int32_t slot) {
    if (!IsSlot(slot)) return false;
    const int32_t base = PortIndex(slot, 0);
    for (int32_t k = base; k < base + kPortsPerSlot; ++k) {
        if (project.outputs[k].link >= 0 || project.inputs[k].link >= 0) return false;
    }
    return true;
}

CleanOutcome CleanProject(Project& project, Platform& platform) {
    project.ClearCleanMarks();
    int32_t unused = 0;
    for (int32_t s = 0; s < kSlotCount; ++s) {
        if (project.slots[s].type == kTypeEmpty || !IsUnused(project, s)) continue;
        project.slots[s].cleanMark = 1;
        ++unused;
    }
    project.CountModules();
    if (unused == 0) {
        platform.ShowMessage("Project Is Clean", "Clean Project", MessageButtons::Ok,
                             MessageIcon::Question);
        return CleanOutcome::AlreadyClean;
    }
    char question[64];
    std::snprintf(question, sizeof question, "Delete %d Unused Objects", static_cast<int>(unused));
    switch (platform.ShowMessage(question, "Clean Project", MessageButtons::YesNoCancel,
                                 MessageIcon::Question)) {
    case MessageAnswer::Yes:
        for (int32_t s = 0; s < kSlotCount; ++s) {
            if (project.slots[s].cleanMark != 1) continue;
            project.slots[s].cleanMark = 0;
            project.currentSlot = s;
            project.DeleteModule(s);
        }
        project.CountModules();
        return CleanOutcome::Deleted;
    case MessageAnswer::No:
        return CleanOutcome::Marked;
    default:
        project.ClearCleanMarks();
        return CleanOutcome::Cancelled;
    }
}

int32_t DeleteSelectedModules(Project& project) {
    int32_t deleted = 0;
    for (int32_t s = 0; s < kSlotCount; ++s) {
        if (project.slots[s].selected != 1) continue;
        project.currentSlot = s;
        if (project.slots[s].type != kTypeEmpty) ++deleted;
        project.DeleteModule(s);
        // A slot reused later must not come back already selected.
        project.slots[s].selected = 0;
    }
    project.currentSlot = kNone;
    project.CountModules();
    return deleted;
}

} // namespace tw
