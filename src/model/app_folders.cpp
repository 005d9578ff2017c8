#include "model/app_folders.h"

#include "model/text.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tw {

namespace {

constexpr const char* kFolderName = "tonewright";

// An XDG base folder: the variable when it holds an absolute path (a relative one is to
// be ignored), else the fallback below the home folder.
std::string BaseFolder(const EnvironmentLookup& environment, const char* variable,
                       std::string_view fallback) {
    if (const std::optional<std::string> value = environment(variable);
        value && !value->empty() && value->front() == '/')
        return *value;
    const std::string home = environment("HOME").value_or("");
    return Join(home.empty() ? std::string("/") : home, fallback);
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

} // namespace

std::optional<std::string> ProcessEnvironment(const char* name) {
    if (const char* value = std::getenv(name)) return std::string(value);
    if (std::string_view(name) == "HOME") {
        if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
            return std::string(entry->pw_dir);
    }
    return std::nullopt;
}

std::string RunningProgramPath() {
    std::error_code error;
    const fs::path path = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string InstalledAppFolder(std::string_view programPath) {
    const fs::path bin = fs::path(std::string(programPath)).parent_path();
    if (bin.filename() != "bin") return {};
    const std::string data = (bin.parent_path() / "share" / kFolderName).string();
    return IsAppFolder(data) ? data : std::string();
}

bool IsAppFolder(std::string_view folder) {
    return !folder.empty() && IsFolder(Join(folder, "Resources"));
}

AppFolders ResolveAppFolders(std::string_view programPath, std::string_view workingFolder,
                             const EnvironmentLookup& environment, bool workingFolderFirst) {
    AppFolders folders;
    folders.app = workingFolder;
    if (workingFolderFirst && IsAppFolder(workingFolder)) return folders;
    const std::string installed = InstalledAppFolder(programPath);
    if (installed.empty()) return folders;
    folders.installed = true;
    folders.app = installed;
    folders.settings = Join(BaseFolder(environment, "XDG_CONFIG_HOME", ".config"), kFolderName);
    folders.user = Join(BaseFolder(environment, "XDG_DATA_HOME", ".local/share"), kFolderName);
    return folders;
}

std::string UserLv2Folder(const EnvironmentLookup& environment) {
    const std::string home = environment("HOME").value_or("");
    return Join(home.empty() ? std::string("/") : home, ".lv2");
}

void ApplyAppFolders(Project& project, const AppFolders& folders) {
    SetText(project.appFolder, folders.app);
    SetText(project.settingsFolder, folders.settings);
    SetText(project.userFolder, folders.user);
}

std::string SettingsFolder(const Project& project) {
    if (project.settingsFolder[0] != '\0') return std::string(GetText(project.settingsFolder));
    return Join(GetText(project.appFolder), "Resources");
}

std::vector<std::string> SkinRoots(const Project& project) {
    std::vector<std::string> roots;
    if (project.userFolder[0] != '\0') roots.push_back(Join(GetText(project.userFolder), "Skins"));
    roots.push_back(Join(GetText(project.appFolder), "Skins"));
    return roots;
}

std::string DemoProjectPath(const Project& project) {
    if (project.userFolder[0] != '\0') {
        const std::string copy =
            Join(Join(GetText(project.userFolder), "Projects"), kDemoProjectFile);
        std::error_code error;
        if (fs::is_regular_file(copy, error)) return copy;
    }
    return Join(Join(GetText(project.appFolder), "Projects"), kDemoProjectFile);
}

int CopyProjectsForUser(const AppFolders& folders) {
    if (folders.user.empty()) return 0;
    const fs::path target = fs::path(folders.user) / "Projects";
    std::error_code error;
    // A folder that is there already belongs to the user, even an empty one.
    if (fs::exists(target, error) || !fs::create_directories(target, error)) return 0;
    int copied = 0;
    for (fs::directory_iterator it(fs::path(folders.app) / "Projects", error), end;
         !error && it != end; it.increment(error)) {
        std::error_code copyError;
        if (!it->is_regular_file(copyError)) continue;
        // The installed files are read-only; the user's copies must not be.
        if (fs::copy_file(it->path(), target / it->path().filename(), copyError)) {
            fs::permissions(target / it->path().filename(),
                            fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add,
                            copyError);
            ++copied;
        }
    }
    return copied;
}

} // namespace tw
