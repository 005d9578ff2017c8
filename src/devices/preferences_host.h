#pragma once

// The preferences' start-up path wired to the project lifecycle and the desktop services.
#include "devices/preferences.h"
#include "model/engine_control.h"
#include "platform/platform.h"

namespace tw {

class PlatformPreferencesHost final : public PreferencesHost {
public:
    PlatformPreferencesHost(Platform& platform, EngineControl& engine)
        : platform_(platform), engine_(engine) {}

    void ApplyNewProjectDefaults(Project& project) override;
    void OpenProject(Project& project, const std::string& path) override;
    void ClearProperties(Project& project) override;
    void ShowInformation(std::string_view text) override;
    void ShowError(std::string_view text) override;

private:
    Platform& platform_;
    EngineControl& engine_;
};

} // namespace tw
