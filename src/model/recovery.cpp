#include "model/recovery.h"

#include "model/app_folders.h"
#include "model/history.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "platform/atomic_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace tw {

namespace {

constexpr std::string_view kCopySuffix = ".tw1";
constexpr std::string_view kOriginSuffix = ".origin";

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

RecoveryFiles EncodeRecoveryCopy(const Project& project, const SavedLayout& layout) {
    const std::string folder = RecoveryFolder(project);
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

std::optional<RecoveryCopy> FindRecoveryCopy(const Project& project) {
    std::error_code error;
    std::optional<RecoveryCopy> newest;
    fs::file_time_type newestTime;
    for (fs::directory_iterator it(RecoveryFolder(project), error), end; !error && it != end;
         it.increment(error)) {
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
        if (newest && time <= newestTime) continue;
        const std::string stem = fs::path(copyPath).stem().string();
        newest = RecoveryCopy{copyPath, ReadOrigin(origin), stem};
        newestTime = time;
    }
    return newest;
}

std::string SetRecoveryCopyAside(const RecoveryCopy& copy, std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);
    const fs::path from(copy.copyPath);
    const fs::path to = from.parent_path() / (from.stem().string() + " " + stamp + ".tw1");
    std::error_code error;
    fs::rename(from, to, error);
    if (error) return {};
    fs::remove(fs::path(OriginPath(copy.copyPath)), error);
    return to.string();
}

std::optional<std::string> OfferRecovery(Project& project, EngineControl& engine,
                                         Platform& platform, EditHistory& history) {
    const std::optional<RecoveryCopy> copy = FindRecoveryCopy(project);
    if (!copy) return std::nullopt;
    const std::string question = "Tonewright did not close normally. Restore the unsaved "
                                 "changes to " +
                                 copy->projectName + "?";
    const MessageAnswer answer =
        platform.ShowMessage(question, kProductName, MessageButtons::YesNo, MessageIcon::Question);
    if (answer != MessageAnswer::Yes) {
        SetRecoveryCopyAside(*copy, std::time(nullptr));
        return std::nullopt;
    }
    if (OpenProject(project, engine, platform, copy->copyPath) != LoadResult::Loaded) {
        // A damaged copy was reported by the reader; it stays aside for the user.
        SetRecoveryCopyAside(*copy, std::time(nullptr));
        return std::nullopt;
    }
    SetText(project.projectPath, copy->originalPath);
    platform.SetMainTitle(
        WindowTitle(copy->originalPath.empty() ? GetText(project.pluginName) : copy->originalPath));
    history.Reset(project);
    history.MarkUnsaved();
    return copy->copyPath;
}

} // namespace tw
