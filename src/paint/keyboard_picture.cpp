#include "paint/keyboard_picture.h"

#include <QFont>
#include <QPainter>

namespace tw {

namespace {

constexpr int kWhiteOffsets[7] = {0, 16, 32, 48, 64, 80, 96};
constexpr int kBlackOffsets[5] = {9, 25, 57, 73, 89};
constexpr int kWhiteWidth = 16;
constexpr int kBlackWidth = 12;
constexpr int kBlackHeight = 21;

const QColor kIvory(252, 252, 248);
const QColor kSeam(120, 120, 120);
const QColor kEbony(24, 24, 28);
const QColor kEbonyShine(80, 80, 88);
const QColor kLabel(110, 110, 110);
const QColor kMiddleC(214, 228, 250);

} // namespace

void PaintKeyboardPicture(QPainter& painter) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(0, 0, kKeyboardPictureWidth, kKeyboardPictureHeight, kIvory);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(7);
    painter.setFont(font);

    for (int octave = 0; octave < kKeyboardPictureOctaves; ++octave) {
        const int base = octave * kKeyboardOctaveWidth;
        if (octave == kMiddleCOctave) {
            // Middle C's lower half is tinted so that the player finds it at a glance.
            painter.fillRect(base + 1, kBlackHeight + 1, kWhiteWidth - 2,
                             kKeyboardPictureHeight - kBlackHeight - 2, kMiddleC);
        }
        for (int w : kWhiteOffsets) {
            painter.setPen(kSeam);
            painter.drawLine(base + w + kWhiteWidth - 1, 0, base + w + kWhiteWidth - 1,
                             kKeyboardPictureHeight - 1);
        }
        // Octave names follow the convention in which note 60 is C4.
        painter.setPen(kLabel);
        painter.drawText(QRect(base, kBlackHeight + 2, kWhiteWidth - 1,
                               kKeyboardPictureHeight - kBlackHeight - 3),
                         Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("C%1").arg(octave - 1));
        for (int b : kBlackOffsets) {
            painter.fillRect(base + b, 0, kBlackWidth, kBlackHeight, kEbony);
            painter.fillRect(base + b + 2, kBlackHeight - 4, kBlackWidth - 4, 2, kEbonyShine);
        }
    }
    painter.setPen(kSeam);
    painter.drawLine(0, kKeyboardPictureHeight - 1, kKeyboardPictureWidth - 1,
                     kKeyboardPictureHeight - 1);
    painter.drawLine(0, 0, kKeyboardPictureWidth - 1, 0);
    painter.restore();
}

const QImage& KeyboardPicture() {
    static const QImage picture = [] {
        QImage image(kKeyboardPictureWidth, kKeyboardPictureHeight, QImage::Format_RGB32);
        QPainter painter(&image);
        PaintKeyboardPicture(painter);
        return image;
    }();
    return picture;
}

} // namespace tw
