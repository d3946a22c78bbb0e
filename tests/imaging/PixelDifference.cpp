#include "PixelDifference.h"

#include <QTransform>
#include <algorithm>
#include <cstdlib>

QString sizeText(QSize size) {
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QString PixelDifference::describe() const {
    return sameSize() ? QStringLiteral("max %1, mean %2 levels").arg(maximum).arg(mean, 0, 'f', 2)
                      : QStringLiteral("size %1, expected %2")
                            .arg(sizeText(actualSize), sizeText(expectedSize));
}

PixelDifference PixelComparison::compare(const QImage& actual, const QImage& expected) {
    PixelDifference difference{actual.size(), expected.size()};
    if (!difference.sameSize() || actual.isNull()) {
        return difference;
    }
    const QImage left = actual.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage right = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    qint64 sum = 0;
    for (int y = 0; y < left.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(left.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(right.constScanLine(y));
        for (int x = 0; x < left.width(); ++x) {
            const int red = std::abs(qRed(a[x]) - qRed(b[x]));
            const int green = std::abs(qGreen(a[x]) - qGreen(b[x]));
            const int blue = std::abs(qBlue(a[x]) - qBlue(b[x]));
            const int alpha = std::abs(qAlpha(a[x]) - qAlpha(b[x]));
            sum += red + green + blue;
            difference.maximum = std::max({difference.maximum, red, green, blue, alpha});
        }
    }
    difference.mean = double(sum) / (3.0 * left.width() * left.height());
    return difference;
}

// Each tag is a number of quarter turns clockwise, then for 2, 4, 5 and 7 a
// mirror left to right.
QImage PixelComparison::upright(const QImage& stored, int tag) {
    if (tag < 2 || tag > 8) {
        return stored;
    }
    constexpr int quarterTurns[9] = {0, 0, 0, 2, 2, 1, 1, 3, 3};
    const bool mirrored = tag == 2 || tag == 4 || tag == 5 || tag == 7;
    const QImage turned = stored.transformed(QTransform().rotate(90 * quarterTurns[tag]));
    return mirrored ? turned.mirrored(true, false) : turned;
}
