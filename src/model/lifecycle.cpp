#include "model/lifecycle.h"

#include "model/engine_control.h"
#include "model/history.h"
#include "model/skin_files.h"
#include "model/text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace tw {

namespace {

// The entry of `names` that is `wanted`, preferring an exact match, else one that differs
// only in letter case.
std::optional<std::string> MatchName(const std::vector<std::string>& names,
                                     std::string_view wanted) {
    if (std::find(names.begin(), names.end(), wanted) != names.end()) return std::string(wanted);
    for (const std::string& n : names) {
        if (SameIgnoringCase(n, wanted)) return n;
    }
    return std::nullopt;
}

// Finds `relative` (components separated by '/') below `base`, each component matched
// without regard to letter case.
std::optional<std::string> Resolve(Platform& platform, std::string_view base,
                                   std::string_view relative) {
    std::string path(base.empty() ? "." : base);
    std::size_t start = 0;
    while (start <= relative.size()) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        const std::string_view part = relative.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            path = Join(path, part);
            continue;
        }
        const std::optional<std::vector<std::string>> names = platform.ListFolder(path);
        if (!names) return std::nullopt;
        const std::optional<std::string> match = MatchName(*names, part);
        if (!match) return std::nullopt;
        path = Join(path, *match);
    }
    return path;
}

std::string SkinFolder(const Project& project) {
    return Join(Join(GetText(project.appFolder), "Skins"), GetText(project.skinName));
}

void ShowSkinError(Platform& platform, std::string_view what, const std::string& path) {
    platform.ShowMessage(std::string(what).append("\n\n").append(path), kProductName,
                         MessageButtons::Ok, MessageIcon::Error);
}

// Loads one skin picture; nullptr after telling the user why not.
BitmapHandle LoadSkinFile(const Project& project, Platform& platform,
                          const std::optional<std::vector<std::string>>& folderNames,
                          const std::optional<std::string>& folder, std::string_view fileName) {
    const std::string shown = SkinFilePath(project, fileName);
    std::optional<std::string> name;
    if (folderNames) name = MatchName(*folderNames, fileName);
    if (!folder || !name) {
        ShowSkinError(platform, "Skin File Not Found", shown);
        return nullptr;
    }
    BitmapHandle bitmap = platform.LoadBitmap(Join(*folder, *name));
    // A file that is there but is no picture we can read must not leave an image of
    // width 0 behind, which would divide the frame count by zero.
    if (bitmap == nullptr || bitmap->width <= 0 || bitmap->height <= 0) {
        ShowSkinError(platform, "Skin File Not Readable", shown);
        return nullptr;
    }
    return bitmap;
}

} // namespace

std::string SkinFilePath(const Project& project, std::string_view fileName) {
    return Join(SkinFolder(project), fileName);
}

std::string WindowTitle(std::string_view what) {
    return std::string(kProductName).append(" - ").append(what);
}

void ApplyDefaultLayout(Project& project, Platform& platform) {
    const WindowRect main = platform.MainWindowRect();
    const auto place = [&](EditorWindow w, int32_t x, int32_t y, int32_t width, int32_t height) {
        platform.MoveEditorWindow(w, {x, y, std::max(width, 0), std::max(height, 0)});
        platform.ShowEditorWindow(w, true);
        platform.BringEditorWindowToTop(w);
    };
    // The four editors tile the work area beside the Properties panel and below the
    // toolbar without overlapping: the canvas top-left, the panel (at its own size, which
    // is the plugin's, unless the screen is too small for it) top-right with the Midi
    // Monitor under it, and the keyboard along the bottom.
    constexpr int32_t kGap = 4;
    const int32_t left = kEditorAreaLeft, top = kEditorAreaTop;
    const int32_t width = std::max(main.width - left - kEditorAreaRightMargin, 0);
    const int32_t height = std::max(main.height - top - kEditorAreaBottomMargin, 0);
    const int32_t keysY = top + std::max(height - kKeyboardHeight, 0);
    const int32_t upper = std::max(keysY - kGap - top, 0);
    const WindowRect gui = platform.EditorWindowRect(EditorWindow::GuiEditor);
    const int32_t guiWidth = std::min(gui.width, width / 2);
    const int32_t guiHeight = std::min(gui.height, std::max(upper - kGap - kMonitorHeight, 0));
    const int32_t guiX = left + width - guiWidth;
    place(EditorWindow::DspEditor, left, top, guiX - kGap - left, upper);
    place(EditorWindow::GuiEditor, guiX, top, guiWidth, guiHeight);
    place(EditorWindow::VirtualKeyboard, left, keysY, kKeyboardWidth, kKeyboardHeight);
    place(EditorWindow::MidiMonitor, guiX, top + guiHeight + kGap, kMonitorWidth, kMonitorHeight);
    const SavedLayout layout = ReadSavedLayout(platform);
    std::copy(std::begin(layout.windows), std::end(layout.windows), std::begin(project.windows));
}

