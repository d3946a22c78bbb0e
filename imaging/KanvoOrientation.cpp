#include "imaging/KanvoOrientation.h"

namespace {

bool mirrors(kanvo::ui::ExifOrientation orientation) {
    return orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7;
}

int clockwiseDegrees(kanvo::ui::ExifOrientation orientation) {
    return orientation == 3 || orientation == 4   ? 180
           : orientation == 6 || orientation == 7 ? 90
           : orientation == 5 || orientation == 8 ? 270
                                                  : 0;
}

} // namespace

QImage uprightImage(QImage stored, kanvo::ui::ExifOrientation orientation) {
    // The mirror comes first, then a turn clockwise, each one of Qt's fast
    // whole-image paths.
    if (mirrors(orientation)) {
        stored = stored.mirrored(true, false);
    }
    if (const int clockwise = clockwiseDegrees(orientation); clockwise != 0) {
        stored = stored.transformed(QTransform().rotate(clockwise));
    }
    return stored;
}

QTransform uprightTransform(QSize storedSize, kanvo::ui::ExifOrientation orientation) {
    QTransform transform;
    if (mirrors(orientation)) {
        transform = QTransform(-1, 0, 0, 1, storedSize.width(), 0);
    }
    transform *= QTransform().rotate(clockwiseDegrees(orientation));
    // Like QImage::transformed, the turned image starts at the origin.
    const QRectF turned = transform.mapRect(QRectF(QPointF(0, 0), QSizeF(storedSize)));
    return transform * QTransform::fromTranslate(-turned.x(), -turned.y());
}
