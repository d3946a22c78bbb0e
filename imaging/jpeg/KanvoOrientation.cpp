#include "imaging/jpeg/KanvoOrientation.h"

#include <QTransform>

QImage uprightImage(QImage stored, kanvo::ui::ExifOrientation orientation) {
    // The mirror comes first, then a turn clockwise, each one of Qt's fast
    // whole-image paths.
    const bool mirror =
        orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7;
    const int clockwise = orientation == 3 || orientation == 4   ? 180
                          : orientation == 6 || orientation == 7 ? 90
                          : orientation == 5 || orientation == 8 ? 270
                                                                 : 0;
    if (mirror) {
        stored = stored.mirrored(true, false);
    }
    if (clockwise != 0) {
        stored = stored.transformed(QTransform().rotate(clockwise));
    }
    return stored;
}
