#include "export/lv2_ttl.h"

#include "model/text.h"
#include "platform/atomic_file.h"
#include "plugin/lv2_contract.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tw {

namespace {

constexpr const char* kPrefixes = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                                  "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                                  "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                                  "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                                  "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
                                  "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                                  "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
                                  "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                                  "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                                  "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
                                  "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                                  "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not valid UTF-8.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    uint32_t code = 0;
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) {
        n = 2;
        code = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3;
        code = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4;
        code = b & 0x07;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        code = (code << 6) | (c & 0x3F);
    }
    constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8Length(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// A quoted Turtle string. Texts are stored as typed: UTF-8 passes through, any other
// text is taken as Latin-1, so that every name gives a valid file.
std::string Quoted(std::string_view text) {
    const bool utf8 = IsUtf8(text);
    std::string out = "\"";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (b < 0x20 || b == 0x7F || (b >= 0x80 && !utf8)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(b));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Iri(std::string_view iri) {
    return "<" + std::string(iri) + ">";
}

std::string PresetUri(std::string_view pluginUri, int32_t patch) {
    return std::string(pluginUri) + "#patch" + std::to_string(patch);
}

// A control's range: its steps; a control without steps still gets a range hosts can
// draw, and the plugin holds it at 0.
int32_t ControlMaximum(const ModuleSlot& s) {
    return std::max(s.steps, 1);
}
int32_t ControlValue(const ModuleSlot& s, int32_t patch) {
    return std::clamp(s.patchValues[patch], 0, std::max(s.steps, 0));
}

// What a control's picture means, for hosts that draw their own controls: a switch or LED
// of two frames is a toggle; the four-position and wave knobs name their positions (the
// waves as the Oscillator reads the value each step gives); the centre of the +/- knob is
// its 0. Port ranges stay 0..steps, so values that host sessions saved keep their meaning.
std::string ControlMeaning(const ModuleSlot& s) {
    constexpr int32_t kPlusMinus = 2, kFourPositions = 3, kWave = 4, kSwitch = 5, kLed = 6;
    constexpr int32_t kMostNamedSteps = 32;
    const auto point = [](int32_t step, std::string_view label) {
        return "[ rdfs:label " + Quoted(label) + " ; rdf:value " + std::to_string(step) + " ]";
    };
    std::string points;
    const auto add = [&](int32_t step, std::string_view label) {
        points += (points.empty() ? "" : " , ") + point(step, label);
    };
    switch (s.imageType) {
    case kSwitch:
    case kLed:
        if (s.steps == 1) return "        lv2:portProperty lv2:toggled ;\n";
        return {};
    case kFourPositions:
        if (s.steps != 3) return {};
        for (int32_t step = 0; step <= 3; ++step) add(step, std::to_string(step + 1));
        return "        lv2:portProperty lv2:enumeration ;\n        lv2:scalePoint " + points +
               " ;\n";
    case kWave:
        if (s.steps < 1 || s.steps > kMostNamedSteps) return {};
        for (int32_t step = 0; step <= s.steps; ++step) {
            // The Parameter's value for the step, and the Oscillator's reading of it.
            const float v = static_cast<float>(step) * (1.0f / static_cast<float>(s.steps));
            constexpr const char* kWaves[] = {"Sine", "Triangle", "Saw", "Pulse"};
            add(step, kWaves[v > 0.75f ? 3 : v > 0.5f ? 2 : v > 0.25f ? 1 : 0]);
        }
        return "        lv2:portProperty lv2:enumeration ;\n        lv2:scalePoint " + points +
               " ;\n";
    case kPlusMinus:
        if (s.steps < 2 || s.steps % 2 != 0) return {};
        add(0, "-");
        add(s.steps / 2, "0");
        add(s.steps, "+");
        return "        lv2:scalePoint " + points + " ;\n";
    default:
        return {};
    }
}

// The design's version as LV2's minor and micro version, so that hosts notice a rebuilt
// plugin: "A" and "A.B" give minor A and micro B; "A.B.C" gives minor A and micro
// B * 1000 + C. Any other text gives nothing.
std::string VersionNumbers(std::string_view text) {
    std::vector<long> parts;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t j = i;
        long n = 0;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9' && j - i < 6)
            n = n * 10 + (text[j++] - '0');
        if (j == i || parts.size() == 3) return {};
        parts.push_back(n);
        if (j == text.size()) break;
        if (text[j] != '.' || j + 1 == text.size()) return {};
        i = j + 1;
    }
    if (parts.empty() || (parts.size() == 3 && (parts[1] >= 1000 || parts[2] >= 1000))) return {};
    const long micro = parts.size() == 1   ? 0
                       : parts.size() == 2 ? parts[1]
                                           : parts[1] * 1000 + parts[2];
    return "    lv2:minorVersion " + std::to_string(parts[0]) + " ;\n    lv2:microVersion " +
           std::to_string(micro) + " ;\n";
}

void AppendPort(std::string& out, bool first, std::string_view body) {
    out += first ? "    lv2:port [\n" : " , [\n";
    out += body;
    out += "    ]";
}

// What the plugin plays: a one-voice design on channel 1 says what it always said.
std::string ChannelName(const Project& project) {
    const int32_t channel = project.midiChannel;
    return channel == kAllChannels ? "every MIDI channel"
                                   : "MIDI channel " + std::to_string(channel);
}

std::string PlayingText(const Project& project) {
    if (project.voiceCount <= 1) return "Plays the notes of " + ChannelName(project) + ".";
    return "Polyphonic: plays up to " + std::to_string(project.voiceCount) + " notes at once on " +
           ChannelName(project) +
           ", with the sustain pedal, pitch bend and panic (All Notes Off, All Sound Off).";
}

std::string ChannelComment(const Project& project) {
    if (project.midiChannel == kAllChannels) return "Notes on every MIDI channel.";
    return "Notes on " + ChannelName(project) + "; other channels are ignored.";
}

std::string Describe(const Project& project, const std::string& uri, bool window) {
    std::string out = kPrefixes;
    out += Iri(uri) + "\n";
    out += "    a lv2:Plugin , lv2:InstrumentPlugin ;\n";
    if (window) out += "    ui:ui " + Iri(lv2::UiUri(uri)) + " ;\n";
    out += "    doap:name " + Quoted(GetText(project.pluginName)) + " ;\n";
    out += "    lv2:project " + Iri(uri + "#project") + " ;\n";
    out += "    rdfs:comment " +
           Quoted("Version " + std::string(GetText(project.versionText)) + ", unique ID " +
                  std::string(GetText(project.uniqueId)) + ". " + PlayingText(project) +
                  " Built with Tonewright.") +
           " ;\n";
    out += VersionNumbers(GetText(project.versionText));
    out += "    lv2:requiredFeature urid:map ;\n";
    out += "    lv2:optionalFeature lv2:hardRTCapable ;\n";
    AppendPort(out, true,
               "        a lv2:InputPort , atom:AtomPort ;\n"
               "        atom:bufferType atom:Sequence ;\n"
               "        atom:supports midi:MidiEvent ;\n"
               "        lv2:designation lv2:control ;\n"
               "        lv2:index " +
                   std::to_string(lv2::kMidiInPort) + " ;\n        lv2:symbol \"" +
                   lv2::kMidiInSymbol +
                   "\" ;\n        lv2:name \"MIDI In\" ;\n"
                   "        rdfs:comment " +
                   Quoted(ChannelComment(project)) + " ;\n");
    const struct {
        uint32_t index;
        const char* symbol;
        const char* name;
    } outputs[] = {{lv2::kOutLeftPort, lv2::kOutLeftSymbol, "Out L"},
                   {lv2::kOutRightPort, lv2::kOutRightSymbol, "Out R"}};
    for (const auto& o : outputs) {
        AppendPort(out, false,
                   "        a lv2:OutputPort , lv2:AudioPort ;\n        lv2:index " +
                       std::to_string(o.index) + " ;\n        lv2:symbol \"" + o.symbol +
                       "\" ;\n        lv2:name \"" + o.name + "\" ;\n");
    }
    // The indices come from the plugin's own port layout, so that the two always agree.
    uint32_t parameterCount = 0;
    for (const ModuleSlot& s : project.slots) parameterCount += s.type == kTypeParameter ? 1 : 0;
    uint32_t i = 0;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        AppendPort(out, false,
                   "        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " +
                       std::to_string(lv2::kFirstParameterPort + i++) +
                       " ;\n        lv2:symbol \"" + lv2::ParameterSymbol(slot) +
                       "\" ;\n        lv2:name " + Quoted(GetText(s.name)) +
                       " ;\n        lv2:default " + std::to_string(ControlValue(s, 0)) +
                       " ;\n        lv2:minimum 0 ;\n        lv2:maximum " +
                       std::to_string(ControlMaximum(s)) +
                       " ;\n        lv2:portProperty lv2:integer ;\n" + ControlMeaning(s));
    }
    // After every input, so that the inputs keep their indices: what each control plays.
    i = 0;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        AppendPort(
            out, false,
            "        a lv2:OutputPort , lv2:ControlPort ;\n        lv2:index " +
                std::to_string(lv2::ParameterOutputPort(parameterCount, i++)) +
                " ;\n        lv2:symbol \"" + lv2::ParameterOutputSymbol(slot) +
                "\" ;\n        lv2:name " + Quoted(std::string(GetText(s.name)) + " (playing)") +
                " ;\n        lv2:minimum 0 ;\n        lv2:maximum " +
                std::to_string(ControlMaximum(s)) + " ;\n        lv2:portProperty lv2:integer ;\n");
    }
    // The delay the plugin adds at host rates other than the design's, constant per
    // instance, so that hosts can line its sound up with other tracks.
    AppendPort(out, false,
               "        a lv2:OutputPort , lv2:ControlPort ;\n        lv2:index " +
                   std::to_string(lv2::LatencyPort(parameterCount)) + " ;\n        lv2:symbol \"" +
                   lv2::kLatencySymbol +
                   "\" ;\n        lv2:name \"Latency\" ;\n"
                   "        lv2:designation lv2:latency ;\n"
                   "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
                   "        units:unit units:frame ;\n"
                   "        lv2:minimum 0 ;\n        lv2:maximum 65536 ;\n"
                   "        lv2:default 0 ;\n");
    out += " .\n\n";
    // The author belongs to the project the plugin comes from.
    out += Iri(uri + "#project") + "\n";
    out += "    a doap:Project ;\n";
    out += "    doap:name " + Quoted(GetText(project.pluginName)) + " ;\n";
    out += "    doap:maintainer [ a foaf:Person ; foaf:name " + Quoted(GetText(project.author)) +
           " ] .\n";
    return out;
}

