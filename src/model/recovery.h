#pragma once

// Recovery copies: while the project has unsaved changes the program keeps a copy of it
// beside the preferences file, so that a crash or a killed program loses at most the last
// few seconds of work. A copy is a project file ("<name>.tw1") with a small companion
// ("<name>.tw1.origin") that holds the path of the file the project came from.
#include "model/project.h"
#include "model/project_file.h"
#include "platform/platform.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

class EditHistory;
class EngineControl;

struct RecoveryCopy {
    std::string copyPath;     // the project file written
    std::string originalPath; // the file the project was opened from or saved to ("" if none)
    std::string projectName;  // what the question calls it
};

// Recovery/ in the settings folder, beside the preferences file.
std::string RecoveryFolder(const Project& project);

// The name the copy of `project` goes by: its file's name without ".tw1", or the plugin's
// name for a project never saved.
std::string RecoveryName(const Project& project);

// A copy ready to be written: the bytes of both files and where they go.
struct RecoveryFiles {
    std::string copyPath;
    std::vector<uint8_t> copy;
    std::string origin;
};

// The name a running program's own folder inside the recovery folder starts with. Such a
// folder holds the program's copies and a lock the program holds while it runs
// (platform/folder_lock.h); its copies are offered only once the lock is gone.
std::string RecoverySessionPrefix();

// Encodes the copy of `project`, to be written into `intoFolder` (the recovery folder
// itself when empty). Cheap enough for the user-interface thread; the writing, which waits
// for the disk, can happen elsewhere.
RecoveryFiles EncodeRecoveryCopy(const Project& project, const SavedLayout& layout,
                                 std::string_view intoFolder = {});

// Writes both files (folder created when missing) through the file-replacing helper, so
// that a crash while writing leaves the previous copy. False when they could not be written.
bool WriteRecoveryFiles(const RecoveryFiles& files);

// Both steps at once. Returns the copy's path, or nullopt when it could not be written.
std::optional<std::string> WriteRecoveryCopy(const Project& project, const SavedLayout& layout);

// Removes a copy and its companion; a missing file is no error.
void RemoveRecoveryCopy(std::string_view copyPath);

// The newest copy in the project's recovery folder that no running program owns, if any.
// Folders of programs that ended without leaving a copy are removed on the way.
std::optional<RecoveryCopy> FindRecoveryCopy(const Project& project);

// Renames a copy to "<name> <date and time>.tw1" beside it, where it stays for the user but
// is no longer offered at start. Returns the new path ("" when the rename failed).
std::string SetRecoveryCopyAside(const RecoveryCopy& copy, std::time_t now);

// At start: when a copy is there, asks whether to restore it. Yes moves it into
// `adoptInto` (the restoring program's own folder, when given) and opens it as the project,
// under its original path and with unsaved changes; No sets it aside; any other answer
// leaves it to be offered again. Returns the copy's path when it was restored.
std::optional<std::string> OfferRecovery(Project& project, EngineControl& engine,
                                         Platform& platform, EditHistory& history,
                                         std::string_view adoptInto = {});

} // namespace tw
