// The LV2 side of the plugin template. The binary is the same for every design: it reads
// the manifest that the build appended to its own file and runs that design with the
// editor's engine.
#include "engine/engine.h"
#include "engine/voices.h"
#include "platform/atomic_file.h"
#include "plugin/design_loader.h"
#include "plugin/lv2_contract.h"
#include "plugin/manifest_reader.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::plugin {

namespace {

// What this plugin file holds, read once per process.
struct PluginImage {
    std::string path;
    Manifest manifest;
    std::string uri;
};

// The URI in the description the build wrote beside the plugin file, for a file whose
// manifest is gone: hosts look the plugin up by that URI, and only a plugin that answers
// to it is loaded and can say what is wrong. Empty when there is no such description.
std::string DescribedUri(const std::string& pluginPath) {
    constexpr std::string_view kExtension = ".dll";
    if (!pluginPath.ends_with(kExtension)) return {};
    const std::string description =
        pluginPath.substr(0, pluginPath.size() - kExtension.size()) + "/manifest.ttl";
    std::FILE* f = std::fopen(description.c_str(), "rb");
    if (f == nullptr) return {};
    // The plugin's own subject comes first, right after the prefixes.
    char head[4096];
    const std::string_view text(head, std::fread(head, 1, sizeof head, f));
    std::fclose(f);
    const std::size_t start = text.find(std::string("<") + lv2::kPluginUriPrefix);
    if (start == std::string_view::npos) return {};
    const std::size_t end = text.find('>', start);
    if (end == std::string_view::npos) return {};
    const std::string_view uri = text.substr(start + 1, end - start - 1);
    // A written URI is percent-encoded: anything else is not one of ours.
    for (const char c : uri) {
        if (c <= ' ' || c == '#' || static_cast<unsigned char>(c) >= 0x7F) return {};
    }
    return std::string(uri);
}

PluginImage LoadImage() {
    PluginImage image;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&lv2_descriptor), &info) != 0 && info.dli_fname != nullptr)
        image.path = info.dli_fname;
    const std::optional<std::string> read = ReadWholeFile(image.path);
    const std::vector<uint8_t> bytes =
        read ? std::vector<uint8_t>(read->begin(), read->end()) : std::vector<uint8_t>{};
    if (bytes.empty()) {
        image.manifest.problem = "the plugin cannot read its own file";
    } else {
        image.manifest = FindManifest(bytes);
    }
    const ManifestIdentity& id = image.manifest.identity;
    if (image.manifest.hasIdentity) {
        image.uri = lv2::PluginUri(id.uniqueId, id.name);
    } else {
        image.uri = DescribedUri(image.path);
        if (image.uri.empty()) image.uri = lv2::kUnknownPluginUri;
    }
    if (!image.manifest.hasDesign) {
        std::fprintf(stderr,
                     "Tonewright plugin %s: damaged manifest: %s; the plugin stays silent\n",
                     image.path.empty() ? "(unknown file)" : image.path.c_str(),
                     image.manifest.problem.c_str());
    }
    return image;
}

const PluginImage& Image() {
    static const PluginImage image = LoadImage();
    return image;
}

struct Control {
    int32_t slot = 0;
    int32_t steps = 0;
    int32_t step = 0; // the host's step last applied
    const float* port = nullptr;
    float* output = nullptr; // where the step the plugin plays is reported
};

struct Instance {
    std::unique_ptr<Project> project;
    std::unique_ptr<Engine> engine;
    const ManifestDesign* design = nullptr; // null: the plugin is silent
    double rate = 44100.0;
    bool ranSinceStart = false;
    LV2_URID midiEvent = 0;
    const LV2_Atom_Sequence* midiIn = nullptr;
    float* out[2] = {nullptr, nullptr};
    float* latency = nullptr;
    std::vector<Control> controls;

    // A fresh project and engine on the design, as the editor has right after opening the
    // project. The engine keeps some memories through its own reset (noise filters, the
    // unconnected cell), so starting again means new objects, not a reset of the old ones.
    void Start(double rate) {
        project.reset();
        engine.reset();
        project = std::make_unique<Project>();
        engine = std::make_unique<Engine>(*project);
        // A host rate of whole hertz in the bridge's range runs the design at the rate it
        // was made at and resamples; anything else runs the engine at the host's rate.
        const double whole = std::floor(rate);
        engine->sampleRate =
            whole == rate && rate <= 1.0e6
                ? static_cast<float>(OpenBridgeFor(*engine, static_cast<uint32_t>(whole)))
                : static_cast<float>(rate);
        ResetEngine(*engine);
        LoadDesign(*design, *project);
        // Every voice the design plays is made here, never on the audio thread.
        PrepareVoices(*engine, project->voiceCount);
        for (Control& c : controls) c.step = project->slots[c.slot].patchValues[0];
        ranSinceStart = false;
    }

    // Every control's output shows the step the design plays now.
    void ReportControls() noexcept {
        if (project == nullptr) return;
        const int32_t patch = project->currentPatch;
        for (Control& c : controls) {
            if (c.output != nullptr && IsPatch(patch))
                *c.output = static_cast<float>(project->slots[c.slot].patchValues[patch]);
        }
    }

