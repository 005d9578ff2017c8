#pragma once

// Where the Dsp Editor writes a module's texts: its port labels and its live display, in
// fonts chosen from their metrics so that no text runs into another or out of its box.
#include "model/project.h"

#include <QFont>
#include <QRect>

#include <cstdint>

namespace tw {

// The canvas's one typeface at a pixel size (at least 1) and weight: the fonts that
// measure the labels and the fonts that draw them are the same.
QFont CanvasFont(int32_t pixelSize, QFont::Weight weight);

// The font of module names at zoom z: the largest that fits the space between the name's
// top (3z above the box) and the body.
const QFont& CanvasNameFont(int32_t zoom);

// The font of a module type's port labels and live display at zoom z: the largest, at most
// 3z pixels, in which every label of the type fits its row beside the label facing it and
// inside the box, and the live display keeps clear of the labels.
const QFont& CanvasLabelFont(int32_t type, int32_t zoom);

// Whether a type's live display prints its value at zoom z: where the value would need a
// font too small for the labels, the display shows its bar alone.
bool LiveValueShown(int32_t type, int32_t zoom);

struct CanvasLabel {
    QRect box; // the text's metric box; the text is drawn from its top-left corner
    const char* text = "";
    int32_t port = kNone; // the port index the label names
    bool input = false;
};

// A module's texts laid out on the canvas (canvas pixels, before the view's origin). A
// label that cannot fit even in the smallest font is left out rather than drawn over
// another.
struct ModuleLabels {
    QRect box;     // the module's box: every label lies inside it
    QRect display; // the live display's strip with its value (empty for other types)
    int32_t count = 0;
    CanvasLabel labels[2 * kPortsPerSlot];
};
void LayOutModuleLabels(const Project& project, int32_t slot, ModuleLabels& out);

// The strip of a Parameter's, Volt Meter's or MIDI module's live display with room for its
// value, as LayOutModuleLabels gives it but without laying out the labels; an empty
// rectangle for other types.
QRect LiveDisplayStrip(const Project& project, int32_t slot);

} // namespace tw
