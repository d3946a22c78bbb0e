#pragma once

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
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

inline std::span<const uchar> spanOf(const QByteArray& bytes) {
    return {reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size())};
}

} // namespace kanvo::test
