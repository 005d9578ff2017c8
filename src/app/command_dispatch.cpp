#include "app/command_dispatch.h"

#include "app/commands.h"
#include "interaction/canvas_commands.h"
#include "model/app_folders.h"
#include "model/lifecycle.h"
#include "model/statistics.h"
#include "model/text.h"

#include <cstdio>
#include <optional>

namespace tw {

namespace {

void Inform(Platform& platform, std::string_view text) {
    platform.ShowMessage(text, kProductName, MessageButtons::Ok, MessageIcon::Information);
}

// After a new or opened project the toolbar shows its first state again.
void ShowProjectInToolbar(AppContext& ctx) {
    ctx.platform.ShowPatchName(GetText(ctx.project.patchNames[ctx.project.currentPatch]));
    ctx.platform.SelectZoom(ctx.project.zoom);
    ctx.platform.RefreshProperties();
}

// The build captures the panel as the plugin's background: the other editors go out of the
// way, edit marks go off and the Gui Editor moves to the corner; all of it comes back
// afterwards.
void RunBuildWithPreparedScreen(AppContext& ctx, CommandHost& host) {
    Platform& platform = ctx.platform;
    Project& project = ctx.project;
    constexpr EditorWindow kHidden[] = {EditorWindow::DspEditor, EditorWindow::VirtualKeyboard,
                                        EditorWindow::MidiMonitor};
    bool wasVisible[3] = {};
    for (int i = 0; i < 3; ++i) {
        wasVisible[i] = platform.IsEditorWindowVisible(kHidden[i]);
        if (wasVisible[i]) platform.ShowEditorWindow(kHidden[i], false);
    }
    const uint8_t lockWas = project.lockEdit;
    project.lockEdit = 1;
    project.guiEditMode = 0;
    const bool guiWasVisible = platform.IsEditorWindowVisible(EditorWindow::GuiEditor);
    const WindowRect guiWas = platform.EditorWindowRect(EditorWindow::GuiEditor);
    platform.BringEditorWindowToTop(EditorWindow::GuiEditor);
    platform.MoveEditorWindow(EditorWindow::GuiEditor, {0, 0, guiWas.width, guiWas.height});
    platform.ShowEditorWindow(EditorWindow::GuiEditor, true);

    host.RunBuild();

    project.lockEdit = lockWas;
    for (int i = 0; i < 3; ++i) {
        if (wasVisible[i]) platform.ShowEditorWindow(kHidden[i], true);
    }
    platform.MoveEditorWindow(EditorWindow::GuiEditor, guiWas);
    if (!guiWasVisible) platform.ShowEditorWindow(EditorWindow::GuiEditor, false);
}

} // namespace

std::string AboutText() {
    char version[16];
    std::snprintf(version, sizeof version, " v0.%d", static_cast<int>(kProgramVersion));
    return std::string(kProductName) + version + " Beta" +
           "\n\nDesign software synthesizers, play them live and build them into plugins.\n"
           "Made by the Tonewright developers.";
}

bool DispatchCommand(AppContext& ctx, CommandHost& host, int32_t command) {
    Project& project = ctx.project;
    Platform& platform = ctx.platform;
    bool known = true;
    switch (command) {
    case kCmdNewProject:
        if (NewProjectFlow(project, ctx.engine, platform, &ctx.history)) {
            ForgetReplacedProject(host.Canvas());
            ShowProjectInToolbar(ctx);
        }
        break;
    case kCmdOpenProject:
        if (const std::optional<LoadResult> result =
                OpenFlow(project, ctx.engine, platform, &ctx.history)) {
            if (*result == LoadResult::Loaded) ForgetReplacedProject(host.Canvas());
            ShowProjectInToolbar(ctx);
        }
        break;
    case kCmdSaveProject:
        SaveFlow(project, platform, &ctx.history);
        break;
    case kCmdSave:
        // The demo that ships with the program is never overwritten without a dialog.
        QuickSave(project, platform, &ctx.history, DemoProjectPath(project));
        break;
    case kCmdUndo:
    case kCmdRedo:
        // While edit is locked the steps are out of reach, as the rest of the Edit menu is.
        if (project.lockEdit == 0 &&
            StepHistory(project, ctx.history, platform, command == kCmdRedo)) {
            // A loose cable or a band belonged to the state before the step.
            ForgetReplacedProject(host.Canvas());
        }
        break;
    case kCmdCut:
        CutSelectionFromEditMenu(project, host.Canvas(), platform);
        platform.RefreshProperties();
        break;
    case kCmdDelete:
        DeleteSelectionFromEditMenu(project, host.Canvas());
        platform.RefreshProperties();
        break;
    case kCmdCopy:
        CopySelectionToClipboard(project, platform);
        break;
    case kCmdPaste: {
        // At the pointer over the canvas, else on the first free spot in view.
        const WindowRect gui = platform.GuiEditorRecordedSize();
        PasteFromClipboard(project, host.Canvas(), platform, std::nullopt, gui.width, gui.height);
        platform.RefreshProperties();
        break;
    }
    case kCmdFitAll:
        FitAll(project, host.Canvas());
        platform.SelectZoom(project.zoom);
        break;
    case kCmdSnapToGrid:
        project.snapToGrid = project.snapToGrid != 0 ? 0 : 1;
        break;
    case kCmdLockEdit:
        project.lockEdit = project.lockEdit != 0 ? 0 : 1;
        if (project.lockEdit != 0) project.guiEditMode = 0;
        break;
    case kCmdSelectAll:
        SelectAll(project, host.Canvas());
        break;
    case kCmdJoke:
        Inform(platform, kJokeText);
        break;
    case kCmdStraightCables:
        project.cableStyle = 0;
        break;
    case kCmdCurvedCables:
        project.cableStyle = 1;
        break;
    case kCmdLogicCables:
        project.cableStyle = 2;
        break;
    case kCmdBuild:
        RunBuildWithPreparedScreen(ctx, host);
        break;
    case kCmdStatistics:
        ShowStatistics(project, platform);
        break;
    case kCmdRefreshProject:
        project.ClearCleanMarks();
        break;
    case kCmdCleanProject:
        CleanProject(project, platform);
        platform.RefreshProperties();
        break;
    case kCmdPreferences:
        host.RunPreferences();
        break;
    case kCmdShowDspEditor:
        host.RestoreEditorWindow(EditorWindow::DspEditor);
        break;
    case kCmdShowGuiEditor:
        host.RestoreEditorWindow(EditorWindow::GuiEditor);
        break;
    case kCmdShowKeyboard:
        platform.ShowEditorWindow(EditorWindow::VirtualKeyboard, true);
        platform.BringEditorWindowToTop(EditorWindow::VirtualKeyboard);
        break;
    case kCmdShowMonitor:
        platform.ShowEditorWindow(EditorWindow::MidiMonitor, true);
        platform.BringEditorWindowToTop(EditorWindow::MidiMonitor);
        break;
    case kCmdDefaultLayout:
        ApplyDefaultLayout(project, platform);
        break;
    case kCmdHelpTopics:
        platform.ShowHelp(kHelpFile);
        break;
    case kCmdAbout:
        Inform(platform, AboutText());
        break;
    default:
        known = false;
        break;
    }
    // Whatever the command changed in the project is one step, named after the command
    // where its name says more than the change does.
    switch (command) {
    case kCmdCut:
        ctx.history.Commit(project, "Cut", StepKind::Verb);
        break;
    case kCmdPaste:
        ctx.history.Commit(project, "Paste", StepKind::Verb);
        break;
    case kCmdCleanProject:
        ctx.history.Commit(project, "Clean Project");
        break;
    case kCmdBuild:
        ctx.history.Commit(project, "Change Build Settings");
        break;
    default:
        ctx.history.Commit(project);
        break;
    }
    platform.RebuildMenus();
    return known;
}

} // namespace tw
