#pragma once

// The program's own pictures: the toolbar's image strip and the program icon, drawn in
// code so that they stay sharp and consistent.
#include <QIcon>
#include <QPixmap>

namespace tw {

inline constexpr int kToolbarImageSize = 27;
inline constexpr int kToolbarImageCount = 13;

// Indices into the strip, in toolbar order.
enum ToolbarImage : int {
    kImageNew = 0,
    kImageOpen,
    kImageSave,
    kImageCut,
    kImageCopy,
    kImagePaste,
    kImageJoke,
    kImageStartAudio,
    kImageStopAudio,
    kImagePatchSelect,
    kImagePrevPatch,
    kImageNextPatch,
    kImageCopyPatch,
};

// 13 images of 27 x 27 pixels side by side, on a transparent background. With a device
// pixel ratio above 1 the strip has that many more pixels and says so.
QPixmap ToolbarImageStrip(qreal devicePixelRatio = 1.0);

// One image of the strip.
QPixmap ToolbarImage(int index, qreal devicePixelRatio = 1.0);

QIcon ProgramIcon();

} // namespace tw
