#pragma once

// Building a plugin from the open project: the template copy with the manifest appended,
// the plugin folder with the skin's control bitmaps, and the captured panel background.
// No widgets here: the log, the message boxes, the pauses and the panel picture all come
// from the caller.
#include "export/build_log.h"
#include "model/project.h"
#include "platform/bitmap.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The seven control bitmaps a plugin folder receives, in the order they are copied: the
// skin's strips, found whatever the case of their names, copied under these names. Three
// of them are lower-cased here, as plugin folders have always carried them.
inline constexpr std::array<const char*, kSkinImageCount> kPluginSkinBitmaps = {
    "Knob_0to10.bmp", "Knob_0to100.bmp",  "Knob_Plus_Minus.bmp", "Knob_1234.bmp",
    "knob_Wave.bmp",  "switch_onoff.bmp", "led_red.bmp"};

// Size of the panel picture: the Gui Editor's outer size less its frame.
struct PanelSize {
    int32_t width = 384;
    int32_t height = 261;
};
inline PanelSize PanelOfEditor(int32_t outerWidth, int32_t outerHeight) {
    return {outerWidth - 16, outerHeight - 39};
}

// What the build needs from the program around it.
class BuildHost {
public:
    virtual ~BuildHost() = default;
    // A refused field (error icon), and "Nothing to save" (warning icon).
    virtual void ShowError(std::string_view text) = 0;
    virtual void ShowWarning(std::string_view text) = 0;
    // The build pauses after "compiling" and "linking" so that the user can follow it.
    virtual void Pause(int milliseconds) = 0;
    // The panel as the Gui Editor shows it now: width x height pixels from its top-left.
    virtual Bitmap CapturePanel(int32_t width, int32_t height) = 0;
};

// The identity fields of the Build Project dialog, as typed.
struct BuildFields {
    std::string name;
    std::string author;
    std::string version;
    std::string id;
};

// The longest identity fields, in characters: name, author and version; unique ID.
inline constexpr std::size_t kIdentityFieldChars = 23;
inline constexpr std::size_t kUniqueIdFieldChars = 4;

// The text cut to at most `limit` characters, never inside one: UTF-8 text counts its code
// points, any other text (taken as Latin-1, as the plugin description takes it) its bytes.
std::string CutToCharacters(std::string_view text, std::size_t limit);

// The fields as the build takes them: cut to 23, 23, 23 and 4 characters.
BuildFields CutBuildFields(const BuildFields& fields);

// Copies the fields into the project, cut as CutBuildFields cuts them.
void ApplyBuildFields(Project& project, const BuildFields& fields);

inline constexpr const char* kInvalidDirectory =
    "Invalid Plugin Directory.\nSee:- Setup -> Preferences.";

// The messages of every check the project's fields fail, in order; empty when none fails.
std::vector<std::string> ValidateBuild(const Project& project);

void SetRenderOnBackground(Project& project, uint8_t flag);

// Paths the build uses.
std::string TemplatePath(const Project& project);
std::string PluginFilePath(const Project& project);
std::string PluginFolderPath(const Project& project);
std::string SkinFolderPath(const Project& project); // ends in '/'
// The plugin window's template: Resources/64BitUI.dat, or 32BitUI.dat for 32-bit hosts.
std::string WindowTemplatePath(const Project& project);

// Copies the window template into `folder` as the plugin's window binary and logs it.
// False when there is none to copy (a target built without one: not an error, hosts then
// show their own controls) or it cannot be written (error 8).
bool CopyPluginWindow(const Project& project, const std::string& folder, BuildLog& log);

// Finds `fileName` in `folder` ignoring the case of letters; an exact match wins. Returns
// the path to open, or folder + fileName when there is no such file.
std::string FindFileIgnoringCase(const std::string& folder, std::string_view fileName);

// Copies one skin bitmap into the plugin folder (errors 7 and 8).
void CopySkinBitmap(std::string_view fileName, const std::string& skinFolder,
                    const std::string& pluginFolder, BuildLog& log);

// Writes the top-left width x height pixels of the picture as a 24-bit bitmap; pixels the
// picture lacks are black. False when the file cannot be written.
bool SaveBackgroundBitmap(const std::string& path, const Bitmap& picture, int32_t width,
                          int32_t height);

// Template copy, manifest, plugin folder and bitmaps; errors 5 to 9 are counted in the
// log. Returns false when there was nothing to build (no module), true otherwise.
bool BuildPlugin(const Project& project, PanelSize panel, BuildLog& log, BuildHost& host);

enum class BuildOutcome {
    Refused,       // a check failed: message boxes only, nothing logged
    NothingToSave, // the project has no module
    Ran,           // the build ran; the log's error count says how it went
};

// Where a build goes: the plugin target directory (the plugin file and folder beside it),
// and, with an LV2 folder given, a bundle of its own there (export/lv2_bundle.h).
struct BuildPlaces {
    bool targetDirectory = true;
    std::string lv2Folder;
};

// The dialog's "Build" button: fields, checks, build, background, outcome lines, and every
// control drawn on the panel again. Without the target directory its check is left out.
BuildOutcome RunBuild(Project& project, const BuildFields& fields, PanelSize panel, BuildLog& log,
                      BuildHost& host, const BuildPlaces& places = {});

} // namespace tw
