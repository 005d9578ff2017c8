// Draws the "Default" skin: seven control strips (vertical strips of square frames, one
// frame per control value) and the panel background, written as 24-bit BMP files.
//
//   tw_skin_generator OUTPUT_FOLDER
//
// Every picture is drawn four times larger and scaled down, which smooths the edges
// better than anti-aliasing alone at 40 pixels.
#include "export/bmp_writer.h"
#include "model/skin_files.h"

#include <QConicalGradient>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <string>

namespace {

constexpr int kSide = 40; // frame side in the files
constexpr int kScale = 4; // drawing scale
constexpr int kCanvas = kSide * kScale;
constexpr double kC = kCanvas / 2.0; // centre of a frame on the canvas

// Controls are copied onto the panel as opaque squares, so their corners must be the
// panel's own colour.
const QColor kPanel(38, 40, 44);
const QColor kAmber(255, 160, 40);
const QColor kMark(165, 170, 178);

// A point at `radius` from the centre, `degrees` clockwise from twelve o'clock.
QPointF Polar(double degrees, double radius) {
    const double a = degrees * std::numbers::pi / 180.0;
    return {kC + radius * std::sin(a), kC - radius * std::cos(a)};
}

// Qt measures arcs counter-clockwise from three o'clock, in sixteenths of a degree.
int QtAngle(double clockwiseFromTop) {
    return static_cast<int>(std::lround((90.0 - clockwiseFromTop) * 16.0));
}

void DrawKnobBody(QPainter& p) {
    // Soft shadow below and to the right.
    for (int i = 6; i >= 1; --i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 22));
        p.drawEllipse(QPointF(kC + 3, kC + 5), 46.0 + i * 1.6, 46.0 + i * 1.6);
    }
    // Skirt: a dark ring lit from the top left.
    QRadialGradient skirt(QPointF(kC - 18, kC - 22), 80);
    skirt.setColorAt(0.0, QColor(112, 116, 124));
    skirt.setColorAt(1.0, QColor(22, 23, 26));
    p.setBrush(skirt);
    p.setPen(QPen(QColor(12, 12, 14), 3));
    p.drawEllipse(QPointF(kC, kC), 47, 47);
    // Cap: brushed metal, drawn as a conical sweep of light and shade.
    QConicalGradient metal(QPointF(kC, kC), 45);
    const QColor light(172, 176, 184), mid(118, 122, 130), dark(78, 81, 88);
    metal.setColorAt(0.00, light);
    metal.setColorAt(0.12, mid);
    metal.setColorAt(0.25, dark);
    metal.setColorAt(0.40, mid);
    metal.setColorAt(0.50, light);
    metal.setColorAt(0.62, mid);
    metal.setColorAt(0.75, dark);
    metal.setColorAt(0.88, mid);
    metal.setColorAt(1.00, light);
    p.setBrush(metal);
    p.setPen(QPen(QColor(40, 42, 46), 2));
    p.drawEllipse(QPointF(kC, kC), 36, 36);
    // A faint highlight on the upper left of the cap.
    QRadialGradient shine(QPointF(kC - 12, kC - 14), 30);
    shine.setColorAt(0.0, QColor(255, 255, 255, 70));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(kC, kC), 36, 36);
}

