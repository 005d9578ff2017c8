#include "app/toolbar_icons.h"

#include <QPainter>

namespace tw {

QPixmap ToolbarImageStrip(qreal devicePixelRatio) {
    QPixmap strip(QSize(kToolbarImageSize * kToolbarImageCount, kToolbarImageSize) *
                  devicePixelRatio);
    strip.setDevicePixelRatio(devicePixelRatio);
    strip.fill(Qt::transparent);
    return strip;
}

QPixmap ToolbarImage(int index, qreal devicePixelRatio) {
    const QPixmap strip = ToolbarImageStrip(devicePixelRatio);
    const int side = qRound(kToolbarImageSize * devicePixelRatio);
    QPixmap image = strip.copy(index * side, 0, side, side);
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

QIcon ProgramIcon() {
    return QIcon(ToolbarImageStrip().copy(0, 0, 27, 27));
}

} // namespace tw
