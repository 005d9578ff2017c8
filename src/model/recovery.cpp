#include "model/recovery.h"

#include "model/app_folders.h"
#include "model/history.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "platform/atomic_file.h"
#include "platform/folder_lock.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace tw {

namespace {

constexpr std::string_view kCopySuffix = ".tw1";
constexpr std::string_view kOriginSuffix = ".origin";

// A running program's own folder inside the recovery folder; copies in it are offered only
// once that program is gone.
constexpr std::string_view kSessionPrefix = "session-";

bool IsSessionFolder(const fs::path& path) {
    return path.filename().string().starts_with(kSessionPrefix);
}

std::string OriginPath(std::string_view copyPath) {
    return std::string(copyPath).append(kOriginSuffix);
}

// The companion holds one path; anything longer than a path is not one.
std::string ReadOrigin(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(kPathSize, '\0');
    in.read(text.data(), kPathSize);
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text.size() < kPathSize ? text : std::string();
}

} // namespace

std::string RecoveryFolder(const Project& project) {
    return Join(SettingsFolder(project), "Recovery");
}

std::string RecoveryName(const Project& project) {
    std::string name = fs::path(std::string(GetText(project.projectPath))).filename().string();
    if (name.size() > kCopySuffix.size() &&
        SameIgnoringCase(std::string_view(name).substr(name.size() - kCopySuffix.size()),
                         kCopySuffix))
        name.resize(name.size() - kCopySuffix.size());
    if (name.empty()) name = GetText(project.pluginName);
    // The name becomes a file name: no folder separators, no hidden or empty names.
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name.front() == '.') name.insert(0, "Untitled");
    return name;
}

std::string RecoverySessionPrefix() {
    return std::string(kSessionPrefix);
}

RecoveryFiles EncodeRecoveryCopy(const Project& project, const SavedLayout& layout,
                                 std::string_view intoFolder) {
    const std::string folder =
        intoFolder.empty() ? RecoveryFolder(project) : std::string(intoFolder);
    return {Join(folder, RecoveryName(project) + std::string(kCopySuffix)),
            EncodeProject(project, layout), std::string(GetText(project.projectPath))};
}

bool WriteRecoveryFiles(const RecoveryFiles& files) {
    std::error_code error;
    fs::create_directories(fs::path(files.copyPath).parent_path(), error);
    const std::string_view bytes(reinterpret_cast<const char*>(files.copy.data()),
                                 files.copy.size());
    return ReplaceFile(OriginPath(files.copyPath), files.origin) &&
           ReplaceFile(files.copyPath, bytes);
}

std::optional<std::string> WriteRecoveryCopy(const Project& project, const SavedLayout& layout) {
    RecoveryFiles files = EncodeRecoveryCopy(project, layout);
    if (!WriteRecoveryFiles(files)) return std::nullopt;
    return std::move(files.copyPath);
}

void RemoveRecoveryCopy(std::string_view copyPath) {
    std::error_code error;
    fs::remove(fs::path(std::string(copyPath)), error);
    fs::remove(fs::path(OriginPath(copyPath)), error);
}

namespace {

// The newest copy directly in `folder` that is newer than `newest`.
void FindNewestIn(const fs::path& folder, std::optional<RecoveryCopy>& newest,
                  fs::file_time_type& newestTime, bool& anyCopy) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path origin = it->path();
        const std::string name = origin.filename().string();
        if (name.size() <= kOriginSuffix.size() ||
            name.compare(name.size() - kOriginSuffix.size(), kOriginSuffix.size(), kOriginSuffix) !=
                0)
            continue;
        const std::string copyPath =
            origin.string().substr(0, origin.string().size() - kOriginSuffix.size());
        std::error_code statError;
        const fs::file_time_type time = fs::last_write_time(copyPath, statError);
        if (statError || !fs::is_regular_file(copyPath, statError)) continue;
        anyCopy = true;
        if (newest && time <= newestTime) continue;
        const std::string stem = fs::path(copyPath).stem().string();
        newest = RecoveryCopy{copyPath, ReadOrigin(origin), stem};
        newestTime = time;
    }
}

} // namespace

