#pragma once

// The Dsp Editor's right-click menu: insert a module or a comment, cut, copy, paste,
// delete, select all, help. The Edit menu reaches the same operations through
// model/canvas_commands.h.
#include "model/canvas_interaction.h"
#include "model/project.h"
#include "platform/platform.h"

#include <QMenu>

#include <cstdint>
#include <memory>

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

// Builds the context menu for a right press that found `hit`. Every action carries its
// command number in data(). Single-instance types are disabled while one exists and
// "Poly Midi To CV" always is; with edit locked only the help entries remain.
std::unique_ptr<QMenu> BuildDspContextMenu(const Project& project, const RightPressHit& hit,
                                           QWidget* parent = nullptr);

// Whether the insert menu offers `type` now.
bool InsertEntryEnabled(const Project& project, int32_t type) noexcept;

// Carries out a context menu command chosen at canvas point (x, y).
void RunDspContextCommand(Project& project, CanvasSession& session, Platform& platform,
                          int32_t command, int32_t x, int32_t y, const RightPressHit& hit);

} // namespace tw
