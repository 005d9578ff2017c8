#pragma once

// What the plugin binary and the description written beside it must agree on: the
// plugin's URI and the index, symbol and name of every port. Header-only and free of
// any library so that both the plugin and the build can include it.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tw::lv2 {

// Port layout: the MIDI input, the two audio outputs, one control input per Parameter
// module in ascending slot order, one control output per Parameter in the same order, then
// the latency report. The outputs come after every input so that the inputs keep the
// indices that hosts stored with their sessions and automation before the outputs existed.
inline constexpr uint32_t kMidiInPort = 0;
inline constexpr uint32_t kOutLeftPort = 1;
inline constexpr uint32_t kOutRightPort = 2;
inline constexpr uint32_t kFirstParameterPort = 3;

// Ports added in later versions follow every port of the earlier layout, so that the
// indices and symbols a host saved stay valid. The index of the latency report, the one
// output control port, is computed here alone.
inline constexpr uint32_t LatencyPort(uint32_t parameterCount) {
    return kFirstParameterPort + 2 * parameterCount;
}
inline constexpr const char* kLatencySymbol = "latency";

inline constexpr const char* kMidiInSymbol = "midi_in";
inline constexpr const char* kOutLeftSymbol = "out_l";
inline constexpr const char* kOutRightSymbol = "out_r";

// The control output that reports Parameter `i` of `count` (its step as the plugin plays
// it, whoever moved it: the host, or a MIDI controller learnt in the editor).
inline constexpr uint32_t ParameterOutputPort(uint32_t count, uint32_t i) {
    return kFirstParameterPort + count + i;
}

// Every plugin's URI begins so.
inline constexpr const char* kPluginUriPrefix = "urn:tonewright:plugin:";

// The URI of a plugin whose manifest names no identity that can be read.
inline constexpr const char* kUnknownPluginUri = "urn:tonewright:plugin:unknown";

// Every byte outside the unreserved URI characters as %XX, so that any name typed by
// the user (spaces, '#', '%', bytes above 127) gives a valid URI or file reference.
inline std::string PercentEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                           (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' || b == '~';
        if (plain) {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned>(b));
            out += hex;
        }
    }
    return out;
}

// The plugin's URI: hosts tell plugins apart by it, so it carries the unique ID and the
// name. Two builds of the same design keep the same URI and so the same host settings.
inline std::string PluginUri(std::string_view uniqueId, std::string_view name) {
    return kPluginUriPrefix + PercentEncode(uniqueId) + ":" + PercentEncode(name);
}

// Symbols of the Parameter controls come from their slots, which never change when other
// modules are added or removed, so automation recorded in a host stays on its control.
inline std::string ParameterSymbol(int32_t slot) {
    return "param_" + std::to_string(slot);
}

inline std::string ParameterOutputSymbol(int32_t slot) {
    return ParameterSymbol(slot) + "_out";
}

// The plugin window's URI: one per plugin, so that the descriptions of two designs never
// describe the same window with two binaries.
inline std::string UiUri(std::string_view pluginUri) {
    return std::string(pluginUri) + "#ui";
}

// The plugin window's binary in the plugin's bundle, beside the description.
inline std::string UiFileName(std::string_view pluginName) {
    return std::string(pluginName) + "_ui.so";
}

// In the window's description: whether the captured background already shows every control
// and its label (the build's default) or only the panel without them.
inline constexpr const char* kBackgroundShowsControls = "urn:tonewright:ns#backgroundShowsControls";

} // namespace tw::lv2
