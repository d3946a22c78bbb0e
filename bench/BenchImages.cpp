#include "BenchImages.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <cmath>
#include <cstdint>
#include <turbojpeg.h>

namespace {

QString cachedPath(const QString& name) {
    const QString folder =
        qEnvironmentVariable("KANVO_BENCH_IMAGES", QDir::tempPath() + "/kanvo-bench-images");
    QDir().mkpath(folder);
    return folder + '/' + name;
}

QString sizeName(QSize size) {
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

bool writeJpeg(const QImage& image, const QString& path) {
    tjhandle encoder = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long length = 0;
    const bool encoded =
        tjCompress2(encoder, image.constBits(), image.width(), int(image.bytesPerLine()),
                    image.height(), TJPF_BGRX, &bytes, &length, TJSAMP_420, 90, 0) == 0;
    tjDestroy(encoder);
    QFile file(path);
    const bool written =
        encoded && file.open(QIODevice::WriteOnly) &&
        file.write(reinterpret_cast<const char*>(bytes), qint64(length)) == qint64(length);
    tjFree(bytes);
    return written;
}

} // namespace

bool BenchImages::smoke() {
    return qEnvironmentVariableIsSet("KANVO_BENCH_SMOKE");
}

QSize BenchImages::medium() {
    return smoke() ? QSize(600, 400) : QSize(6000, 4000);
}

QSize BenchImages::large() {
    return smoke() ? QSize(1224, 816) : QSize(12240, 8160);
}

QImage BenchImages::photoLike(QSize size, bool alpha) {
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    std::uint32_t noise = 2463534242u;
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int green = y * 255 / size.height();
        for (int x = 0; x < size.width(); ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int grain = int(noise & 31) - 16;
            const auto channel = [grain](int value) {
                return std::clamp(value + grain, 0, 255);
            };
            const int red = x * 255 / size.width();
            row[x] = qRgba(channel(red), channel(green),
                           channel((red + green) / 2 + 40 * ((x / 97 + y / 61) & 1)),
                           alpha ? std::clamp(128 + (red - green) / 2 + grain, 0, 255) : 255);
        }
    }
    return image;
}

QImage BenchImages::zonePlate(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    const double cx = size.width() / 2.0;
    const double cy = size.height() / 2.0;
    // Phase k r^2 with k chosen so the ring frequency reaches half a cycle a
    // pixel at the farthest corner.
    const double k = M_PI / (2.0 * std::hypot(cx, cy));
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            const int v = int(std::lround(127.5 + 127.5 * std::cos(k * r2)));
            row[x] = qRgb(v, v, v);
        }
    }
    return image;
}

QString BenchImages::jpeg(QSize size) {
    const QString path = cachedPath("photo-" + sizeName(size) + ".jpg");
    if (!QFileInfo::exists(path) && !writeJpeg(photoLike(size, false), path)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

QString BenchImages::png(QSize size, bool alpha) {
    const QString path =
        cachedPath("photo-" + sizeName(size) + (alpha ? "-rgba" : "-rgb") + ".png");
    if (!QFileInfo::exists(path) && !photoLike(size, alpha).save(path, "PNG")) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}
