#include "canvas/KanvoImageDecoder.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <memory>
#include <span>
#include <spng.h>
#include <turbojpeg.h>

namespace {

bool fitsAllocationLimit(qint64 width, qint64 height) {
    return width > 0 && height > 0 && width * height * 4 <= KanvoImageDecoder::allocationLimitBytes;
}

bool startsWith(std::span<const uchar> bytes, std::initializer_list<uchar> signature) {
    return bytes.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), bytes.begin());
}

// TurboJPEG's BGRX is QImage's RGB32 in memory on a little-endian machine,
// and XRGB on a big-endian one; the pad byte is written as 0xFF.
constexpr int turboPixelFormat =
    QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;

QImage decodeJpeg(std::span<const uchar> file) {
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (!decoder ||
        tjDecompressHeader3(decoder.get(), file.data(), static_cast<unsigned long>(file.size()),
                            &width, &height, &subsampling, &colorspace) != 0 ||
        colorspace == TJCS_CMYK || colorspace == TJCS_YCCK || !fitsAllocationLimit(width, height)) {
        return {};
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull() ||
        tjDecompress2(decoder.get(), file.data(), static_cast<unsigned long>(file.size()),
                      image.bits(), width, static_cast<int>(image.bytesPerLine()), height,
                      turboPixelFormat, 0) != 0) {
        return {};
    }
    return image;
}

// libspng writes RGBA bytes: opaque images become RGBX8888 and the others
// RGBA8888, both drawn by Qt as they are.
QImage decodePng(std::span<const uchar> file) {
    const std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> decoder(spng_ctx_new(0), spng_ctx_free);
    spng_ihdr header{};
    if (!decoder || spng_set_png_buffer(decoder.get(), file.data(), file.size()) != 0 ||
        spng_get_ihdr(decoder.get(), &header) != 0 ||
        !fitsAllocationLimit(header.width, header.height)) {
        return {};
    }
    spng_trns transparency{};
    const bool hasAlpha = header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                          header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                          spng_get_trns(decoder.get(), &transparency) == 0;
    QImage image(int(header.width), int(header.height),
                 hasAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    size_t size = 0;
    if (image.isNull() || spng_decoded_image_size(decoder.get(), SPNG_FMT_RGBA8, &size) != 0 ||
        size != size_t(image.sizeInBytes()) ||
        spng_decode_image(decoder.get(), image.bits(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) !=
            0) {
        return {};
    }
    return image;
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
    if (size.isValid() && !fitsAllocationLimit(size.width(), size.height())) {
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
        return decodeJpeg(bytes);
    }
    if (startsWith(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) {
        return decodePng(bytes);
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
