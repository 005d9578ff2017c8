#include "devices/preferences_host.h"

#include "model/lifecycle.h"
#include "model/project_file.h"

namespace tw {

void PlatformPreferencesHost::ApplyNewProjectDefaults(Project& project) {
    tw::ApplyNewProjectDefaults(project, platform_);
}

void PlatformPreferencesHost::OpenProject(Project& project, const std::string& path) {
    tw::OpenProject(project, engine_, platform_, path);
}

void PlatformPreferencesHost::ClearProperties(Project& project) {
    project.propertiesTarget = kTargetNone;
    platform_.RefreshProperties();
}

void PlatformPreferencesHost::ShowInformation(std::string_view text) {
    platform_.ShowMessage(text, kProductName, MessageButtons::Ok, MessageIcon::Information);
}

void PlatformPreferencesHost::ShowError(std::string_view text) {
    platform_.ShowMessage(text, kProductName, MessageButtons::Ok, MessageIcon::Error);
}

} // namespace tw
