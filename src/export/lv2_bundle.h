#pragma once

// "Install for LV2 hosts": the plugin as a bundle of its own, <lv2 folder>/<name>.lv2/,
// holding the plugin file (<name>.so: the template followed by the manifest), its
// description and the skin's bitmaps with the panel background. Hosts scan every entry of
// their LV2 folders as a bundle, so nothing but the bundle goes there; and the bundle can
// be copied to any other LV2 folder as it is.
#include "export/build_log.h"
#include "export/plugin_build.h"
#include "model/project.h"

#include <string>
#include <string_view>

namespace tw {

// <lv2Folder>/<plugin name>.lv2
std::string Lv2BundlePath(const Project& project, std::string_view lv2Folder);

// Writes the bundle (its folder and the LV2 folder made when missing) and logs each step.
// Errors are counted in the log as the build counts them: 5 for the template, 6 for a
// folder or plugin file that cannot be written, 7 and 8 for the bitmaps and descriptions,
// 9 for the manifest. Files already in the bundle are replaced whole, each on its own.
void InstallLv2Bundle(const Project& project, std::string_view lv2Folder, PanelSize panel,
                      BuildLog& log, BuildHost& host);

} // namespace tw
