#pragma once

// What the plugin window reads from its bundle: the description the build wrote (the
// plugin's URI, where its binary lies, whether the background already shows the
// controls), the design in the manifest at the end of the plugin binary, and the panel's
// bitmaps. Nothing here is trusted: a file that is missing or damaged leaves a plain
// placeholder in its place and a line that says why.
#include "model/limits.h"
#include "platform/bitmap.h"
#include "plugin/manifest_reader.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tw::ui {

struct BundleDescription {
    std::string pluginUri;  // empty when the description names no plugin of ours
    std::string binaryPath; // the plugin binary, resolved against the bundle folder
    bool backgroundShowsControls = true;
};

// Reads <bundle>/manifest.ttl as the build writes it.
BundleDescription ReadBundleDescription(const std::string& bundleFolder);

// Turns a relative IRI of the description (percent-encoded, maybe "../name") into a path.
std::string ResolveIri(const std::string& bundleFolder, std::string_view iri);

struct PanelFiles {
    BundleDescription description;
    plugin::ManifestDesign design;
    bool hasDesign = false;
    BitmapHandle background;                          // null when unreadable
    std::array<BitmapHandle, kSkinImageCount> images; // null when unreadable
    std::vector<std::string> problems;                // each said once by the window
};

// Everything the window draws from, read from the bundle folder.
PanelFiles ReadPanelFiles(const std::string& bundleFolder);

} // namespace tw::ui
