#pragma once

// Where the program finds its files and where it keeps its own.
//
// Run from a build's staged folder (`make run`), the working folder is the application
// folder and holds everything: resources, skins, the demo project, and the preferences and
// recovery copies in Resources/. An installed program runs from <prefix>/bin and finds its
// read-only data in <prefix>/share/tonewright; the user's preferences and recovery copies
// then go to $XDG_CONFIG_HOME/tonewright, and the user's own skins and projects to
// $XDG_DATA_HOME/tonewright. Which of the two applies is decided by where the program lies,
// never by what happens to be writable.
#include "model/project.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

inline constexpr const char* kDemoProjectFile = "Demo Synth.tw1";

struct AppFolders {
    std::string app;      // Resources/, Skins/ and Projects/ lie below it
    std::string settings; // the preferences file and Recovery/; "" means <app>/Resources
    std::string user;     // the user's Skins/ (looked at first) and Projects/; "" for none
    bool installed = false;
};

// Reads one environment variable; nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The process's own environment, with the account's home folder from the password
// database when HOME is not set.
std::optional<std::string> ProcessEnvironment(const char* name);

// The path of the running program ("" when it cannot be found).
std::string RunningProgramPath();

// The data folder of an installation: for a program at <prefix>/bin/<name>,
// <prefix>/share/tonewright when it holds Resources/; "" for a program anywhere else.
std::string InstalledAppFolder(std::string_view programPath);

// True when `folder` holds a Resources/ folder.
bool IsAppFolder(std::string_view folder);

// The program's folders. An installed program uses its installation; any other uses the
// working folder. With `workingFolderFirst` (the command-line tool) a working folder that
// is an application folder wins over the installation.
AppFolders ResolveAppFolders(std::string_view programPath, std::string_view workingFolder,
                             const EnvironmentLookup& environment, bool workingFolderFirst);

// ~/.lv2: the user's own LV2 folder, which every LV2 host searches.
std::string UserLv2Folder(const EnvironmentLookup& environment);

// Copies the folders into the project's path fields.
void ApplyAppFolders(Project& project, const AppFolders& folders);

// Where the preferences file and the recovery copies are kept.
std::string SettingsFolder(const Project& project);

// The folders skins are looked up in, the user's first.
std::vector<std::string> SkinRoots(const Project& project);

// The demo project: the user's copy when there is one, else the installed file.
std::string DemoProjectPath(const Project& project);

// The first start of an installed program: when the user has no Projects/ folder yet, it
// is made and the installed projects (the demo) are copied into it, so that the user opens
// and saves a project of their own. Returns the number of projects copied.
int CopyProjectsForUser(const AppFolders& folders);

} // namespace tw
