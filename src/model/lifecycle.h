#pragma once

// Bringing the one Project into a known state: new-project defaults, the default window
// layout, skin images, the new / open / save flows, and the 128 patches.
#include "model/project.h"
#include "model/project_file.h"
#include "platform/platform.h"

#include <optional>
#include <string>
#include <string_view>

namespace tw {

class EditHistory;
class EngineControl;

inline constexpr int32_t kDefaultZoom = 4;
// Patch names typed in the toolbar are taken when they hold 1 to 63 characters.
inline constexpr std::size_t kMaxTypedPatchName = 63;

// The default identity, window layout, skin, zoom, patch names and empty tables.
void ApplyNewProjectDefaults(Project& project, Platform& platform);

// "Default Layout": the Dsp Editor fills the main window, the others go to fixed places;
// each is shown and brought to the top.
void ApplyDefaultLayout(Project& project, Platform& platform);

// Reads the seven control images and the panel background of the project's skin from
// <appFolder>/Skins/<skinName>/, ignoring letter case in the folder and file names. Each
// missing file is reported once and leaves its image as it was.
void LoadSkinImages(Project& project, Platform& platform);

// The path a skin file is looked for under, as shown to the user.
std::string SkinFilePath(const Project& project, std::string_view fileName);

// The product name, " - ", and what the project is known by.
std::string WindowTitle(std::string_view what);

// ---- Flows of the File menu ----

// The flows take the project's edit history where there is one: a save marks it saved,
// a project that has no unsaved step is replaced without a question, and a new or opened
// project starts a new history.

// "Save Project...": save dialog, confirmation, SaveProject. True only when the file
// was written.
bool SaveFlow(Project& project, Platform& platform, EditHistory* history = nullptr);

// "Save": writes the project to its own file, without a dialog or a question. A project
// that has no file yet, or whose file is `readOnlyPath` (the demo that ships with the
// program), goes through SaveFlow instead. True only when the file was written.
bool QuickSave(Project& project, Platform& platform, EditHistory* history = nullptr,
               std::string_view readOnlyPath = {});

// Asks `question` with Yes / No / Cancel before the project is replaced or the program
// ends, and runs the save flow on Yes. True when the caller may go on; Cancel, and a save
// that was asked for but did not happen, keep the work (false).
bool OfferToSave(Project& project, Platform& platform, std::string_view question,
                 EditHistory* history = nullptr);

// "New Project": offers to save first, then resets to the defaults. True when the project
// was replaced; otherwise it is left as it was.
bool NewProjectFlow(Project& project, EngineControl& engine, Platform& platform,
                    EditHistory* history = nullptr);

// "Open Project...": offers to save first ("Save project first"), then the open dialog and
// OpenProject. nullopt when the prompt or the dialog was cancelled or the save did not
// happen; the project is then left as it was.
std::optional<LoadResult> OpenFlow(Project& project, EngineControl& engine, Platform& platform,
                                   EditHistory* history = nullptr);

// "Undo" (forward false) and "Redo": takes the history one step and brings back what the
// record's bytes do not hold (the skin's images, the toolbar's patch name). False when
// there was no step to take.
bool StepHistory(Project& project, EditHistory& history, Platform& platform, bool forward);

// What an editor changed, as one step of `history` (none when the editor has no history):
// the menus then offer to undo it.
void RecordStep(EditHistory* history, const Project& project, Platform& platform,
                std::string_view name = {}, bool verb = false, bool merge = false);

// ---- Patches ----

// Makes patch p current and recomputes the parameter values; false for p outside 0..127.
bool SelectPatch(Project& project, Platform& platform, int32_t p);
// Opening the toolbar's patch list silences the delay line, picked or not.
void PatchListOpened(EngineControl& engine);
void PreviousPatch(Project& project, EngineControl& engine, Platform& platform);
void NextPatch(Project& project, EngineControl& engine, Platform& platform);
// Takes a typed name of 1 to 63 characters verbatim for the current patch; other lengths
// are ignored (false).
bool SetPatchName(Project& project, std::string_view name);
// Copies patch `from`'s name and every slot's value column onto patch `to`. The values
// the engine uses change at the next patch switch or load.
bool CopyPatch(Project& project, int32_t from, int32_t to);
// The "OK" of the Copy Patch dialog: asks "Confirm Patch Copy" and copies on Yes. False
// when the user said No (the dialog stays open) or a patch number is out of range.
bool ConfirmAndCopyPatch(Project& project, Platform& platform, int32_t from, int32_t to);

} // namespace tw
