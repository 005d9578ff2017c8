#include "app/toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace tw {

namespace {

// One palette for every picture, so that the toolbar reads as one set.
const QColor kInk(43, 52, 64);
const QColor kPaper(252, 252, 250);
const QColor kBlue(47, 127, 209);
const QColor kGreen(46, 157, 79);
const QColor kRed(208, 69, 58);
const QColor kYellow(236, 185, 72);
const QColor kGrey(150, 160, 172);

constexpr qreal kLine = 1.3;

QPen Ink(qreal width = kLine) {
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet of paper with a folded top-right corner.
void Sheet(QPainter& p, const QRectF& r) {
    const qreal fold = 5;
    QPainterPath sheet;
    sheet.moveTo(r.left(), r.top());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.right(), r.bottom());
    sheet.lineTo(r.left(), r.bottom());
    sheet.closeSubpath();
    p.setPen(Ink());
    p.setBrush(kPaper);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(Qt::NoBrush);
    p.drawPath(corner);
}

// Text lines on a sheet.
void Lines(QPainter& p, qreal x0, qreal x1, qreal y, int count) {
    p.setPen(QPen(kGrey, 1.2, Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < count; ++i) p.drawLine(QPointF(x0, y + 3 * i), QPointF(x1, y + 3 * i));
}

void DrawNew(QPainter& p) {
    Sheet(p, QRectF(6.5, 3.5, 14, 20));
    // A green plus: something that was not there before.
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(19.5, 19.5), 5.5, 5.5);
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(19.5, 16.5), QPointF(19.5, 22.5));
    p.drawLine(QPointF(16.5, 19.5), QPointF(22.5, 19.5));
}

void DrawOpen(QPainter& p) {
    p.setPen(Ink());
    // The back of the folder with its tab.
    QPainterPath back;
    back.moveTo(3.5, 21.5);
    back.lineTo(3.5, 6.5);
    back.lineTo(10.5, 6.5);
    back.lineTo(12.5, 8.5);
    back.lineTo(21.5, 8.5);
    back.lineTo(21.5, 12.5);
    p.setBrush(kYellow.darker(115));
    p.drawPath(back);
    // The front, tilted open.
    QPainterPath front;
    front.moveTo(3.5, 21.5);
    front.lineTo(7.5, 12.5);
    front.lineTo(24.5, 12.5);
    front.lineTo(20.5, 21.5);
    front.closeSubpath();
    p.setBrush(kYellow);
    p.drawPath(front);
}

void DrawSave(QPainter& p) {
    QPainterPath disk;
    disk.moveTo(4.5, 4.5);
    disk.lineTo(19.5, 4.5);
    disk.lineTo(22.5, 7.5);
    disk.lineTo(22.5, 22.5);
    disk.lineTo(4.5, 22.5);
    disk.closeSubpath();
    p.setPen(Ink());
    p.setBrush(kBlue);
    p.drawPath(disk);
    // The shutter and the label.
    p.setBrush(kPaper);
    p.drawRect(QRectF(8.5, 4.5, 9, 6));
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(QRectF(14, 5.5, 2, 4));
    p.setPen(Ink());
    p.setBrush(kPaper);
    p.drawRect(QRectF(7.5, 14.5, 12, 8));
    Lines(p, 9.5, 17.5, 17.5, 2);
}

