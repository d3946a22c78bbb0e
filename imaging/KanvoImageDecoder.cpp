#include "imaging/KanvoImageDecoder.h"

#include "imaging/KanvoJpegDecoder.h"
#include "imaging/KanvoPngDecoder.h"

#include <QFile>
#include <QImageReader>
#include <span>

namespace {

bool startsWith(std::span<const uchar> bytes, std::initializer_list<uchar> signature) {
    return bytes.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), bytes.begin());
}

QImage decodeWithQt(const QString& path) {
    // Qt's default refuses images over 128 MB, which a large photo exceeds
    // decoded; the check below keeps absurd headers out instead. The limit
    // is process-wide, so it is set once, not by each concurrent decode.
    static const bool limitLifted = [] {
        QImageReader::setAllocationLimit(int(KanvoImageDecoder::allocationLimitBytes >> 20));
        return true;
    }();
    (void)limitLifted;
    QImageReader reader(path);
    // The document's size comes from the stored header, so the pixels must
    // not be rotated by orientation metadata.
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && !KanvoImageDecoder::fitsAllocation(size.width(), size.height())) {
        return {};
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
}

QImage decodeMapped(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0) {
        return {};
    }
    // Mapping spares a copy of the compressed bytes; the codecs read them once.
    const uchar* mapped = file.map(0, file.size());
    if (mapped == nullptr) {
        return {};
    }
    const std::span<const uchar> bytes(mapped, size_t(file.size()));
    if (startsWith(bytes, {0xFF, 0xD8, 0xFF})) {
        return KanvoJpegDecoder::decode(bytes, KanvoImageDecoder::allocationLimitBytes);
    }
    if (startsWith(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) {
        return KanvoPngDecoder::decode(bytes, KanvoImageDecoder::allocationLimitBytes);
    }
    return {};
}

} // namespace

QImage KanvoImageDecoder::decodeFirstImage(const QString& path) {
    if (path.isEmpty()) {
        return {};
    }
    QImage image = decodeMapped(path);
    if (image.isNull()) {
        image = decodeWithQt(path);
    }
    // A "@2x" file name would otherwise halve the size the canvas fits.
    image.setDevicePixelRatio(1.0);
    return image;
}

QSize KanvoImageDecoder::storedSize(const QString& path) {
    return QImageReader(path).size();
}
