#pragma once

// The manifest appended to a plugin template: the tagged chunks that tell the template
// which modules, cables, patches and panel controls it runs.
#include "export/build_log.h"
#include "model/project.h"
#include "platform/atomic_file.h"

#include <string>

namespace tw {

// The manifest's bytes for the project and a panel of width x height pixels.
std::string EncodeManifest(const Project& project, int32_t panelWidth, int32_t panelHeight);

// Appends the manifest to the plugin file being written (`pluginPath` is its name in the
// log) and logs its progress. A file that is not open or cannot take the bytes counts
// error 9 and returns false.
bool WriteManifest(const Project& project, AtomicFile& plugin, const std::string& pluginPath,
                   int32_t panelWidth, int32_t panelHeight, BuildLog& log);

} // namespace tw
