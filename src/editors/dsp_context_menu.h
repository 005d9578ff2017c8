#pragma once

// The Dsp Editor's right-click menu: insert a module or a comment, cut, copy, paste,
// delete, select all, help, built from the rules in interaction/canvas_menu.h.
#include "interaction/canvas_interaction.h"
#include "interaction/canvas_menu.h"
#include "model/project.h"

#include <QMenu>

#include <memory>

namespace tw {

// Builds the context menu for a right press that found `hit`. Every action carries its
// command number in data(). Single-instance types are disabled while one exists and
// "Poly Midi To CV" always is; with edit locked only the help entries remain.
std::unique_ptr<QMenu> BuildDspContextMenu(const Project& project, const RightPressHit& hit,
                                           QWidget* parent = nullptr);

} // namespace tw