void DrawCut(QPainter& p) {
    // Two blades crossing above two finger rings.
    p.setPen(QPen(kGrey.darker(140), 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.5, 15.5), QPointF(18.5, 3.5));
    p.drawLine(QPointF(17.5, 15.5), QPointF(8.5, 3.5));
    p.setPen(QPen(kRed, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8.5, 19.5), 3.5, 3.5);
    p.drawEllipse(QPointF(18.5, 19.5), 3.5, 3.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(QPointF(13.5, 9.5), 1.2, 1.2);
}

void DrawCopy(QPainter& p) {
    Sheet(p, QRectF(4.5, 3.5, 12, 15));
    Lines(p, 6.5, 12.5, 8.5, 3);
    Sheet(p, QRectF(10.5, 8.5, 12, 15));
    Lines(p, 12.5, 20.5, 13.5, 3);
}

void DrawPaste(QPainter& p) {
    // The board and its clip.
    p.setPen(Ink());
    p.setBrush(QColor(190, 140, 80));
    p.drawRoundedRect(QRectF(4.5, 5.5, 15, 18), 1.5, 1.5);
    p.setBrush(kGrey);
    p.drawRoundedRect(QRectF(8.5, 3.5, 7, 4), 1, 1);
    Sheet(p, QRectF(11.5, 10.5, 11, 13));
    Lines(p, 13.5, 19.5, 15.5, 3);
}

void DrawJoke(QPainter& p) {
    // A big red button on its base, begging to be pressed.
    p.setPen(Ink());
    p.setBrush(kGrey);
    p.drawRoundedRect(QRectF(3.5, 17.5, 20, 6), 2, 2);
    QRadialGradient cap(QPointF(11, 9), 10);
    cap.setColorAt(0.0, kRed.lighter(150));
    cap.setColorAt(1.0, kRed.darker(120));
    p.setBrush(cap);
    QPainterPath dome;
    dome.moveTo(5.5, 17.5);
    dome.cubicTo(5.5, 5.0, 21.5, 5.0, 21.5, 17.5);
    dome.closeSubpath();
    p.drawPath(dome);
    p.setPen(QPen(QColor(255, 255, 255, 170), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(8.5, 9.5, 7, 7), 100 * 16, 60 * 16);
}

// A loudspeaker at the left, so that the two audio buttons read as "sound on / off".
void Speaker(QPainter& p) {
    QPainterPath cone;
    cone.moveTo(3.5, 10.5);
    cone.lineTo(6.5, 10.5);
    cone.lineTo(11.5, 5.5);
    cone.lineTo(11.5, 21.5);
    cone.lineTo(6.5, 16.5);
    cone.lineTo(3.5, 16.5);
    cone.closeSubpath();
    p.setPen(Ink());
    p.setBrush(kGrey.lighter(115));
    p.drawPath(cone);
}

void DrawStartAudio(QPainter& p) {
    Speaker(p);
    QPainterPath play;
    play.moveTo(14.5, 7.5);
    play.lineTo(24.5, 13.5);
    play.lineTo(14.5, 19.5);
    play.closeSubpath();
    p.setPen(QPen(kGreen.darker(130), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kGreen);
    p.drawPath(play);
}

void DrawStopAudio(QPainter& p) {
    Speaker(p);
    p.setPen(QPen(kRed.darker(130), 1.0));
    p.setBrush(kRed);
    p.drawRoundedRect(QRectF(14.5, 8.5, 10, 10), 1.5, 1.5);
}

void DrawPatchSelect(QPainter& p) {
    // A list of patches with the current one marked.
    p.setPen(Ink());
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(3.5, 3.5, 20, 20), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue.lighter(160));
    p.drawRect(QRectF(4.5, 11, 18, 5));
    for (int row = 0; row < 4; ++row) {
        const qreal y = 7.5 + 5 * row;
        p.setPen(QPen(row == 1 ? kBlue.darker(120) : kGrey, 1.4, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(11, y), QPointF(20.5, y));
    }
    // The tick of the current patch.
    p.setPen(QPen(kGreen.darker(110), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(6, 13.5), QPointF(7.5, 15), QPointF(9.5, 11.5)}));
}

// A blue chevron arrow pointing right; the left one is its mirror image.
void Arrow(QPainter& p, bool right) {
    p.save();
    if (!right) {
        p.translate(27, 0);
        p.scale(-1, 1);
    }
    QPainterPath arrow;
    arrow.moveTo(5.5, 10.5);
    arrow.lineTo(13.5, 10.5);
    arrow.lineTo(13.5, 5.5);
    arrow.lineTo(22.5, 13.5);
    arrow.lineTo(13.5, 21.5);
    arrow.lineTo(13.5, 16.5);
    arrow.lineTo(5.5, 16.5);
    arrow.closeSubpath();
    p.setPen(QPen(kBlue.darker(140), 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kBlue);
    p.drawPath(arrow);
    p.restore();
}

// A small panel with one knob: the picture of a patch.
void PatchCard(QPainter& p, const QRectF& r, const QColor& colour) {
    p.setPen(Ink(1.1));
    p.setBrush(colour);
    p.drawRoundedRect(r, 1.5, 1.5);
    const QPointF centre = r.center();
    p.setBrush(kPaper);
    p.drawEllipse(centre, 2.6, 2.6);
    p.drawLine(centre, centre + QPointF(1.8, -1.8));
}

void DrawCopyPatch(QPainter& p) {
    PatchCard(p, QRectF(2.5, 3.5, 11, 11), kBlue.lighter(140));
    PatchCard(p, QRectF(13.5, 12.5, 11, 11), kGreen.lighter(150));
    p.setPen(QPen(kInk, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath bend;
    bend.moveTo(8, 16);
    bend.quadTo(8, 21, 12, 21);
    p.drawPath(bend);
    p.drawPolyline(QPolygonF({QPointF(10, 18.8), QPointF(12, 21), QPointF(10, 23.2)}));
}

void DrawImage(QPainter& p, int index) {
    switch (index) {
    case kImageNew:
        DrawNew(p);
        break;
    case kImageOpen:
        DrawOpen(p);
        break;
    case kImageSave:
        DrawSave(p);
        break;
    case kImageCut:
        DrawCut(p);
        break;
    case kImageCopy:
        DrawCopy(p);
        break;
    case kImagePaste:
        DrawPaste(p);
        break;
    case kImageJoke:
        DrawJoke(p);
        break;
    case kImageStartAudio:
        DrawStartAudio(p);
        break;
    case kImageStopAudio:
        DrawStopAudio(p);
        break;
    case kImagePatchSelect:
        DrawPatchSelect(p);
        break;
    case kImagePrevPatch:
        Arrow(p, false);
        break;
    case kImageNextPatch:
        Arrow(p, true);
        break;
    case kImageCopyPatch:
        DrawCopyPatch(p);
        break;
    default:
        break;
    }
}

// The program icon on a square of `side` pixels: a sine wave over a panel with a knob.
QPixmap ProgramPicture(int side) {
    QPixmap picture(side, side);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 64.0, side / 64.0);
    QLinearGradient face(0, 0, 0, 64);
    face.setColorAt(0.0, kBlue.lighter(125));
    face.setColorAt(1.0, kBlue.darker(150));
    p.setPen(QPen(kInk, 2));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(3, 3, 58, 58), 12, 12);
    QPainterPath wave;
    for (int i = 0; i <= 40; ++i) {
        const qreal x = 10 + i;
        const qreal y = 24 - 10 * qSin(i / 40.0 * 2 * M_PI);
        if (i == 0)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(QPen(kInk, 2));
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(22, 46), 7, 7);
    p.drawEllipse(QPointF(42, 46), 7, 7);
    p.setPen(QPen(kRed, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(22, 46), QPointF(18, 41));
    p.drawLine(QPointF(42, 46), QPointF(47, 42));
    return picture;
}

} // namespace

QPixmap ToolbarImageStrip(qreal devicePixelRatio) {
    const QSize logical(kToolbarImageSize * kToolbarImageCount, kToolbarImageSize);
    QPixmap strip(QSize(qCeil(logical.width() * devicePixelRatio),
                        qCeil(logical.height() * devicePixelRatio)));
    strip.setDevicePixelRatio(devicePixelRatio);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < kToolbarImageCount; ++i) {
        p.save();
        p.translate(i * kToolbarImageSize, 0);
        p.setClipRect(QRect(0, 0, kToolbarImageSize, kToolbarImageSize));
        DrawImage(p, i);
        p.restore();
    }
    return strip;
}

QPixmap ToolbarImage(int index, qreal devicePixelRatio) {
    const int side = qCeil(kToolbarImageSize * devicePixelRatio);
    QPixmap image(side, side);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    if (index < 0 || index >= kToolbarImageCount) return image;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawImage(p, index);
    return image;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(ProgramPicture(side));
    return icon;
}

} // namespace tw