std::string DescribePresets(const Project& project, const std::string& uri) {
    std::string out = kPrefixes;
    for (const int32_t p : PresetPatches(project)) {
        out += Iri(PresetUri(uri, p)) + "\n";
        out += "    a pset:Preset ;\n";
        out += "    lv2:appliesTo " + Iri(uri) + " ;\n";
        out += "    rdfs:label " + Quoted(GetText(project.patchNames[p]));
        bool first = true;
        for (int32_t slot = 0; slot < kSlotCount; ++slot) {
            const ModuleSlot& s = project.slots[slot];
            if (s.type != kTypeParameter) continue;
            out += first ? " ;\n    lv2:port [\n" : " , [\n";
            first = false;
            out += "        lv2:symbol \"" + lv2::ParameterSymbol(slot) + "\" ;\n";
            out += "        pset:value " + std::to_string(ControlValue(s, p)) + ".0\n    ]";
        }
        out += " .\n\n";
    }
    return out;
}

// The plugin window: its binary beside the description, the host services it needs and
// those it uses when offered, and the control outputs it follows.
std::string DescribeWindow(const Project& project, const std::string& uri) {
    std::string out = Iri(lv2::UiUri(uri)) + "\n";
    out += "    a ui:X11UI ;\n";
    out += "    ui:binary " +
           Iri(lv2::PercentEncode(lv2::UiFileName(GetText(project.pluginName)))) + " ;\n";
    out += "    lv2:requiredFeature ui:idleInterface ;\n";
    out += "    lv2:optionalFeature ui:parent , ui:resize , ui:touch , opts:options , urid:map ;\n";
    out += "    lv2:extensionData ui:idleInterface ;\n";
    bool controls = false;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        controls = controls || s.renderOnBackground != 0;
        out += "    ui:portNotification [\n        ui:plugin " + Iri(uri) +
               " ;\n        lv2:symbol \"" + lv2::ParameterOutputSymbol(slot) +
               "\" ;\n        ui:protocol ui:floatProtocol\n    ] ;\n";
    }
    // The background is captured after this is written, with the controls as they are
    // shown now.
    out += "    " + Iri(lv2::kBackgroundShowsControls) + " " + (controls ? "true" : "false") +
           " .\n\n";
    return out;
}

