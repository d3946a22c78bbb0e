#pragma once

// PNGs written by libspng's encoder, an implementation other than the
// decoders', for test fixtures.

#include <QByteArray>
#include <QImage>
#include <cstdlib>
#include <cstring>
#include <spng.h>

namespace kanvo::test {

// `image` as an 8-bit RGB PNG (RGBA when it has alpha), every row filtered by
// `filterChoice` (libspng's own choice when negative), with `profile` as its
// iCCP when given. Empty when libspng fails.
inline QByteArray spngEncoded(const QImage& image, int filterChoice = -1, QByteArray profile = {}) {
    const bool alpha = image.hasAlphaChannel();
    const QImage samples =
        image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    QByteArray rows;
    for (int y = 0; y < samples.height(); ++y) {
        rows.append(reinterpret_cast<const char*>(samples.constScanLine(y)),
                    samples.width() * (alpha ? 4 : 3));
    }
    spng_ctx* encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(encoder, SPNG_ENCODE_TO_BUFFER, 1);
    if (filterChoice >= 0) {
        spng_set_option(encoder, SPNG_FILTER_CHOICE, filterChoice);
    }
    spng_ihdr header{quint32(samples.width()),
                     quint32(samples.height()),
                     8,
                     quint8(alpha ? SPNG_COLOR_TYPE_TRUECOLOR_ALPHA : SPNG_COLOR_TYPE_TRUECOLOR),
                     0,
                     0,
                     0};
    spng_set_ihdr(encoder, &header);
    if (!profile.isEmpty()) {
        spng_iccp iccp{};
        std::strcpy(iccp.profile_name, "ICC profile");
        iccp.profile_len = size_t(profile.size());
        iccp.profile = profile.data();
        spng_set_iccp(encoder, &iccp);
    }
    int error = spng_encode_image(encoder, rows.constData(), size_t(rows.size()), SPNG_FMT_PNG,
                                  SPNG_ENCODE_FINALIZE);
    size_t length = 0;
    void* bytes = spng_get_png_buffer(encoder, &length, &error);
    const QByteArray file(static_cast<const char*>(bytes), qsizetype(length));
    std::free(bytes);
    spng_ctx_free(encoder);
    return error == 0 ? file : QByteArray();
}

} // namespace kanvo::test
