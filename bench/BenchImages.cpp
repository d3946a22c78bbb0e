#include "BenchImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <turbojpeg.h>

namespace {

// NTSC RGB is a matrix-and-curves profile with a gamut wider than sRGB's, like
// the wide-gamut ones cameras and phones embed.
constexpr const char* iccProfilePath = "/usr/share/color/icc/colord/NTSC-RGB.icc";

// Per-pixel noise of -16 to 15 from a xorshift generator: photographic
// entropy for the encoders, the same on every run.
class Grain {
public:
    int next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return int(state_ & 31) - 16;
    }

private:
    std::uint32_t state_ = 2463534242u;
};

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

bool writeBytes(const QByteArray& bytes, const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read %s", qPrintable(path));
    }
    return file.readAll();
}

// The profile as JPEG APP2 "ICC_PROFILE" segments of at most 65519 bytes
// of profile each, numbered from 1.
QByteArray iccSegments(const QByteArray& profile) {
    constexpr qsizetype chunk = 65519;
    const int count = int((profile.size() + chunk - 1) / chunk);
    QByteArray segments;
    for (int i = 0; i < count; ++i) {
        const QByteArray part = profile.mid(i * chunk, chunk);
        const qsizetype length = 2 + 12 + 2 + part.size();
        segments += char(0xFF);
        segments += char(0xE2);
        segments += char(length >> 8);
        segments += char(length & 0xFF);
        segments += QByteArray("ICC_PROFILE", 12); // with its terminating zero
        segments += char(i + 1);
        segments += char(count);
        segments += part;
    }
    return segments;
}

// Just after the start-of-image marker and the JFIF APP0 segment, if any.
qsizetype afterJfif(const QByteArray& jpeg) {
    const auto byte = [&jpeg](qsizetype at) {
        return int(uchar(jpeg.at(at)));
    };
    if (jpeg.size() > 6 && byte(2) == 0xFF && byte(3) == 0xE0) {
        return 4 + (byte(4) << 8 | byte(5));
    }
    return 2;
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
    Grain noise;
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int green = y * 255 / size.height();
        for (int x = 0; x < size.width(); ++x) {
            const int grain = noise.next();
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

QRgb BenchImages::bandColour() {
    return qRgb(40, 184, 112);
}

QImage BenchImages::bandedPhoto(QSize size) {
    QImage image = photoLike(size, false);
    Grain noise;
    const QRgb band = bandColour();
    for (int y = size.height() * 35 / 100; y < size.height() * 65 / 100; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const auto channel = [&noise](int value) {
                return std::clamp(value + noise.next(), 0, 255);
            };
            row[x] = qRgb(channel(qRed(band)), channel(qGreen(band)), channel(qBlue(band)));
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

QString BenchImages::bandedJpeg(QSize size) {
    const QString path = cachedPath("band-" + sizeName(size) + ".jpg");
    if (!QFileInfo::exists(path) && !writeJpeg(bandedPhoto(size), path)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

QString BenchImages::bandedPng(QSize size) {
    const QString path = cachedPath("band-" + sizeName(size) + ".png");
    if (!QFileInfo::exists(path) && !bandedPhoto(size).save(path, "PNG")) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

QString BenchImages::taggedJpeg(QSize size) {
    const QString path = cachedPath("photo-" + sizeName(size) + "-wide-gamut.jpg");
    if (QFileInfo::exists(path)) {
        return path;
    }
    if (!QFileInfo::exists(iccProfilePath)) {
        qFatal("no %s: scripts/install-deps.sh installs colord-data", iccProfilePath);
    }
    QByteArray bytes = readBytes(jpeg(size));
    bytes.insert(afterJfif(bytes), iccSegments(readBytes(iccProfilePath)));
    if (!writeBytes(bytes, path)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}
