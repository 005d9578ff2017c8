#pragma once

// The LV2 description of a built plugin: the Turtle files a host reads to find the plugin
// file, its ports and its presets (one per patch), written into the plugin folder.
#include "export/build_log.h"
#include "model/project.h"

#include <string>
#include <string_view>

namespace tw {

inline constexpr const char* kLv2ManifestFile = "manifest.ttl";
inline constexpr const char* kLv2PluginFile = "plugin.ttl";
inline constexpr const char* kLv2PresetsFile = "presets.ttl";

struct Lv2Description {
    std::string manifest; // manifest.ttl: the plugin, its binary and the presets
    std::string plugin;   // plugin.ttl: name, author, features and ports
    std::string presets;  // presets.ttl: the 128 patches
};

// `pluginFileName` is the plugin file's name in the folder above the plugin folder.
Lv2Description DescribeLv2Plugin(const Project& project, std::string_view pluginFileName);

// Writes the three files into `pluginFolder` and logs one line for each. A file that
// cannot be written counts error 8.
void WriteLv2Description(const Project& project, const std::string& pluginFolder,
                         std::string_view pluginFileName, BuildLog& log);

} // namespace tw
