#pragma once

// The main window's menu bar, rebuilt from the project's state after every command so that
// its ticks and the content of the "&Edit" menu always match that state.
#include "model/history.h"
#include "model/project.h"

#include <cstdint>
#include <functional>

class QMenuBar;

namespace tw {

using CommandSink = std::function<void(int32_t command)>;

// Replaces the menus of `bar` with fresh ones for the current state; every item sends its
// command number to `send`. The old menus are deleted later rather than at once, so this
// may run while one of their items is still delivering its click.
void BuildMenuBar(QMenuBar& bar, const Project& project, const EditHistory& history,
                  const CommandSink& send);

} // namespace tw
