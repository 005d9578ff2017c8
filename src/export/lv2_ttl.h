#pragma once

// The LV2 description of a built plugin: the Turtle files a host reads to find the plugin
// file, its ports and its presets (the patches the design gave a name or values).
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
    std::string presets;  // presets.ttl: the patches that are presets
};

// Where the plugin file lies: beside the plugin folder (the build's target layout), or in
// the folder with its description (a bundle of its own, as LV2 hosts install them).
enum class Lv2BinaryPlace { BesideFolder, InBundle };

// A patch is worth offering as a preset when its name or a control's value differs from a
// fresh project's: the others are the untouched "Patch N" of every new design.
bool PatchIsPreset(const Project& project, int32_t patch);

// `pluginFileName` is the plugin file's name in the place given. With `window` the plugin
// has its window (lv2::UiFileName in the same folder) and the description says so.
Lv2Description DescribeLv2Plugin(const Project& project, std::string_view pluginFileName,
                                 Lv2BinaryPlace place = Lv2BinaryPlace::BesideFolder,
                                 bool window = false);

// Writes the three files into `pluginFolder` and logs one line for each. A file that
// cannot be written counts error 8.
void WriteLv2Description(const Project& project, const std::string& pluginFolder,
                         std::string_view pluginFileName, BuildLog& log,
                         Lv2BinaryPlace place = Lv2BinaryPlace::BesideFolder, bool window = false);

} // namespace tw