std::string DescribeManifest(const Project& project, const std::string& uri,
                             std::string_view pluginFileName, Lv2BinaryPlace place, bool window) {
    std::string out = kPrefixes;
    out += Iri(uri) + "\n";
    out += "    a lv2:Plugin ;\n";
    // The plugin file under the name the build gave it: beside the plugin folder, or in it.
    const std::string above = place == Lv2BinaryPlace::BesideFolder ? "../" : "";
    out += "    lv2:binary " + Iri(above + lv2::PercentEncode(pluginFileName)) + " ;\n";
    out += "    rdfs:seeAlso " + Iri(kLv2PluginFile) + " .\n\n";
    if (window) out += DescribeWindow(project, uri);
    for (const int32_t p : PresetPatches(project)) {
        out += Iri(PresetUri(uri, p)) + "\n";
        out += "    a pset:Preset ;\n";
        out += "    lv2:appliesTo " + Iri(uri) + " ;\n";
        out += "    rdfs:seeAlso " + Iri(kLv2PresetsFile) + " .\n\n";
    }
    return out;
}

} // namespace

std::vector<int32_t> PresetPatches(const Project& project) {
    std::vector<int32_t> presets;
    const auto sameValues = [&project](int32_t a, int32_t b) {
        for (const ModuleSlot& s : project.slots) {
            if (s.type == kTypeParameter && ControlValue(s, a) != ControlValue(s, b)) return false;
        }
        return true;
    };
    for (int32_t p = 0; p < kPatchCount; ++p) {
        char fresh[kPatchNameSize];
        std::snprintf(fresh, sizeof fresh, "Patch %d", static_cast<int>(p));
        const bool named = GetText(project.patchNames[p]) != std::string_view(fresh);
        const bool repeats = std::any_of(presets.begin(), presets.end(),
                                         [&](int32_t earlier) { return sameValues(p, earlier); });
        if (named || !repeats) presets.push_back(p);
    }
    return presets;
}

Lv2Description DescribeLv2Plugin(const Project& project, std::string_view pluginFileName,
                                 Lv2BinaryPlace place, bool window) {
    const std::string uri = lv2::PluginUri(GetText(project.uniqueId), GetText(project.pluginName));
    return {DescribeManifest(project, uri, pluginFileName, place, window),
            Describe(project, uri, window), DescribePresets(project, uri)};
}

void WriteLv2Description(const Project& project, const std::string& pluginFolder,
                         std::string_view pluginFileName, BuildLog& log, Lv2BinaryPlace place,
                         bool window) {
    const Lv2Description description = DescribeLv2Plugin(project, pluginFileName, place, window);
    const struct {
        const char* name;
        const std::string& text;
    } files[] = {{kLv2ManifestFile, description.manifest},
                 {kLv2PluginFile, description.plugin},
                 {kLv2PresetsFile, description.presets}};
    for (const auto& file : files) {
        const std::string path = pluginFolder + "/" + file.name;
        if (ReplaceFile(path, file.text)) {
            log.Step(">Writing plugin description: " + path);
        } else {
            log.Error(">ERROR 8: Can not open file " + path);
            log.Step(">Check folder permissions.");
        }
    }
}

} // namespace tw
