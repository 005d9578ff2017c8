#pragma once

// The picture behind the Virtual Keyboard: a row of piano keys 36 pixels high, 112 pixels
// an octave, starting with a C. It covers eleven octaves (notes 0 to 131), more than the
// five views the keyboard can scroll to need (1121 pixels).
#include <QImage>

class QPainter;

namespace tw {

inline constexpr int kKeyboardOctaveWidth = 112;
inline constexpr int kKeyboardPictureOctaves = 11;
inline constexpr int kKeyboardPictureWidth = kKeyboardOctaveWidth * kKeyboardPictureOctaves;
inline constexpr int kKeyboardPictureHeight = 36;
// The octave whose C is marked as middle C (note 60).
inline constexpr int kMiddleCOctave = 5;

// Draws the picture with its top-left at (0, 0).
void PaintKeyboardPicture(QPainter& painter);

// The picture, drawn once and kept for the run.
const QImage& KeyboardPicture();

} // namespace tw
