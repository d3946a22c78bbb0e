#include "imaging/KanvoImageFile.h"

#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoHugePages.h"
#include "imaging/KanvoPngChunks.h"
#include "imaging/KanvoPngDecoder.h"
#include "imaging/KanvoReduction.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <span>
#include <thread>

namespace {

// Enough of a file to find its size: a PNG's signature and header chunk, a
// PPM's header with a few comments.
constexpr qint64 headerPeekBytes = 4096;

std::span<const uchar> spanOf(const QByteArray& bytes) {
    return {reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size())};
}

// Qt's built-in readers (PPM, and PNG on libpng), asked for by name so no
// plugin is loaded.
QImageReader qtReader(QBuffer& buffer, const char* format) {
    // Qt's default refuses images over 128 MB, which a large photo exceeds
    // decoded; KanvoAllocation::fits keeps absurd headers out instead, so
    // Qt's own limit is lifted. It is process-wide: set once, not by each
    // concurrent decode.
    static const bool limitLifted = [] {
        QImageReader::setAllocationLimit(0);
        return true;
    }();
    (void)limitLifted;
    return QImageReader(&buffer, format);
}

KanvoDecodedPixels decodeWithQt(const QByteArray& bytes, const char* format) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader = qtReader(buffer, format);
    const QSize size = reader.size();
    if (!size.isValid() ||
        !KanvoAllocation::fits(size.width(), size.height(), KanvoAllocation::largestImageBytes())) {
        return {};
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    // The profile travels beside the pixels, as from every other decoder, so
    // neither Qt's drawing nor its writer acts on it a second time.
    const QByteArray profile = image.colorSpace().iccProfile();
    image.setColorSpace(QColorSpace());
    return {image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_RGBA8888
                                                          : QImage::Format_RGBX8888),
            profile};
}

QSize ppmSize(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    return qtReader(buffer, "ppm").size();
}

// `length` bytes of `path` from `offset` into `target`; how many arrived.
qint64 readPart(const QString& path, qint64 offset, qint64 length, char* target) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset)) {
        return 0;
    }
    qint64 done = 0;
    while (done < length) {
        const qint64 got = file.read(target + done, length - done);
        if (got <= 0) {
            break;
        }
        done += got;
    }
    return done;
}

// The whole file, its two halves read on two cores at once: most of a read's
// time goes to the first touch of the new memory, which threads share out.
// A file that shrinks meanwhile comes back as far as it could be read.
QByteArray readWholeFile(const QString& path, qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    KanvoHugePages::advise(bytes.data(), size_t(size));
    const qint64 half = size / 2;
    qint64 secondHalf = 0;
    {
        const std::jthread second(
            [&] { secondHalf = readPart(path, half, size - half, bytes.data() + half); });
        const qint64 firstHalf = readPart(path, 0, half, bytes.data());
        if (firstHalf < half) {
            return bytes.left(firstHalf);
        }
    }
    bytes.truncate(half + secondHalf);
    return bytes;
}

} // namespace

KanvoImageFile::KanvoImageFile(const QString& path) : path_(path) {
    QFile file(path);
    // A FIFO would block the read until a writer came.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    fileSize_ = file.size();
    // A PNG or PPM too large to hold decoded is read from disk by its
    // tiles: only a PNG's chunks before its image data are held.
    const QByteArray start = file.peek(headerPeekBytes);
    const KanvoImageFormat format = detectImageFormat(spanOf(start));
    const QSize size = format == KanvoImageFormat::Png ? KanvoPngDecoder::storedSize(spanOf(start))
                       : format == KanvoImageFormat::Ppm ? ppmSize(start)
                                                         : QSize();
    if (size.isValid() &&
        !KanvoAllocation::fits(size.width(), size.height(), KanvoAllocation::largestImageBytes())) {
        bytes_ = format == KanvoImageFormat::Png ? KanvoPngChunks::readHead(file) : start;
        format_ = bytes_.isEmpty() ? KanvoImageFormat::Unknown : format;
        uprightSize_ = bytes_.isEmpty() ? QSize() : size;
        return;
    }
    // Any other file larger than the image budget is refused before it fills
    // memory.
    if (fileSize_ > KanvoAllocation::budgetBytes()) {
        return;
    }
    file.close();
    bytes_ = readWholeFile(path, fileSize_);
    format_ = detectImageFormat(spanOf(bytes_));
    switch (format_) {
    case KanvoImageFormat::Jpeg:
        uprightSize_ = KanvoJpegDecoder::readHeader(spanOf(bytes_)).uprightSize();
        break;
    case KanvoImageFormat::Png:
        uprightSize_ = KanvoPngDecoder::storedSize(spanOf(bytes_));
        break;
    case KanvoImageFormat::Ppm:
        uprightSize_ = ppmSize(bytes_);
        break;
    case KanvoImageFormat::Unknown:
        break;
    }
}

int KanvoImageFile::reductionCovering(QSize devicePixels) const {
    if (format_ != KanvoImageFormat::Jpeg || !uprightSize_.isValid()) {
        return 1;
    }
    for (int reduction : {8, 4, 2}) {
        const QSize reduced = reducedSize(uprightSize_, reduction);
        if (reduced.width() >= devicePixels.width() && reduced.height() >= devicePixels.height()) {
            return reduction;
        }
    }
    return 1;
}

bool KanvoImageFile::isDecompressionBomb() const {
    constexpr qint64 largestUnquestioned = qint64(64) << 20;
    constexpr qint64 largestRatio = 1000;
    if (!uprightSize_.isValid()) {
        return false;
    }
    const qint64 decodedBytes = qint64(uprightSize_.width()) * uprightSize_.height() * 4;
    return decodedBytes > largestUnquestioned && decodedBytes / largestRatio > fileSize_;
}

KanvoDecodedPixels KanvoImageFile::decode(int reduction) const {
    KanvoDecodedPixels decoded;
    if (isDecompressionBomb()) {
        return decoded;
    }
    switch (format_) {
    case KanvoImageFormat::Jpeg:
        decoded = KanvoJpegDecoder::decode(spanOf(bytes_), KanvoAllocation::largestImageBytes(),
                                           reduction);
        break;
    case KanvoImageFormat::Png:
        decoded = KanvoPngDecoder::decode(spanOf(bytes_), KanvoAllocation::largestImageBytes());
        // libspng refuses a few files libpng only warns about (an empty
        // ancillary chunk); libpng, the reference, decides those.
        if (decoded.image.isNull() && KanvoPngDecoder::chunksLieWithinFile(spanOf(bytes_))) {
            decoded = decodeWithQt(bytes_, "png");
        }
        break;
    case KanvoImageFormat::Ppm:
        decoded = decodeWithQt(bytes_, "ppm");
        break;
    case KanvoImageFormat::Unknown:
        break;
    }
    // A "@2x" file name would otherwise halve the size the canvas fits.
    decoded.image.setDevicePixelRatio(1.0);
    return decoded;
}