void LoadSkinImages(Project& project, Platform& platform) {
    // The user's skins come first, so that a skin of theirs can stand in for an installed
    // one of the same name.
    std::optional<std::string> folder;
    if (project.userFolder[0] != '\0')
        folder = Resolve(platform, GetText(project.userFolder),
                         Join("Skins", GetText(project.skinName)));
    if (!folder)
        folder =
            Resolve(platform, GetText(project.appFolder), Join("Skins", GetText(project.skinName)));
    std::optional<std::vector<std::string>> names;
    if (folder) names = platform.ListFolder(*folder);
    for (SkinImage& image : project.skinImages) {
        if (image.fileName[0] == '\0') continue;
        BitmapHandle bitmap =
            LoadSkinFile(project, platform, names, folder, GetText(image.fileName));
        if (bitmap == nullptr) continue;
        image.width = bitmap->width;
        image.height = bitmap->height;
        image.frames = image.width > 0 ? image.height / image.width : 0;
        image.bitmap = std::move(bitmap);
    }
    BitmapHandle background = LoadSkinFile(project, platform, names, folder, kSkinBackgroundFile);
    if (background != nullptr) {
        project.background.width = background->width;
        project.background.height = background->height;
        project.background.bitmap = std::move(background);
    }
}

void ApplyNewProjectDefaults(Project& project, Platform& platform) {
    project.SetDefaultIdentity();
    ApplyDefaultLayout(project, platform);
    project.SetDefaultSkinFileNames();
    LoadSkinImages(project, platform);
    project.viewOriginX = 0;
    project.viewOriginY = 0;
    project.zoom = kDefaultZoom;
    project.previousZoom = kDefaultZoom;
    project.currentPatch = 0;
    project.ResetPatchNames();
    project.activeCount = 0;
    project.ResetModuleSlots();
    project.ResetPorts();
    project.RebuildRoutes();
    project.ResetPolygons();
    project.ResetTexts();
    project.Relayout();
    project.CountModules();
}

namespace {

// Writes the project to `path`, which from then on is the project's file everywhere: the
// title, the recovery copy's origin and the last project the preferences remember.
bool SaveTo(Project& project, Platform& platform, EditHistory* history, const std::string& path) {
    if (!SaveProject(project, platform, path)) return false;
    SetText(project.projectPath, path);
    platform.SetMainTitle(WindowTitle(path));
    if (history != nullptr) {
        // What the editors changed without a step of their own belongs to the saved state.
        history->Commit(project);
        history->MarkSaved();
    }
    return true;
}

} // namespace

bool SaveFlow(Project& project, Platform& platform, EditHistory* history) {
    const std::optional<std::string> path =
        platform.ChooseSaveFile("Project Files (*.tw1)", "*.tw1", "tw1");
    if (!path) return false;
    const MessageAnswer answer =
        platform.ShowMessage("Confirm Save Project\n\n" + *path, kProductName,
                             MessageButtons::OkCancel, MessageIcon::Question);
    if (answer != MessageAnswer::Ok) return false;
    return SaveTo(project, platform, history, *path);
}

bool QuickSave(Project& project, Platform& platform, EditHistory* history,
               std::string_view readOnlyPath) {
    const std::string path(GetText(project.projectPath));
    if (path.empty() || path == readOnlyPath) return SaveFlow(project, platform, history);
    return SaveTo(project, platform, history, path);
}

bool OfferToSave(Project& project, Platform& platform, std::string_view question,
                 EditHistory* history) {
    if (history != nullptr) {
        history->Commit(project);
        if (!history->Modified()) return true;
    }
    const MessageAnswer answer = platform.ShowMessage(
        question, kProductName, MessageButtons::YesNoCancel, MessageIcon::Question);
    if (answer == MessageAnswer::Cancel) return false;
    // "Yes" means the user wants the work kept: when the save does not happen the
    // project stays rather than being thrown away unsaved.
    return answer != MessageAnswer::Yes || SaveFlow(project, platform, history);
}

