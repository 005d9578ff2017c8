#pragma once

// The Dsp Editor's editing commands on the project: band selection, select all, delete
// the selection, cut, copy and paste through the clipboard. The context menu and the Edit menu
// share them; only the order of deletion differs between the two.
#include "interaction/canvas_interaction.h"
#include "interaction/clipboard.h"
#include "model/project.h"
#include "platform/platform.h"

#include <cstdint>
#include <optional>

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

// "Copy": the selection (the current module, the band-selected modules, the flagged
// comments) goes to the desktop's clipboard as a clipping's text, replacing what was
// there. With nothing selected the clipboard is left alone (false).
bool CopySelectionToClipboard(const Project& project, Platform& platform);

// "Cut": copies as "Copy" does, then deletes as that menu's "Delete" does, so that Paste
// brings the selection back.
void CutSelectionFromContextMenu(Project& project, CanvasSession& session, Platform& platform);
void CutSelectionFromEditMenu(Project& project, CanvasSession& session, Platform& platform);

// "Paste": the clipping on the clipboard, as a group with its top-left at `at` (the context
// menu's point), or at the pointer over the canvas, else the first free spot in view (the
// Edit menu). Text on the clipboard that is not a clipping changes nothing.
PasteOutcome PasteFromClipboard(Project& project, CanvasSession& session, Platform& platform,
                                std::optional<CanvasPoint> at, int32_t guiWidth, int32_t guiHeight);

} // namespace tw