std::optional<RecoveryCopy> FindRecoveryCopy(const Project& project) {
    std::optional<RecoveryCopy> newest;
    fs::file_time_type newestTime;
    bool anyCopy = false;
    const fs::path top(RecoveryFolder(project));
    // Copies directly in the folder have no program of their own (an older version wrote
    // them, or they were put there by hand): they are always offered.
    FindNewestIn(top, newest, newestTime, anyCopy);
    std::error_code error;
    std::vector<fs::path> gone;
    for (fs::directory_iterator it(top, error), end; !error && it != end; it.increment(error)) {
        const fs::path folder = it->path();
        std::error_code typeError;
        if (!IsSessionFolder(folder) || !fs::is_directory(folder, typeError)) continue;
        // A running program's copy is its own business, never a crash to recover from.
        if (FolderLockedByOther(folder.string())) continue;
        bool here = false;
        FindNewestIn(folder, newest, newestTime, here);
        if (!here) gone.push_back(folder);
    }
    // What an ended program left without any copy in it is of no use to anyone.
    for (const fs::path& folder : gone) fs::remove_all(folder, error);
    return newest;
}

std::string SetRecoveryCopyAside(const RecoveryCopy& copy, std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);
    const fs::path from(copy.copyPath);
    // Set-aside copies gather in the recovery folder itself, where the user finds them all,
    // rather than in the folder of the program that wrote them.
    fs::path folder = from.parent_path();
    if (IsSessionFolder(folder)) folder = folder.parent_path();
    const fs::path to = folder / (from.stem().string() + " " + stamp + ".tw1");
    std::error_code error;
    fs::rename(from, to, error);
    if (error) return {};
    fs::remove(fs::path(OriginPath(copy.copyPath)), error);
    return to.string();
}

std::optional<std::string> OfferRecovery(Project& project, EngineControl& engine,
                                         Platform& platform, EditHistory& history,
                                         std::string_view adoptInto) {
    const std::optional<RecoveryCopy> copy = FindRecoveryCopy(project);
    if (!copy) return std::nullopt;
    const std::string question = "Tonewright did not close normally. Restore the unsaved "
                                 "changes to " +
                                 copy->projectName + "?";
    const MessageAnswer answer =
        platform.ShowMessage(question, kProductName, MessageButtons::YesNo, MessageIcon::Question);
    // Only a No sets the copy aside: a question that went unanswered (the program was told
    // to stop while it was open) leaves the copy for the next start.
    if (answer == MessageAnswer::No) SetRecoveryCopyAside(*copy, std::time(nullptr));
    if (answer != MessageAnswer::Yes) return std::nullopt;
    // The restoring program takes the copy into its own folder before anything else, so that
    // no other program starting meanwhile offers it too.
    std::string copyPath = copy->copyPath;
    if (!adoptInto.empty()) {
        const fs::path to = fs::path(std::string(adoptInto)) / fs::path(copyPath).filename();
        std::error_code error;
        fs::rename(OriginPath(copyPath), OriginPath(to.string()), error);
        if (!error) fs::rename(copyPath, to, error);
        if (!error) copyPath = to.string();
    }
    RecoveryCopy taken = *copy;
    taken.copyPath = copyPath;
    if (OpenProject(project, engine, platform, copyPath) != LoadResult::Loaded) {
        // A damaged copy was reported by the reader; it stays aside for the user.
        SetRecoveryCopyAside(taken, std::time(nullptr));
        return std::nullopt;
    }
    SetText(project.projectPath, copy->originalPath);
    platform.SetMainTitle(
        WindowTitle(copy->originalPath.empty() ? GetText(project.pluginName) : copy->originalPath));
    history.Reset(project);
    history.MarkUnsaved();
    return copyPath;
}

} // namespace tw
