#pragma once

// The chunks of the manifest that a build appends to the plugin template: what the
// build's manifest writer and the plugin's reader must agree on. Header-only, like
// lv2_contract.h, so that both sides include it. Numbers are little-endian 32-bit words;
// texts are counted (a word with the byte count, then the bytes).
#include "model/limits.h"

#include <cstddef>
#include <string_view>

namespace tw::manifest {

// Every chunk starts with a tag of four characters.
inline constexpr std::size_t kTagSize = 4;

// The header: the tag, a rule of hyphens and the counted product name, then the plugin
// name, author, version and unique ID.
inline constexpr char kHeaderTag[] = "HED#";
inline constexpr std::size_t kRuleLength = 32;
inline constexpr std::string_view kProductTag = kProductName;
// The modules in the order the engine runs them: a count, then type and slot of each.
inline constexpr char kModulesTag[] = "MOD#";
// The cables: a count, then each input port with the output port that feeds it.
inline constexpr char kCablesTag[] = "PLG#";
// The patch count and the Parameter count, then for each patch its name and a slot,
// value and step count for each Parameter.
inline constexpr char kPatchesTag[] = "PAT#";
// The panel: the word count 2, then its width and height in pixels.
inline constexpr char kPanelTag[] = "GUI#";
// The panel controls: a count, then the control of each Parameter.
inline constexpr char kControlsTag[] = "PAR#";
// The start values: a count, then each Parameter's slot and its value in patch 0.
inline constexpr char kStartValuesTag[] = "PAX#";
// Only in a design whose controls are bound to MIDI controllers, after everything else:
// a count, then the slot and the controller (0..127) of each bound Parameter, in slot
// order.
inline constexpr char kControllersTag[] = "MCC#";

// The bytes every manifest starts with: the header tag, the rule and the counted product
// name.
inline constexpr std::size_t kPrefixSize = kTagSize + kRuleLength + 4 + kProductTag.size();

} // namespace tw::manifest
