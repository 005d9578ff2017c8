#pragma once

// Between the model's bitmaps (0xAARRGGBB rows, top-down) and Qt images.
#include "platform/bitmap.h"

#include <QImage>
#include <QString>
#include <string_view>

namespace tw {

// A read-only view of the bitmap's pixels as an opaque image; it shares the pixels, so
// the bitmap must outlive it. Null for an empty or inconsistent bitmap.
QImage ViewOfBitmap(const Bitmap& bitmap);

// The image's pixels as a bitmap (any format; alpha kept as the image has it).
Bitmap BitmapOfImage(const QImage& image);

// A text as the record stores it: UTF-8 when it is valid UTF-8, else one byte a character.
QString TextOfBytes(std::string_view bytes);

} // namespace tw
