#include "export/lv2_ttl.h"

#include "model/text.h"
#include "platform/atomic_file.h"
#include "plugin/lv2_contract.h"

#include <algorithm>
#include <cstdio>

namespace tw {

namespace {

constexpr const char* kPrefixes = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                                  "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                                  "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                                  "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                                  "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
                                  "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                                  "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
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

std::string Describe(const Project& project, const std::string& uri) {
    std::string out = kPrefixes;
    out += Iri(uri) + "\n";
    out += "    a lv2:Plugin , lv2:InstrumentPlugin ;\n";
    out += "    doap:name " + Quoted(GetText(project.pluginName)) + " ;\n";
    out += "    lv2:project " + Iri(uri + "#project") + " ;\n";
    out += "    rdfs:comment " +
           Quoted("Version " + std::string(GetText(project.versionText)) + ", unique ID " +
                  std::string(GetText(project.uniqueId)) + ". " + PlayingText(project) +
                  " Built with Tonewright.") +
           " ;\n";
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
    uint32_t index = lv2::kFirstParameterPort;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        AppendPort(
            out, false,
            "        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " +
                std::to_string(index++) + " ;\n        lv2:symbol \"" + lv2::ParameterSymbol(slot) +
                "\" ;\n        lv2:name " + Quoted(GetText(s.name)) + " ;\n        lv2:default " +
                std::to_string(ControlValue(s, 0)) +
                " ;\n        lv2:minimum 0 ;\n        lv2:maximum " +
                std::to_string(ControlMaximum(s)) + " ;\n        lv2:portProperty lv2:integer ;\n");
    }
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
    for (int32_t p = 0; p < kPatchCount; ++p) {
        if (!PatchIsPreset(project, p)) continue;
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

std::string DescribeManifest(const Project& project, const std::string& uri,
                             std::string_view pluginFileName, Lv2BinaryPlace place) {
    std::string out = kPrefixes;
    out += Iri(uri) + "\n";
    out += "    a lv2:Plugin ;\n";
    // The plugin file under the name the build gave it: beside the plugin folder, or in it.
    const std::string above = place == Lv2BinaryPlace::BesideFolder ? "../" : "";
    out += "    lv2:binary " + Iri(above + lv2::PercentEncode(pluginFileName)) + " ;\n";
    out += "    rdfs:seeAlso " + Iri(kLv2PluginFile) + " .\n\n";
    for (int32_t p = 0; p < kPatchCount; ++p) {
        if (!PatchIsPreset(project, p)) continue;
        out += Iri(PresetUri(uri, p)) + "\n";
        out += "    a pset:Preset ;\n";
        out += "    lv2:appliesTo " + Iri(uri) + " ;\n";
        out += "    rdfs:seeAlso " + Iri(kLv2PresetsFile) + " .\n\n";
    }
    return out;
}

} // namespace

bool PatchIsPreset(const Project& project, int32_t patch) {
    char fresh[kPatchNameSize];
    std::snprintf(fresh, sizeof fresh, "Patch %d", static_cast<int>(patch));
    if (GetText(project.patchNames[patch]) != std::string_view(fresh)) return true;
    for (const ModuleSlot& s : project.slots) {
        if (s.type == kTypeParameter && ControlValue(s, patch) != 0) return true;
    }
    return false;
}

Lv2Description DescribeLv2Plugin(const Project& project, std::string_view pluginFileName,
                                 Lv2BinaryPlace place) {
    const std::string uri = lv2::PluginUri(GetText(project.uniqueId), GetText(project.pluginName));
    return {DescribeManifest(project, uri, pluginFileName, place), Describe(project, uri),
            DescribePresets(project, uri)};
}

void WriteLv2Description(const Project& project, const std::string& pluginFolder,
                         std::string_view pluginFileName, BuildLog& log, Lv2BinaryPlace place) {
    const Lv2Description description = DescribeLv2Plugin(project, pluginFileName, place);
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