    void Render(uint32_t from, uint32_t to) noexcept {
        if (to <= from) return;
        RenderDeviceFrames(*engine, out[0] != nullptr ? out[0] + from : nullptr,
                           out[1] != nullptr ? out[1] + from : nullptr, to - from);
    }

    // A control port's value becomes the nearest step within the control's range; only a
    // change is applied, so an untouched control keeps the value the design started with,
    // and a control moved by its MIDI controller keeps that value until the host writes
    // another. The host learns of that move through the control's output (its window passes
    // it on), and writing it back is then a change like any other: whatever the host writes
    // after that takes effect, the value it had before included.
    void ApplyControls() noexcept {
        for (Control& c : controls) {
            if (c.port == nullptr) continue;
            const float v = *c.port;
            if (!std::isfinite(v)) continue;
            const double limit = c.steps > 0 ? c.steps : 0;
            const auto step =
                static_cast<int32_t>(std::floor(std::clamp<double>(v, 0.0, limit) + 0.5));
            if (step == c.step) continue;
            c.step = step;
            SetParameterStep(*project, c.slot, step);
        }
    }
};

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    const PluginImage& image = Image();
    const LV2_URID_Map* map = nullptr;
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
    }
    if (map == nullptr) {
        std::fprintf(stderr, "Tonewright plugin: the host offers no URID map\n");
        return nullptr;
    }
    if (!(rate >= 1.0 && rate <= 1.0e6)) {
        std::fprintf(stderr, "Tonewright plugin: cannot run at %g Hz\n", rate);
        return nullptr;
    }
    try {
        auto instance = std::make_unique<Instance>();
        instance->midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
        instance->rate = rate;
        if (image.manifest.hasDesign) {
            instance->design = &image.manifest.design;
            for (const ManifestParameter& p : instance->design->parameters)
                instance->controls.push_back({p.slot, p.steps, 0, nullptr});
            instance->Start(rate);
        }
        return instance.release();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Tonewright plugin: out of memory\n");
        return nullptr;
    }
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) {
    auto* self = static_cast<Instance*>(handle);
    switch (port) {
    case lv2::kMidiInPort:
        self->midiIn = static_cast<const LV2_Atom_Sequence*>(data);
        break;
    case lv2::kOutLeftPort:
        self->out[0] = static_cast<float*>(data);
        break;
    case lv2::kOutRightPort:
        self->out[1] = static_cast<float*>(data);
        break;
    default:
        if (port == lv2::LatencyPort(static_cast<uint32_t>(self->controls.size()))) {
            self->latency = static_cast<float*>(data);
            break;
        }
        // Ports of a description that does not match the manifest are left alone.
        const std::size_t count = self->controls.size();
        const std::size_t i = port - lv2::kFirstParameterPort;
        if (i < count)
            self->controls[i].port = static_cast<const float*>(data);
        else if (i - count < count)
            self->controls[i - count].output = static_cast<float*>(data);
        break;
    }
}

void Activate(LV2_Handle handle) {
    auto* self = static_cast<Instance*>(handle);
    if (self->design == nullptr || !self->ranSinceStart) return;
    // Playing again after a pause starts from the same state as the first time.
    try {
        self->Start(self->rate);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Tonewright plugin: out of memory; the plugin stays silent\n");
        self->design = nullptr;
    }
}

void Run(LV2_Handle handle, uint32_t frames) {
    auto* self = static_cast<Instance*>(handle);
    if (self->latency != nullptr)
        *self->latency =
            self->engine != nullptr ? static_cast<float>(self->engine->bridge.Latency()) : 0.0f;
    if (self->design == nullptr) {
        for (float* side : self->out) {
            if (side != nullptr) std::memset(side, 0, sizeof(float) * frames);
        }
        return;
    }
    self->ranSinceStart = true;
    self->ApplyControls();
    uint32_t done = 0;
    if (self->midiIn != nullptr) {
        LV2_ATOM_SEQUENCE_FOREACH(self->midiIn, ev) {
            if (ev->body.type != self->midiEvent) continue;
            // The run is split at each event's frame, so a note starts on its own sample.
            const int64_t at = std::clamp<int64_t>(ev->time.frames, done, frames);
            self->Render(done, static_cast<uint32_t>(at));
            done = static_cast<uint32_t>(at);
            const auto* msg = reinterpret_cast<const uint8_t*>(ev + 1);
            // Notes, pitch bend, the pedal and panic on the design's channel, as from the
            // editor's MIDI input; a Control Change there also moves the control bound to
            // it. The plugin's thread owns its project, so that happens here, on its frame.
            if (ev->body.size >= 3 && HandleKeyboardMessage(*self->engine, msg[0], msg[1], msg[2]))
                self->project->ApplyControlChange(msg[1], msg[2]);
        }
    }
    self->Render(done, frames);
    self->ReportControls();
}

void Cleanup(LV2_Handle handle) {
    delete static_cast<Instance*>(handle);
}

const void* ExtensionData(const char*) {
    return nullptr;
}

} // namespace

} // namespace tw::plugin

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    using namespace tw::plugin;
    static const LV2_Descriptor descriptor = {
        Image().uri.c_str(), Instantiate, ConnectPort, Activate, Run, nullptr, Cleanup,
        ExtensionData};
    return index == 0 ? &descriptor : nullptr;
}
