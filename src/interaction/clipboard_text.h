#pragma once

// The clipboard as text, so that a selection pastes into another project or another
// running program: a small JSON document, versioned so that a later program can tell an
// older clipping from its own. The format is documented in the README ("Clipboard").
//
//   {"tonewright-clipboard": 1,
//    "modules":  [{"type": 5, "x": 0, "y": 0, "name": "Cutoff", "imageType": 0,
//                  "mouseResponse": 0, "renderOnBackground": 1, "stepDirection": 1,
//                  "showLabel": 1, "steps": 100, "panelX": 40, "panelY": 24,
//                  "labelColour": [0, 0, 0], "patchValues": [128 numbers],
//                  "spareValues": [128 numbers]}, ...],
//    "comments": [{"x": 12, "y": 40, "text": "...", "showBackground": 1,
//                  "showBorder": 1}, ...],
//    "cables":   [{"from": 0, "output": 0, "to": 1, "input": 2}, ...]}
//
// Positions are grid units from the group's top-left; cables name modules by their place
// in "modules" and ports by their number 0..15.
#include "interaction/clipboard.h"

#include <optional>
#include <string>
#include <string_view>

namespace tw {

inline constexpr int32_t kClipboardVersion = 1;

std::string ClippingToText(const Clipping& clipping);

// The clipping a text holds, or nullopt for any text that is not a clipping of a version
// this program reads (plain text, another program's JSON, a damaged or oversized one).
std::optional<Clipping> ClippingFromText(std::string_view text);

} // namespace tw
