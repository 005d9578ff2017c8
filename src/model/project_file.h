#pragma once

// The ".tw1" project file: a header and tagged chunks without length fields, found on
// reading by a byte-at-a-time tag scan.
#include "model/project.h"
#include "platform/platform.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tw {

inline constexpr const char* kSaveFailedText = "Can not open file to save";

class EngineControl;

inline constexpr int32_t kProjectFileVersion = kProgramVersion;
// A project file is a few megabytes at most; a larger file is refused rather than read
// into memory.
inline constexpr std::size_t kMaxProjectFileBytes = std::size_t{64} << 20;

// The window layout a project file carries, as read from the windows when saving.
struct SavedLayout {
    WindowPlacement windows[kEditorWindowCount];
    int32_t guiWidth = 400; // the Gui Editor's recorded outer size
    int32_t guiHeight = 300;
};

SavedLayout ReadSavedLayout(Platform& platform);

// The bytes SaveProject writes for `project` with the given window layout.
std::vector<uint8_t> EncodeProject(const Project& project, const SavedLayout& layout);

// Writes the project to `path`. The bytes go to a temporary file beside it that replaces
// the target only once everything is written, so a failed save leaves an existing file
// as it was. On failure shows "Can not open file to save", the path and the reason, and
// returns false.
bool SaveProject(const Project& project, Platform& platform, std::string_view path);

enum class LoadResult : int32_t {
    Loaded,
    CannotOpen,   // "Unable To Open Project"
    NewerVersion, // refused, the project untouched
    NotAProject,  // no "HED#" header tag, a negative version, too short to hold a header
                  // or too large; the project untouched
};

// Reads a project file into `project`, replacing it, and shows it: skin images, window
// layout, title, menus. Every count, index and length in the file is checked against the
// record's tables.
LoadResult OpenProject(Project& project, EngineControl& engine, Platform& platform,
                       std::string_view path);

// The same from bytes already in memory; `path` names the file in messages, the title
// and `projectPath`.
LoadResult OpenProjectBytes(Project& project, EngineControl& engine, Platform& platform,
                            std::span<const uint8_t> bytes, std::string_view path);

} // namespace tw
