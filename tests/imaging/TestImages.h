#pragma once

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QRandomGenerator>
#include <QRect>
#include <span>

namespace kanvo::test {

// Gradients under noise, so the codecs have real detail to keep. Written a
// row at a time: the threads test runs under ThreadSanitizer.
inline QImage photoLike(QSize size, bool alpha = false, quint32 seed = 7) {
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QRandomGenerator noise(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(noise.bounded(24));
            row[x] = qRgba((x * 255 / size.width() + n) % 256, (y * 255 / size.height() + n) % 256,
                           (x + y + n) % 256, alpha ? (x * 7 + y) % 256 : 255);
        }
    }
    return image;
}

// An ICC profile with sRGB's red and blue primaries and a greener green.
inline QByteArray wideGamutProfile() {
    return QColorSpace(QPointF(0.3127, 0.3290), QPointF(0.64, 0.33), QPointF(0.21, 0.71),
                       QPointF(0.15, 0.06), QColorSpace::TransferFunction::Gamma, 2.2f)
        .iccProfile();
}

// `image` in `format` at quality 90, as Qt's writer writes it.
inline QByteArray encoded(const QImage& image, const char* format, bool progressive = false) {
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    QImageWriter writer(&file, format);
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return file.data();
}

// The areas a region of an image of `size` must get right: the whole, each
// corner and a pixel inside as single pixels, the outer rows and columns,
// blocks across the middle, then a dozen anywhere.
inline QList<QRect> areasToCheck(QSize size, quint32 seed) {
    const int w = size.width();
    const int h = size.height();
    QList<QRect> areas = {{0, 0, w, h},
                          {0, 0, 1, 1},
                          {w - 1, 0, 1, 1},
                          {0, h - 1, 1, 1},
                          {w - 1, h - 1, 1, 1},
                          {w / 3, h / 3, 1, 1},
                          {0, 0, w, 1},
                          {0, h - 1, w, 1},
                          {0, 0, 1, h},
                          {w - 1, 0, 1, h},
                          {w / 2, 0, w - w / 2, (h + 1) / 2},
                          {w / 3, h / 4, w / 2 + 1, h / 2 + 1}};
    QRandomGenerator random(seed);
    for (int i = 0; i < 12; ++i) {
        const int x = int(random.bounded(w));
        const int y = int(random.bounded(h));
        areas.append(QRect(x, y, 1 + int(random.bounded(w - x)), 1 + int(random.bounded(h - y))));
    }
    return areas;
}

// Whether `bytes` went into the file at `path` whole.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The contents of the file at `path`; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "x,y wxh": an area, as a failure names it.
inline QString areaText(QRect area) {
    return QStringLiteral("%1,%2 %3x%4")
        .arg(area.x())
        .arg(area.y())
        .arg(area.width())
        .arg(area.height());
}

inline std::span<const uchar> spanOf(const QByteArray& bytes) {
    return {reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size())};
}

} // namespace kanvo::test
