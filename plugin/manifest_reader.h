#pragma once

// Reading the manifest that a build appends to the plugin template: the design the
// plugin runs. Every count, index and length is checked against the project record's
// tables and against the bytes that are left; anything a build cannot have written
// makes the design unusable, and the plugin then stays silent.
#include "model/instrument.h"
#include "model/limits.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tw::plugin {

inline constexpr std::size_t kManifestPrefixSize = 50;

// "HED#", 32 hyphens and the counted product tag: the start of every manifest. Built at
// run time so that the plugin's own bytes never hold the sequence it searches for.
std::array<uint8_t, kManifestPrefixSize> ManifestPrefix() noexcept;

struct ManifestIdentity {
    std::string name;
    std::string author;
    std::string version;
    std::string uniqueId;
};

struct ManifestModule {
    int32_t type = 0;
    int32_t slot = 0;
};

// Input port `input` is fed by output port `output`.
struct ManifestCable {
    int32_t input = 0;
    int32_t output = 0;
};

struct ManifestParameter {
    int32_t slot = 0;
    int32_t steps = 0;
    int32_t startValue = 0; // the step in patch 0
    std::array<int32_t, kPatchCount> patchValues{};
    std::string name;
    int32_t imageType = 0;
    int32_t panelX = 0;
    int32_t panelY = 0;
    int32_t controlSize = 0;
    int32_t mouseResponse = 0;
    int32_t showLabel = 0;
    int32_t midiCc = -1; // the MIDI controller bound to the control, or -1
};

struct ManifestDesign {
    std::vector<ManifestModule> modules;
    std::vector<ManifestCable> cables;
    std::vector<std::string> patchNames; // 128
    std::vector<ManifestParameter> parameters;
    int32_t panelWidth = 0;
    int32_t panelHeight = 0;
    InstrumentSettings instrument; // voices, channel and bend range
};

struct Manifest {
    // Where the manifest begins in the bytes it was found in.
    std::size_t offset = 0;
    bool hasIdentity = false;
    ManifestIdentity identity;
    bool hasDesign = false;
    ManifestDesign design;
    // Why the design (or the identity) could not be read; empty when it was.
    std::string problem;
};

// Reads a manifest that starts at bytes[0] and ends with the last byte.
Manifest ParseManifest(std::span<const uint8_t> bytes);

// Finds and reads the manifest at the end of a plugin file. The prefix is searched from
// the end backwards; the first candidate that reads whole up to the end of the file wins.
// When none does, the result carries the identity of the candidate nearest the end, if
// its header can be read, and the problem found there.
Manifest FindManifest(std::span<const uint8_t> file);

} // namespace tw::plugin
