#include "BenchImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio> // jpeglib.h uses FILE without including it
#include <jpeglib.h>
#include <memory>
#include <spng.h>
#include <turbojpeg.h>
#include <vector>

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

// The rows of photoLike() or bandedPhoto(), made one after another: the
// photo's row, then in the band its colour under a grain of its own.
class PhotoRows {
public:
    PhotoRows(QSize size, bool alpha, bool banded) : size_(size), alpha_(alpha), banded_(banded) {}

    void next(QRgb* row) {
        const int y = y_++;
        const int green = y * 255 / size_.height();
        for (int x = 0; x < size_.width(); ++x) {
            const int grain = photoGrain_.next();
            const auto channel = [grain](int value) {
                return std::clamp(value + grain, 0, 255);
            };
            const int red = x * 255 / size_.width();
            row[x] = qRgba(channel(red), channel(green),
                           channel((red + green) / 2 + 40 * ((x / 97 + y / 61) & 1)),
                           alpha_ ? std::clamp(128 + (red - green) / 2 + grain, 0, 255) : 255);
        }
        if (!banded_ || y < size_.height() * 35 / 100 || y >= size_.height() * 65 / 100) {
            return;
        }
        const QRgb band = BenchImages::bandColour();
        for (int x = 0; x < size_.width(); ++x) {
            const auto channel = [this](int value) {
                return std::clamp(value + bandGrain_.next(), 0, 255);
            };
            row[x] = qRgb(channel(qRed(band)), channel(qGreen(band)), channel(qBlue(band)));
        }
    }

private:
    QSize size_;
    bool alpha_;
    bool banded_;
    int y_ = 0;
    Grain photoGrain_;
    Grain bandGrain_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writeStreamedJpeg(QSize size, const QString& path) {
    const File file(std::fopen(QFile::encodeName(path).constData(), "wb"));
    if (!file) {
        return false;
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors); // a failure ends the bench, which is what it should do
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file.get());
    info.image_width = JDIMENSION(size.width());
    info.image_height = JDIMENSION(size.height());
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX; // QRgb in memory on a little-endian machine
    jpeg_set_defaults(&info);           // 4:2:0
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    PhotoRows rows(size, false, true);
    std::vector<QRgb> row(size_t(size.width()));
    while (info.next_scanline < info.image_height) {
        rows.next(row.data());
        JSAMPROW pointer = reinterpret_cast<JSAMPROW>(row.data());
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::ferror(file.get()) == 0;
}

bool writeStreamedPng(QSize size, const QString& path) {
    const File file(std::fopen(QFile::encodeName(path).constData(), "wb"));
    spng_ctx* encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    if (!file || encoder == nullptr) {
        spng_ctx_free(encoder);
        return false;
    }
    spng_ihdr header{};
    header.width = std::uint32_t(size.width());
    header.height = std::uint32_t(size.height());
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    bool written = spng_set_png_file(encoder, file.get()) == 0 &&
                   spng_set_ihdr(encoder, &header) == 0 &&
                   spng_encode_image(encoder, nullptr, 0, SPNG_FMT_PNG,
                                     SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE) == 0;
    PhotoRows rows(size, false, true);
    std::vector<QRgb> row(size_t(size.width()));
    std::vector<unsigned char> rgb(size_t(size.width()) * 3);
    for (int y = 0; written && y < size.height(); ++y) {
        rows.next(row.data());
        for (size_t x = 0; x < row.size(); ++x) {
            rgb[3 * x] = std::uint8_t(qRed(row[x]));
            rgb[3 * x + 1] = std::uint8_t(qGreen(row[x]));
            rgb[3 * x + 2] = std::uint8_t(qBlue(row[x]));
        }
        const int status = spng_encode_row(encoder, rgb.data(), rgb.size());
        written = status == 0 || (status == SPNG_EOI && y + 1 == size.height());
    }
    spng_ctx_free(encoder);
    return written && std::ferror(file.get()) == 0;
}

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

QSize BenchImages::veryLarge() {
    return smoke() ? QSize(2400, 1600) : QSize(24000, 16000);
}

QSize BenchImages::gigapixel() {
    return smoke() ? QSize(4000, 2500) : QSize(40000, 25000);
}

namespace {

QImage madePhoto(QSize size, bool alpha, bool banded) {
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    PhotoRows rows(size, alpha, banded);
    for (int y = 0; y < size.height(); ++y) {
        rows.next(reinterpret_cast<QRgb*>(image.scanLine(y)));
    }
    return image;
}

// A file of `name` in the images folder, made by `write(path)` on first
// use; a run stopped while writing leaves no file behind under that name.
template <class Write> QString madeOnce(const QString& name, Write&& write) {
    const QString path = cachedPath(name);
    if (!QFileInfo::exists(path)) {
        const QString partial = path + ".part";
        if (!write(partial) || !QFile::rename(partial, path)) {
            qFatal("cannot write %s", qPrintable(path));
        }
    }
    return path;
}

} // namespace

QImage BenchImages::photoLike(QSize size, bool alpha) {
    return madePhoto(size, alpha, false);
}

QRgb BenchImages::bandColour() {
    return qRgb(40, 184, 112);
}

QImage BenchImages::bandedPhoto(QSize size) {
    return madePhoto(size, false, true);
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
    return madeOnce("photo-" + sizeName(size) + ".jpg", [size](const QString& path) {
        return writeJpeg(photoLike(size, false), path);
    });
}

QString BenchImages::png(QSize size, bool alpha) {
    return madeOnce(
        "photo-" + sizeName(size) + (alpha ? "-rgba" : "-rgb") + ".png",
        [size, alpha](const QString& path) { return photoLike(size, alpha).save(path, "PNG"); });
}

QString BenchImages::bandedJpeg(QSize size) {
    return madeOnce("band-" + sizeName(size) + ".jpg",
                    [size](const QString& path) { return writeJpeg(bandedPhoto(size), path); });
}

QString BenchImages::bandedPng(QSize size) {
    return madeOnce("band-" + sizeName(size) + ".png",
                    [size](const QString& path) { return bandedPhoto(size).save(path, "PNG"); });
}

QString BenchImages::streamedBandedJpeg(QSize size) {
    return madeOnce("band-" + sizeName(size) + "-streamed.jpg",
                    [size](const QString& path) { return writeStreamedJpeg(size, path); });
}

QString BenchImages::streamedBandedPng(QSize size) {
    return madeOnce("band-" + sizeName(size) + "-streamed.png",
                    [size](const QString& path) { return writeStreamedPng(size, path); });
}

QString BenchImages::taggedJpeg(QSize size) {
    return madeOnce("photo-" + sizeName(size) + "-wide-gamut.jpg", [size](const QString& path) {
        if (!QFileInfo::exists(iccProfilePath)) {
            qFatal("no %s: scripts/install-deps.sh installs colord-data", iccProfilePath);
        }
        QByteArray bytes = readBytes(jpeg(size));
        bytes.insert(afterJfif(bytes), iccSegments(readBytes(iccProfilePath)));
        return writeBytes(bytes, path);
    });
}
