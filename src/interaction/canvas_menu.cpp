#include "interaction/canvas_menu.h"

#include "interaction/canvas_commands.h"
#include "model/catalogue.h"

#include <string>

namespace tw {

namespace {

// The Gui Editor's size decides where a new Parameter's control lands on the panel.
WindowRect GuiEditorSize(Platform& platform) {
    return platform.EditorWindowRect(EditorWindow::GuiEditor);
}

void InsertModuleAt(Project& project, Platform& platform, int32_t type, int32_t x, int32_t y) {
    if (!InsertEntryEnabled(project, type)) return;
    if (project.CountModules() >= kSlotCount) {
        platform.ShowMessage(kModuleLimitMessage, kProductName, MessageButtons::Ok,
                             MessageIcon::Information);
        return;
    }
    const WindowRect gui = GuiEditorSize(platform);
    project.InsertModule(type, x, y, gui.width, gui.height);
    project.CountModules();
}

void InsertCommentAt(Project& project, int32_t x, int32_t y) {
    if (project.snapToGrid) {
        x = (x / 8) * 8;
        y = (y / 8) * 8;
    }
    // A full comment list takes no more; the menu entry then does nothing.
    const int32_t index = project.InsertComment(x, y);
    if (index == kNone) return;
    project.CapturePositions();
    project.currentComment = index;
    project.propertiesTarget = kTargetComment;
}

void ShowHelpPage(Platform& platform, const char* page) {
    platform.ShowHelp(std::string(kHelpFile) + "::/" + page);
}

} // namespace

bool InsertEntryEnabled(const Project& project, int32_t type) noexcept {
    const ModuleTypeInfo* info = FindModuleType(type);
    if (info == nullptr || info->menuCategory == nullptr || info->menuCategory[0] == '\0')
        return false;
    if (info->alwaysDisabled) return false;
    return !(info->onePerProject && project.HasModuleOfType(type));
}

void RunDspContextCommand(Project& project, CanvasSession& session, Platform& platform,
                          int32_t command, int32_t x, int32_t y, const RightPressHit& hit) {
    const bool editing = !project.lockEdit;
    if (command > kCommandInsertModule && command <= kCommandInsertModule + kMaxModuleType) {
        if (editing) InsertModuleAt(project, platform, command - kCommandInsertModule, x, y);
        return;
    }
    switch (command) {
    case kCommandInsertComment:
        if (editing) InsertCommentAt(project, x, y);
        break;
    case kCommandCut:
        if (editing) CutSelectionFromContextMenu(project, session, platform);
        break;
    case kCommandDelete:
        if (editing) DeleteSelectionFromContextMenu(project, session);
        break;
    case kCommandCopy:
        // The module under the pointer is current after the right press, so it is copied
        // with the band's selection.
        if (editing) CopySelectionToClipboard(project, platform);
        break;
    case kCommandPaste:
        if (editing) {
            const WindowRect gui = GuiEditorSize(platform);
            PasteFromClipboard(project, session, platform, CanvasPoint{x, y}, gui.width,
                               gui.height);
        }
        break;
    case kCommandSelectAll:
        if (editing) SelectAll(project, session);
        break;
    case kCommandModuleHelp:
        if (IsSlot(hit.slot) && project.slots[hit.slot].helpPage != nullptr)
            ShowHelpPage(platform, project.slots[hit.slot].helpPage);
        break;
    case kCommandCommentHelp:
        ShowHelpPage(platform, "comment.htm");
        break;
    default:
        break;
    }
}

} // namespace tw
