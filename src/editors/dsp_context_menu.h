#pragma once

// The Dsp Editor's commands: the right-click menu (insert a module or a comment, cut,
// copy, paste, delete, select all, help) and the Edit menu's forms of the same commands.
#include "model/canvas_interaction.h"
#include "model/project.h"
#include "platform/platform.h"

#include <QMenu>

#include <cstdint>
#include <memory>

namespace tw {

// Command numbers. The editing ones are shared with the Edit menu; the insert entries
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
void RunDspContextCommand(Project& project, Platform& platform, int32_t command, int32_t x,
                          int32_t y, const RightPressHit& hit);

// The Edit menu's Cut, Copy, Paste, Delete and Select All. Copy takes the current module;
// Paste puts the new module at a random point in 0..199 on both axes. Returns false for
// any other command number.
bool RunDspEditCommand(Project& project, Platform& platform, int32_t command);

} // namespace tw