bool NewProjectFlow(Project& project, EngineControl& engine, Platform& platform,
                    EditHistory* history) {
    const std::string question =
        std::string("Save Changes To ").append(GetText(project.pluginName)).append(".tw1");
    if (!OfferToSave(project, platform, question, history)) return false;
    FullReset(project, engine);
    ApplyNewProjectDefaults(project, platform);
    // The new project has no file yet: its recovery copy and a later "Save" must not take it
    // for the one it replaced.
    SetText(project.projectPath, "");
    platform.SetMainTitle(WindowTitle(GetText(project.pluginName)));
    platform.StopAudio();
    if (history != nullptr) history->Reset(project);
    return true;
}

std::optional<LoadResult> OpenFlow(Project& project, EngineControl& engine, Platform& platform,
                                   EditHistory* history) {
    // Opening replaces the project as "New Project" does: the work is offered for saving
    // first.
    if (!OfferToSave(project, platform, "Save project first", history)) return std::nullopt;
    const std::optional<std::string> path =
        platform.ChooseOpenFile("Program Files (*.tw1)", "*.tw1", "tw1");
    if (!path) return std::nullopt;
    const LoadResult result = OpenProject(project, engine, platform, *path);
    platform.StopAudio();
    if (history != nullptr && result == LoadResult::Loaded) history->Reset(project);
    return result;
}

void RecordStep(EditHistory* history, const Project& project, Platform& platform,
                std::string_view name, bool verb, bool merge) {
    if (history == nullptr) return;
    const StepKind kind = merge ? StepKind::Merge : verb ? StepKind::Verb : StepKind::Named;
    if (history->Commit(project, name, kind)) platform.RebuildMenus();
}

bool StepHistory(Project& project, EditHistory& history, Platform& platform, bool forward) {
    const StepEffects effects = forward ? history.Redo(project) : history.Undo(project);
    if (!effects.applied) return false;
    if (effects.skinChanged) {
        LoadSkinImages(project, platform);
        project.RecomputeParameterValues();
        history.Settle(project);
    }
    if (effects.patchNamesChanged)
        platform.ShowPatchName(GetText(project.patchNames[project.currentPatch]));
    platform.RefreshProperties();
    platform.RebuildMenus();
    return true;
}

bool SelectPatch(Project& project, Platform& platform, int32_t p) {
    if (!IsPatch(p)) return false;
    project.currentPatch = p;
    platform.ShowPatchName(GetText(project.patchNames[p]));
    project.RecomputeParameterValues();
    return true;
}

void PatchListOpened(EngineControl& engine) {
    engine.ClearDelayLine();
}

void PreviousPatch(Project& project, EngineControl& engine, Platform& platform) {
    engine.ClearDelayLine();
    SelectPatch(project, platform,
                std::clamp<int32_t>(project.currentPatch - 1, 0, kPatchCount - 1));
}

void NextPatch(Project& project, EngineControl& engine, Platform& platform) {
    engine.ClearDelayLine();
    SelectPatch(project, platform,
                std::clamp<int32_t>(project.currentPatch + 1, 0, kPatchCount - 1));
}

bool SetPatchName(Project& project, std::string_view name) {
    const int32_t p = project.currentPatch;
    if (!IsPatch(p) || name.empty() || name.size() > kMaxTypedPatchName) return false;
    SetText(project.patchNames[p], name);
    return true;
}

bool CopyPatch(Project& project, int32_t from, int32_t to) {
    if (!IsPatch(from) || !IsPatch(to)) return false;
    if (from == to) return true;
    std::memcpy(project.patchNames[to], project.patchNames[from], sizeof project.patchNames[to]);
    for (ModuleSlot& s : project.slots) s.patchValues[to] = s.patchValues[from];
    return true;
}

bool ConfirmAndCopyPatch(Project& project, Platform& platform, int32_t from, int32_t to) {
    if (!IsPatch(from) || !IsPatch(to)) return false;
    const MessageAnswer answer = platform.ShowMessage(
        "Confirm Patch Copy", kProductName, MessageButtons::YesNo, MessageIcon::Information);
    if (answer != MessageAnswer::Yes) return false;
    return CopyPatch(project, from, to);
}

} // namespace tw
