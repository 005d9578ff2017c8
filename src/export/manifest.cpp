#include "export/manifest.h"

#include "model/instrument.h"
#include "model/text.h"
#include "platform/byte_io.h"
#include "plugin/manifest_format.h"

#include <algorithm>

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

void AppendTag(ByteWriter& out, const char (&tag)[manifest::kTagSize + 1]) {
    out.Raw({tag, manifest::kTagSize});
}

void AppendIdentity(ByteWriter& out, const Project& project) {
    AppendTag(out, manifest::kHeaderTag);
    out.Raw(std::string(manifest::kRuleLength, '-'));
    out.CountedText(manifest::kProductTag);
    out.CountedText(GetText(project.pluginName));
    out.CountedText(GetText(project.author));
    out.CountedText(GetText(project.versionText));
    out.CountedText(GetText(project.uniqueId));
}

// The active-object list without its terminator. Its count is bounded here so that a list
// caught half-rebuilt can never send the walk past the table. Returns the count.
int32_t AppendModules(ByteWriter& out, const Project& project) {
    AppendTag(out, manifest::kModulesTag);
    const int32_t n = std::clamp<int32_t>(project.activeCount, 0, kSlotCount);
    out.I32(n);
    for (int32_t i = 0; i < n; ++i) {
        out.I32(project.activeTypes[i]);
        out.I32(project.activeSlots[i]);
    }
    return n;
}

// Returns the number of cables.
int32_t AppendCables(ByteWriter& out, const Project& project) {
    AppendTag(out, manifest::kCablesTag);
    int32_t routes = 0;
    for (const PortRecord& port : project.outputs) routes += port.link != kNone ? 1 : 0;
    out.I32(routes);
    for (int32_t k = 0; k < kPortCount; ++k) {
        if (project.outputs[k].link == kNone) continue;
        out.I32(k);
        out.I32(project.outputs[k].link);
    }
    return routes;
}

void AppendPatches(ByteWriter& out, const Project& project) {
    AppendTag(out, manifest::kPatchesTag);
    out.I32(kPatchCount);
    out.I32(CountParameterSlots(project));
    for (int32_t p = 0; p < kPatchCount; ++p) {
        out.CountedText(GetText(project.patchNames[p]));
        for (int32_t slot = 0; slot < kSlotCount; ++slot) {
            const ModuleSlot& s = project.slots[slot];
            if (s.type != kTypeParameter) continue;
            out.I32(slot);
            out.I32(s.patchValues[p]);
            out.I32(s.steps);
        }
    }
}

void AppendPanel(ByteWriter& out, int32_t panelWidth, int32_t panelHeight) {
    AppendTag(out, manifest::kPanelTag);
    out.I32(2);
    out.I32(panelWidth);
    out.I32(panelHeight);
}

// Returns the number of Parameters.
int32_t AppendControls(ByteWriter& out, const Project& project) {
    AppendTag(out, manifest::kControlsTag);
    const int32_t count = CountParameterSlots(project);
    out.I32(count);
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        out.I32(slot);
        out.I32(s.spareValues[0]);
        out.I32(s.type);
        out.I32(s.imageType);
        out.I32(s.panelX);
        out.I32(s.panelY);
        out.I32(s.controlSize);
        out.I32(s.mouseResponse);
        out.CountedText(GetText(s.name));
        out.I32(s.showLabel);
        out.I32(0);
    }
    return count;
}

void AppendStartValues(ByteWriter& out, const Project& project) {
    AppendTag(out, manifest::kStartValuesTag);
    out.I32(project.CountModulesOfType(kTypeParameter));
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        out.I32(slot);
        out.I32(s.patchValues[0]);
    }
}

// Written only when a control is bound, so that a design without bindings gives the same
// manifest as before.
void AppendControllers(ByteWriter& out, const Project& project) {
    int32_t count = 0;
    for (const ModuleSlot& s : project.slots)
        count += s.type == kTypeParameter && s.midiCc != kNone ? 1 : 0;
    if (count == 0) return;
    AppendTag(out, manifest::kControllersTag);
    out.I32(count);
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter || s.midiCc == kNone) continue;
        out.I32(slot);
        out.I32(s.midiCc);
    }
}

std::string Encode(const Project& project, int32_t panelWidth, int32_t panelHeight,
                   ManifestCounts& counts) {
    ByteWriter out;
    AppendIdentity(out, project);
    counts.modules = AppendModules(out, project);
    counts.routes = AppendCables(out, project);
    AppendPatches(out, project);
    AppendPanel(out, panelWidth, panelHeight);
    counts.parameters = AppendControls(out, project);
    AppendStartValues(out, project);
    AppendControllers(out, project);
    WriteInstrumentChunk(out, InstrumentOf(project));
    return out.Take();
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
