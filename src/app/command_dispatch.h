#pragma once

// Carries out the numbered commands of the menus and the toolbar that belong to the
// project, the editors and the windows.
#include "app/app_context.h"
#include "interaction/canvas_interaction.h"

#include <cstdint>
#include <string>

namespace tw {

// What the dispatcher needs from the main window beyond the desktop services.
class CommandHost {
public:
    virtual ~CommandHost() = default;
    // Shows an editor window in its normal (not minimised or maximised) state, on top.
    virtual void RestoreEditorWindow(EditorWindow window) = 0;
    // The modal dialogs.
    virtual void RunPreferences() = 0;
    virtual void RunBuild() = 0;
    // The Dsp Editor's mouse session, whose band the Edit menu's selection commands share.
    virtual CanvasSession& Canvas() = 0;
};

// The text of the "About..." box.
std::string AboutText();
inline constexpr const char* kJokeText = "Please do not press this button again.";

// Carries out `command`, then rebuilds the menu bar. Commands that the main window handles
// itself (exit, the patch controls, audio start and stop) do nothing here. Returns whether
// the number was one of the dispatcher's commands.
bool DispatchCommand(AppContext& ctx, CommandHost& host, int32_t command);

} // namespace tw
