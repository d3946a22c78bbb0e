#include "PixelDifference.h"

#include <algorithm>
#include <cstdlib>

QString PixelDifference::describe() const {
    if (!sameSize()) {
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actualSize.width())
            .arg(actualSize.height())
            .arg(expectedSize.width())
            .arg(expectedSize.height());
    }
    return QStringLiteral("max %1, mean %2 levels").arg(maximum).arg(mean, 0, 'f', 2);
}

namespace {

// Formats read as premultiplied pixels without a conversion pass over the
// whole image: an opaque pixel is the same either way, and ARGB32 is
// premultiplied pixel by pixel. Decoded images and references are in these.
bool readsDirectly(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

QImage readable(const QImage& image) {
    return readsDirectly(image.format())
               ? image
               : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QRgb premultipliedPixel(QRgb pixel, bool unpremultiplied) {
    return unpremultiplied ? qPremultiply(pixel) : pixel;
}

} // namespace

PixelDifference PixelComparison::compare(const QImage& actual, const QImage& expected) {
    PixelDifference difference{actual.size(), expected.size()};
    if (!difference.sameSize() || actual.isNull()) {
        return difference;
    }
    const QImage left = readable(actual);
    const QImage right = readable(expected);
    const bool leftStraight = left.format() == QImage::Format_ARGB32;
    const bool rightStraight = right.format() == QImage::Format_ARGB32;
    const int width = left.width();
    const int height = left.height();
    qint64 sum = 0;
    for (int y = 0; y < height; ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(left.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(right.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = premultipliedPixel(a[x], leftStraight);
            const QRgb q = premultipliedPixel(b[x], rightStraight);
            const int red = std::abs(qRed(p) - qRed(q));
            const int green = std::abs(qGreen(p) - qGreen(q));
            const int blue = std::abs(qBlue(p) - qBlue(q));
            const int alpha = std::abs(qAlpha(p) - qAlpha(q));
            sum += red + green + blue;
            difference.maximum = std::max({difference.maximum, red, green, blue, alpha});
        }
    }
    difference.mean = double(sum) / (3.0 * width * height);
    return difference;
}

QImage PixelComparison::upright(const QImage& stored, int tag) {
    if (tag < 2 || tag > 8) {
        return stored;
    }
    const int w = stored.width();
    const int h = stored.height();
    const bool swapsSides = tag >= 5;
    const QImage source = stored.convertToFormat(QImage::Format_ARGB32);
    const auto* pixels = reinterpret_cast<const QRgb*>(source.constBits());
    const qsizetype pixelsPerLine = source.bytesPerLine() / qsizetype(sizeof(QRgb));
    QImage result(swapsSides ? h : w, swapsSides ? w : h, QImage::Format_ARGB32);
    const int resultWidth = result.width();
    for (int y = 0; y < result.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < resultWidth; ++x) {
            // The stored pixel that lands on (x, y) once upright.
            int sx = x;
            int sy = y;
            switch (tag) {
            case 2: // mirrored left to right
                sx = w - 1 - x;
                break;
            case 3: // turned half round
                sx = w - 1 - x;
                sy = h - 1 - y;
                break;
            case 4: // mirrored top to bottom
                sy = h - 1 - y;
                break;
            case 5: // mirrored about the main diagonal
                sx = y;
                sy = x;
                break;
            case 6: // to be turned a quarter clockwise
                sx = y;
                sy = h - 1 - x;
                break;
            case 7: // mirrored about the other diagonal
                sx = w - 1 - y;
                sy = h - 1 - x;
                break;
            case 8: // to be turned a quarter anticlockwise
                sx = w - 1 - y;
                sy = x;
                break;
            default:
                break;
            }
            row[x] = pixels[sy * pixelsPerLine + sx];
        }
    }
    return result;
}
