#pragma once

// The Dsp Editor's right-click menu without its widgets: the command numbers its entries
// carry, which module types the insert menu offers, and what each command does. The
// editor builds the Qt menu from these (editors/dsp_context_menu.h); the Edit menu
// reaches the same editing operations through interaction/canvas_commands.h.
#include "interaction/canvas_interaction.h"
#include "model/project.h"
#include "platform/platform.h"

#include <cstdint>

namespace tw {

// Command numbers. The editing ones are those of the Edit menu; the insert entries
// carry the module type above kCommandInsertModule.
enum DspCommand : int32_t {
    kCommandNone = 0,
    kCommandCut = 1017,
    kCommandCopy = 1018,
    kCommandPaste = 1019,
    kCommandDelete = 1020,
    kCommandSelectAll = 1023,
    kCommandInsertComment = 3000,
    kCommandModuleHelp = 3001,
    kCommandCommentHelp = 3002,
    kCommandInsertModule = 4000, // + module type
};

inline constexpr const char* kModuleLimitMessage =
    "No more modules are available in this version of Tonewright.";

// Whether the insert menu offers `type` now.
bool InsertEntryEnabled(const Project& project, int32_t type) noexcept;

// Carries out a context menu command chosen at canvas point (x, y).
void RunDspContextCommand(Project& project, CanvasSession& session, Platform& platform,
                          int32_t command, int32_t x, int32_t y, const RightPressHit& hit);

} // namespace tw
