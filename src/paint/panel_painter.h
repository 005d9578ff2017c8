#pragma once

// The Gui Editor's picture of the panel: the skin background, one control per Parameter
// module showing the frame of its value, labels, polygons, texts and, in edit mode, the
// grab areas. The widget, the build's background capture and the tests all draw with it.
#include "model/project.h"
#include "platform/bitmap.h"

#include <QImage>
#include <QSize>

class QPainter;

namespace tw {

// The side of a Parameter's square control: the width of its skin image (0 when the
// image is not loaded).
int32_t SkinControlSize(const Project& project, int32_t slot);

// Gives every control drawn on the panel its image's width as `controlSize`, as each
// paint does; hit tests and the manifest read that size.
void UpdateControlSizes(Project& project);

// Paints the whole panel of the given size. Reads the project and changes nothing.
void PaintPanel(QPainter& painter, const Project& project, QSize panelSize);

// A fingerprint of everything PaintPanel draws from for a panel of the given size: while
// it stays the same, so does the picture, and an editor can keep the one it has.
uint64_t PanelKey(const Project& project, QSize panelSize) noexcept;

// Updates the control sizes and paints the panel into a new image of width x height.
QImage RenderPanel(Project& project, int32_t width, int32_t height);

} // namespace tw
