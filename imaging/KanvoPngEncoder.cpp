#include "imaging/KanvoPngEncoder.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>
#include <memory>
#include <spng.h>

namespace {

constexpr int bandRows = 64;

int writeTo(spng_ctx*, void* user, void* data, size_t length) {
    auto* out = static_cast<QIODevice*>(user);
    return out->write(static_cast<const char*>(data), qint64(length)) == qint64(length)
               ? 0
               : SPNG_IO_ERROR;
}

struct Shape {
    std::uint8_t colourType;
    QImage::Format format;
};

Shape shapeOf(KanvoPngEncoder::Channels channels) {
    switch (channels) {
    case KanvoPngEncoder::Channels::Grey:
        return {SPNG_COLOR_TYPE_GRAYSCALE, QImage::Format_Grayscale8};
    case KanvoPngEncoder::Channels::Rgb:
        return {SPNG_COLOR_TYPE_TRUECOLOR, QImage::Format_RGB888};
    case KanvoPngEncoder::Channels::Rgba:
        break;
    }
    return {SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, QImage::Format_RGBA8888};
}

bool setProfile(spng_ctx* encoder, const KanvoIccProfile& profile) {
    if (profile.isEmpty()) {
        return true;
    }
    spng_iccp iccp{};
    std::strcpy(iccp.profile_name, "ICC Profile");
    iccp.profile_len = size_t(profile.bytes().size());
    iccp.profile = const_cast<char*>(profile.bytes().constData());
    return spng_set_iccp(encoder, &iccp) == 0;
}

} // namespace

bool KanvoPngEncoder::write(QIODevice& out, QSize size, Channels channels,
                            const KanvoIccProfile& profile, const KanvoRowSource& rows) {
    const std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> encoder(
        spng_ctx_new(SPNG_CTX_ENCODER), spng_ctx_free);
    const Shape shape = shapeOf(channels);
    spng_ihdr header{};
    header.width = std::uint32_t(size.width());
    header.height = std::uint32_t(size.height());
    header.bit_depth = 8;
    header.color_type = shape.colourType;
    if (!encoder || spng_set_png_stream(encoder.get(), writeTo, &out) != 0 ||
        spng_set_ihdr(encoder.get(), &header) != 0 || !setProfile(encoder.get(), profile) ||
        spng_encode_image(encoder.get(), nullptr, 0, SPNG_FMT_PNG,
                          SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE) != 0) {
        return false;
    }
    for (int first = 0; first < size.height(); first += bandRows) {
        const int end = std::min(first + bandRows, size.height());
        const QImage band = rows(first, end).convertToFormat(shape.format);
        if (band.size() != QSize(size.width(), end - first)) {
            return false;
        }
        const size_t rowBytes = size_t(band.width()) * size_t(band.depth() / 8);
        for (int y = 0; y < band.height(); ++y) {
            // The last row also finishes the file: libspng says so with SPNG_EOI.
            const int result = spng_encode_row(encoder.get(), band.constScanLine(y), rowBytes);
            if (result != 0 && !(result == SPNG_EOI && first + y == size.height() - 1)) {
                return false;
            }
        }
    }
    return true;
}
