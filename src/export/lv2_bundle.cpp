#include "export/lv2_bundle.h"

#include "export/lv2_ttl.h"
#include "export/manifest.h"
#include "model/text.h"
#include "platform/atomic_file.h"

#include <filesystem>
#include <system_error>

namespace tw {

std::string Lv2BundlePath(const Project& project, std::string_view lv2Folder) {
    return Join(lv2Folder, std::string(GetText(project.pluginName)) + ".lv2");
}

void InstallLv2Bundle(const Project& project, std::string_view lv2Folder, PanelSize panel,
                      BuildLog& log, BuildHost& host) {
    const std::string bundle = Lv2BundlePath(project, lv2Folder);
    log.Step("");
    log.Step(">Installing for LV2 hosts: " + bundle);
    std::error_code error;
    std::filesystem::create_directories(bundle, error);
    if (!std::filesystem::is_directory(bundle, error)) {
        log.Error(">ERROR 6:- Can not write to " + bundle);
        log.Step(">Check folder permissions.");
        return;
    }

    const std::string templatePath = TemplatePath(project);
    const std::optional<std::string> templateBytes = ReadWholeFile(templatePath);
    if (!templateBytes) {
        log.Error(">ERROR 5:- Can not read from " + templatePath);
        return;
    }
    const std::string binaryName = std::string(GetText(project.pluginName)) + ".so";
    const std::string binaryPath = Join(bundle, binaryName);
    AtomicFile binary(binaryPath);
    if (!binary.Write(*templateBytes)) {
        log.Error(">ERROR 6:- Can not write to " + binaryPath);
        log.Step(">Check folder permissions.");
        return;
    }
    if (WriteManifest(project, binary, binaryPath, panel.width, panel.height, log) &&
        !binary.Commit()) {
        log.Error(">ERROR 9: Can not open file to save " + binaryPath);
    }

    const std::string skinFolder = SkinFolderPath(project);
    for (const char* name : kPluginSkinBitmaps) CopySkinBitmap(name, skinFolder, bundle, log);
    const std::string background = Join(bundle, "Background.bmp");
    if (SaveBackgroundBitmap(background, host.CapturePanel(panel.width, panel.height), panel.width,
                             panel.height)) {
        log.Step(">Creating background bitmap: " + background);
    } else {
        log.Error(">ERROR 8: Can not open file " + background);
        log.Step(">Check folder permissions.");
    }
    const bool window = CopyPluginWindow(project, bundle, log);
    WriteLv2Description(project, bundle, binaryName, log, Lv2BinaryPlace::InBundle, window);
}

} // namespace tw