void DrawPointer(QPainter& p, double degrees) {
    p.setPen(QPen(QColor(20, 20, 22), 11, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(Polar(degrees, 10), Polar(degrees, 40));
    p.setPen(QPen(QColor(250, 250, 250), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(Polar(degrees, 10), Polar(degrees, 40));
}

// A value ring: a dark track over the whole sweep and an amber arc from `from` to `to`.
void DrawRing(QPainter& p, double from, double to) {
    const QRectF ring(kC - 60, kC - 60, 120, 120);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(18, 19, 21), 8, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(ring, QtAngle(-135), -270 * 16);
    if (std::fabs(to - from) > 0.01) {
        p.setPen(QPen(kAmber, 6, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(ring, QtAngle(from), -static_cast<int>(std::lround((to - from) * 16.0)));
    }
}

void DrawScale(QPainter& p, int marks, int highlight) {
    for (int i = 0; i < marks; ++i) {
        const double a = -135.0 + 270.0 * i / (marks - 1);
        const bool strong = i == 0 || i == marks - 1 || i == highlight;
        p.setPen(QPen(strong ? QColor(215, 218, 224) : kMark, strong ? 5 : 4, Qt::SolidLine,
                      Qt::RoundCap));
        p.drawLine(Polar(a, 68), Polar(a, strong ? 78 : 75));
    }
}

// A sweeping knob: value v of 0..1 over 270 degrees; a centred knob fills its ring from
// twelve o'clock.
void DrawSweepKnob(QPainter& p, double v, bool centred) {
    const double angle = -135.0 + 270.0 * v;
    DrawScale(p, 11, centred ? 5 : -1);
    DrawRing(p, centred ? std::min(0.0, angle) : -135.0, centred ? std::max(0.0, angle) : angle);
    DrawKnobBody(p);
    DrawPointer(p, angle);
}

// A four-position selector: dots at the positions, the chosen one lit.
void DrawSelector(QPainter& p, int position) {
    static constexpr double kAngles[4] = {-75, -25, 25, 75};
    for (int i = 0; i < 4; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(i == position ? kAmber : QColor(90, 94, 100));
        p.drawEllipse(Polar(kAngles[i], 68), 7, 7);
    }
    DrawKnobBody(p);
    DrawPointer(p, kAngles[position]);
}

// A small display with one cycle of sine, triangle, saw or pulse.
void DrawWave(QPainter& p, int wave) {
    const QRectF bezel(10, 26, 140, 108);
    p.setPen(QPen(QColor(12, 12, 14), 4));
    QLinearGradient rim(bezel.topLeft(), bezel.bottomLeft());
    rim.setColorAt(0, QColor(95, 98, 106));
    rim.setColorAt(1, QColor(30, 31, 35));
    p.setBrush(rim);
    p.drawRoundedRect(bezel, 14, 14);
    const QRectF screen = bezel.adjusted(10, 10, -10, -10);
    QRadialGradient glass(screen.center(), 80);
    glass.setColorAt(0, QColor(18, 48, 36));
    glass.setColorAt(1, QColor(6, 20, 14));
    p.setBrush(glass);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(screen, 8, 8);
    p.setPen(QPen(QColor(40, 90, 65), 2));
    p.drawLine(QPointF(screen.left() + 4, screen.center().y()),
               QPointF(screen.right() - 4, screen.center().y()));

    const double left = screen.left() + 12, width = screen.width() - 24;
    const double mid = screen.center().y(), amp = screen.height() * 0.32;
    auto y = [&](double t) {
        switch (wave) {
        case 0:
            return std::sin(2 * std::numbers::pi * t);
        case 1:
            return t < 0.25 ? 4 * t : (t < 0.75 ? 2 - 4 * t : 4 * t - 4);
        case 2:
            return t < 0.999 ? 1 - 2 * t : -1.0;
        default:
            return t < 0.5 ? 1.0 : -1.0;
        }
    };
    QPainterPath path;
    if (wave == 2) { // the saw's fall is a vertical line
        path.moveTo(left, mid - amp);
        path.lineTo(left + width, mid + amp);
        path.moveTo(left, mid + amp);
        path.lineTo(left, mid - amp);
        path.moveTo(left + width, mid + amp);
        path.lineTo(left + width, mid - amp);
    } else if (wave == 3) {
        path.moveTo(left, mid);
        path.lineTo(left, mid - amp);
        path.lineTo(left + width / 2, mid - amp);
        path.lineTo(left + width / 2, mid + amp);
        path.lineTo(left + width, mid + amp);
        path.lineTo(left + width, mid);
    } else {
        for (int i = 0; i <= 200; ++i) {
            const double t = i / 200.0;
            const QPointF pt(left + width * t, mid - amp * y(t));
            if (i == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(120, 255, 170, 70), 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(QColor(170, 255, 200), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

// A slide switch: grey track with the thumb left when off, amber with the thumb right
// when on.
void DrawSwitch(QPainter& p, bool on) {
    const QRectF track(kC - 62, kC - 30, 124, 60);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRoundedRect(track.translated(2, 4), 30, 30);
    QLinearGradient fill(track.topLeft(), track.bottomLeft());
    fill.setColorAt(0, on ? QColor(200, 115, 20) : QColor(22, 23, 26));
    fill.setColorAt(1, on ? kAmber : QColor(62, 65, 71));
    p.setBrush(fill);
    p.setPen(QPen(QColor(12, 12, 14), 3));
    p.drawRoundedRect(track, 30, 30);
    const QPointF thumb(on ? track.right() - 30 : track.left() + 30, kC);
    QRadialGradient knob(thumb - QPointF(8, 10), 34);
    knob.setColorAt(0, QColor(250, 250, 252));
    knob.setColorAt(1, QColor(150, 154, 162));
    p.setBrush(knob);
    p.setPen(QPen(QColor(30, 31, 35), 3));
    p.drawEllipse(thumb, 24, 24);
}

void DrawLed(QPainter& p, bool on) {
    if (on) {
        QRadialGradient glow(QPointF(kC, kC), 76);
        glow.setColorAt(0.0, QColor(255, 60, 40, 150));
        glow.setColorAt(1.0, QColor(255, 60, 40, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(QPointF(kC, kC), 76, 76);
    }
    QLinearGradient bezel(QPointF(kC, kC - 34), QPointF(kC, kC + 34));
    bezel.setColorAt(0, QColor(20, 20, 22));
    bezel.setColorAt(1, QColor(130, 134, 142));
    p.setBrush(bezel);
    p.setPen(QPen(QColor(10, 10, 12), 3));
    p.drawEllipse(QPointF(kC, kC), 34, 34);
    QRadialGradient dome(QPointF(kC - 8, kC - 10), 34);
    dome.setColorAt(0.0, on ? QColor(255, 190, 170) : QColor(140, 50, 45));
    dome.setColorAt(0.45, on ? QColor(255, 45, 30) : QColor(95, 22, 20));
    dome.setColorAt(1.0, on ? QColor(170, 10, 5) : QColor(45, 8, 8));
    p.setBrush(dome);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(kC, kC), 26, 26);
    p.setBrush(QColor(255, 255, 255, on ? 150 : 60));
    p.drawEllipse(QPointF(kC - 9, kC - 10), 7, 5);
}

// Draws `frames` frames with `draw`(painter, frame) and scales the strip to its size.
tw::Bitmap Strip(int frames, const std::function<void(QPainter&, int)>& draw) {
    QImage big(kCanvas, kCanvas * frames, QImage::Format_RGB32);
    big.fill(kPanel);
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int f = 0; f < frames; ++f) {
        p.save();
        p.translate(0, f * kCanvas);
        p.setClipRect(QRect(0, 0, kCanvas, kCanvas));
        draw(p, f);
        p.restore();
    }
    p.end();
    // Each frame is scaled on its own, so that no frame bleeds into its neighbour.
    QImage strip(kSide, kSide * frames, QImage::Format_RGB32);
    QPainter out(&strip);
    for (int f = 0; f < frames; ++f) {
        const QImage frame =
            big.copy(0, f * kCanvas, kCanvas, kCanvas)
                .scaled(kSide, kSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        out.drawImage(0, f * kSide, frame);
    }
    out.end();
    tw::Bitmap b;
    b.width = strip.width();
    b.height = strip.height();
    for (int y = 0; y < b.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(strip.constScanLine(y));
        b.pixels.insert(b.pixels.end(), row, row + b.width);
    }
    return b;
}

void DrawScrew(QPainter& p, QPointF c) {
    QRadialGradient head(c - QPointF(2, 3), 9);
    head.setColorAt(0, QColor(190, 194, 200));
    head.setColorAt(1, QColor(70, 73, 80));
    p.setBrush(head);
    p.setPen(QPen(QColor(15, 15, 17), 1.2));
    p.drawEllipse(c, 6.5, 6.5);
    p.setPen(QPen(QColor(30, 31, 35), 2));
    p.drawLine(c + QPointF(-4, 2), c + QPointF(4, -2));
}

// A dark, flat panel with a bevelled edge and four screws. The inside stays one flat
// colour: the controls are opaque squares of that colour wherever they are placed.
tw::Bitmap Background(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kPanel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QColor(70 - i * 6, 73 - i * 6, 80 - i * 6));
        p.drawLine(i, i, width - 1 - i, i);
        p.drawLine(i, i, i, height - 1 - i);
        p.setPen(QColor(14 + i * 4, 15 + i * 4, 17 + i * 4));
        p.drawLine(i, height - 1 - i, width - 1 - i, height - 1 - i);
        p.drawLine(width - 1 - i, i, width - 1 - i, height - 1 - i);
    }
    for (const QPointF c :
         {QPointF(14, 14), QPointF(width - 15, 14), QPointF(14, height - 15),
          QPointF(width - 15, height - 15), QPointF(368, 14), QPointF(368, 244)}) {
        DrawScrew(p, c);
    }
    p.end();
    tw::Bitmap b;
    b.width = width;
    b.height = height;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        b.pixels.insert(b.pixels.end(), row, row + width);
    }
    return b;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tw_skin_generator OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    struct File {
        const char* name;
        tw::Bitmap bitmap;
    };
    // The strips in image-type order, then the background.
    const File files[] = {
        {tw::kSkinImageFiles[0],
         Strip(11, [](QPainter& p, int f) { DrawSweepKnob(p, f / 10.0, false); })},
        {tw::kSkinImageFiles[1],
         Strip(101, [](QPainter& p, int f) { DrawSweepKnob(p, f / 100.0, false); })},
        {tw::kSkinImageFiles[2],
         Strip(101, [](QPainter& p, int f) { DrawSweepKnob(p, f / 100.0, true); })},
        {tw::kSkinImageFiles[3], Strip(4, [](QPainter& p, int f) { DrawSelector(p, f); })},
        {tw::kSkinImageFiles[4], Strip(4, [](QPainter& p, int f) { DrawWave(p, f); })},
        {tw::kSkinImageFiles[5], Strip(2, [](QPainter& p, int f) { DrawSwitch(p, f == 1); })},
        {tw::kSkinImageFiles[6], Strip(2, [](QPainter& p, int f) { DrawLed(p, f == 1); })},
        {tw::kSkinBackgroundFile, Background(800, 600)},
    };
    static_assert(tw::kSkinImageFiles.size() == 7, "one strip is drawn for each image type");
    for (const File& f : files) {
        const std::string path = folder + f.name;
        if (!tw::SaveBmp24(path, f.bitmap)) {
            std::fprintf(stderr, "tw_skin_generator: can not write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
