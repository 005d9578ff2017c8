#include "export/manifest.h"

#include "devices/file_io.h"
#include "model/text.h"

namespace tw {

namespace {

// What the three log lines of the manifest report.
struct ManifestCounts {
    int32_t modules = 0;
    int32_t routes = 0;
    int32_t parameters = 0;
};

int32_t CountParameterSlots(const Project& project) {
    int32_t n = 0;
    for (const ModuleSlot& s : project.slots) n += s.type == kTypeParameter ? 1 : 0;
    return n;
}

void AppendTag(std::string& out, const char (&tag)[5]) {
    out.append(tag, 4);
}

std::string Encode(const Project& project, int32_t panelWidth, int32_t panelHeight,
                   ManifestCounts& counts) {
    std::string out;

    AppendTag(out, "HED#");
    out.append(32, '-');
    AppendCountedText(out, "Tonewright");
    AppendCountedText(out, GetText(project.pluginName));
    AppendCountedText(out, GetText(project.author));
    AppendCountedText(out, GetText(project.versionText));
    AppendCountedText(out, GetText(project.uniqueId));

    // The active-object list without its terminator. Its count is bounded here so that a
    // list caught half-rebuilt can never send the walk past the table.
    AppendTag(out, "MOD#");
    int32_t n = project.activeCount;
    if (n < 0) n = 0;
    if (n > kSlotCount) n = kSlotCount;
    counts.modules = n;
    AppendI32(out, n);
    for (int32_t i = 0; i < n; ++i) {
        AppendI32(out, project.activeTypes[i]);
        AppendI32(out, project.activeSlots[i]);
    }

    AppendTag(out, "PLG#");
    int32_t routes = 0;
    for (const PortRecord& port : project.outputs) routes += port.link != kNone ? 1 : 0;
    counts.routes = routes;
    AppendI32(out, routes);
    for (int32_t k = 0; k < kPortCount; ++k) {
        if (project.outputs[k].link == kNone) continue;
        AppendI32(out, k);
        AppendI32(out, project.outputs[k].link);
    }

    AppendTag(out, "PAT#");
    AppendI32(out, kPatchCount);
    AppendI32(out, CountParameterSlots(project));
    for (int32_t p = 0; p < kPatchCount; ++p) {
        AppendCountedText(out, GetText(project.patchNames[p]));
        for (int32_t slot = 0; slot < kSlotCount; ++slot) {
            const ModuleSlot& s = project.slots[slot];
            if (s.type != kTypeParameter) continue;
            AppendI32(out, slot);
            AppendI32(out, s.patchValues[p]);
            AppendI32(out, s.steps);
        }
    }

    AppendTag(out, "GUI#");
    AppendI32(out, 2);
    AppendI32(out, panelWidth);
    AppendI32(out, panelHeight);

    AppendTag(out, "PAR#");
    counts.parameters = CountParameterSlots(project);
    AppendI32(out, counts.parameters);
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        AppendI32(out, slot);
        AppendI32(out, s.spareValues[0]);
        AppendI32(out, s.type);
        AppendI32(out, s.imageType);
        AppendI32(out, s.panelX);
        AppendI32(out, s.panelY);
        AppendI32(out, s.controlSize);
        AppendI32(out, s.mouseResponse);
        AppendCountedText(out, GetText(s.name));
        AppendI32(out, s.showLabel);
        AppendI32(out, 0);
    }

    AppendTag(out, "PAX#");
    AppendI32(out, project.CountModulesOfType(kTypeParameter));
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        AppendI32(out, slot);
        AppendI32(out, s.patchValues[0]);
    }
    return out;
}

} // namespace

std::string EncodeManifest(const Project& project, int32_t panelWidth, int32_t panelHeight) {
    ManifestCounts counts;
    return Encode(project, panelWidth, panelHeight, counts);
}

bool WriteManifest(const Project& project, AtomicFile& plugin, const std::string& pluginPath,
                   int32_t panelWidth, int32_t panelHeight, BuildLog& log) {
    log.Step(">Opening Manifest");
    if (!plugin.IsOpen()) {
        log.Error(">ERROR 9: Can not open file to save " + pluginPath);
        return false;
    }
    ManifestCounts counts;
    const bool written = plugin.Write(Encode(project, panelWidth, panelHeight, counts));
    log.Count(counts.modules, " Objects Indexed");
    log.Count(counts.routes, " IO Routes Visited");
    log.Count(counts.parameters, "Parameters mapped");
    // A plugin whose manifest did not reach the disk must not pass for a finished one.
    if (!written) log.Error(">ERROR 9: Can not open file to save " + pluginPath);
    log.Step(">Closing Manifest");
    return written;
}

} // namespace tw
