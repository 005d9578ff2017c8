#pragma once

// The Dsp Editor's editing commands on the project: band selection, select all, delete
// the selection, copy and paste a module type. The context menu and the Edit menu share
// them; only the order of deletion differs between the two.
#include "interaction/canvas_interaction.h"
#include "model/project.h"

#include <cstdint>

namespace tw {

// Marks the modules whose anchor lies strictly inside the session's band and the comments
// whose whole box does; every selected object's drag origin becomes its screen position,
// all others are deselected.
void EvaluateBandSelection(Project& project, const CanvasSession& session) noexcept;

// Selects every module and comment (the band becomes the whole virtual canvas, not drawn).
void SelectAll(Project& project, CanvasSession& session) noexcept;

// The context menu's "Delete": the flagged comments first, then the current module
// and every band-selected module; the selection is cleared.
void DeleteSelectionFromContextMenu(Project& project, CanvasSession& session) noexcept;

// The Edit menu's "Delete": the current module, the band-selected modules, then the
// flagged comments; the selection is cleared.
void DeleteSelectionFromEditMenu(Project& project, CanvasSession& session) noexcept;

// Remembers the type of the module in `slot` for Paste; nothing when the slot is empty.
void CopyModule(Project& project, int32_t slot) noexcept;

// "Cut": copies as "Copy" does (the module under the pointer for the context menu, the
// current module for the Edit menu), then deletes as that menu's "Delete" does, so that
// Paste brings the module back.
void CutSelectionFromContextMenu(Project& project, CanvasSession& session,
                                 int32_t slotUnderPointer) noexcept;
void CutSelectionFromEditMenu(Project& project, CanvasSession& session) noexcept;

// Inserts a module of the copied type with its top centre at (x, y). Nothing happens when
// nothing was copied, the project is full, or the type allows one module per project and
// one exists. Returns the new slot or -1.
int32_t PasteModule(Project& project, int32_t x, int32_t y, int32_t guiWidth,
                    int32_t guiHeight) noexcept;

} // namespace tw
