#pragma once

// The LV2 description of a built plugin: the Turtle files a host reads to find the plugin
// file, its ports and its presets (the patches the design gave a name or values).
#include "export/build_log.h"
#include "model/project.h"

#include <string>
#include <string_view>
#include <vector>

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

// The patches offered as presets, in patch order: a patch with a name of its own, or one
// whose values differ from every preset before it. The untouched "Patch N" copies that
// fill a design's patch table are left out. A preset keeps its patch number in its URI.
std::vector<int32_t> PresetPatches(const Project& project);

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
