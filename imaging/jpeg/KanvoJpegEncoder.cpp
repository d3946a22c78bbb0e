#include "imaging/jpeg/KanvoJpegEncoder.h"

#include <QIODevice>
#include <array>
#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE without including it
#include <jpeglib.h>
#include <vector>

namespace {

constexpr int bandRows = 64;
constexpr int qtDefaultQuality = 75;

// Everything the encode touches after setjmp lives here, made before it, so
// that libjpeg's jump out on an error skips no destructor.
struct Encoder {
    struct ErrorManager {
        jpeg_error_mgr base;
        std::jmp_buf exit;
    };
    struct Destination {
        jpeg_destination_mgr base;
        QIODevice* out;
        bool failed;
        std::array<JOCTET, 1 << 16> buffer;
    };
    jpeg_compress_struct info;
    ErrorManager errors;
    Destination destination;
    QImage band;
    std::vector<JSAMPROW> rows;
};

[[noreturn]] void exitOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<Encoder::ErrorManager*>(info->err)->exit, 1);
}

void ignoreMessage(j_common_ptr, int) {}

Encoder::Destination& destinationOf(j_compress_ptr info) {
    return *reinterpret_cast<Encoder::Destination*>(info->dest);
}

void flush(Encoder::Destination& destination, size_t bytes) {
    if (destination.out->write(reinterpret_cast<const char*>(destination.buffer.data()),
                               qint64(bytes)) != qint64(bytes)) {
        destination.failed = true;
    }
}

void startDestination(j_compress_ptr info) {
    Encoder::Destination& destination = destinationOf(info);
    destination.base.next_output_byte = destination.buffer.data();
    destination.base.free_in_buffer = destination.buffer.size();
}

boolean emptyDestination(j_compress_ptr info) {
    flush(destinationOf(info), destinationOf(info).buffer.size());
    startDestination(info);
    return TRUE;
}

void endDestination(j_compress_ptr info) {
    Encoder::Destination& destination = destinationOf(info);
    flush(destination, destination.buffer.size() - destination.base.free_in_buffer);
}

} // namespace

bool KanvoJpegEncoder::write(QIODevice& out, QSize size, bool grey, const KanvoIccProfile& profile,
                             const KanvoRowSource& rows) {
    Encoder encoder{};
    if (setjmp(encoder.errors.exit) != 0) {
        jpeg_destroy_compress(&encoder.info);
        return false;
    }
    encoder.info.err = jpeg_std_error(&encoder.errors.base);
    encoder.errors.base.error_exit = exitOnError;
    encoder.errors.base.emit_message = ignoreMessage;
    jpeg_create_compress(&encoder.info);
    encoder.destination.out = &out;
    encoder.destination.base.init_destination = startDestination;
    encoder.destination.base.empty_output_buffer = emptyDestination;
    encoder.destination.base.term_destination = endDestination;
    encoder.info.dest = &encoder.destination.base;
    encoder.info.image_width = JDIMENSION(size.width());
    encoder.info.image_height = JDIMENSION(size.height());
    encoder.info.input_components = grey ? 1 : 3;
    encoder.info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&encoder.info);
    jpeg_set_quality(&encoder.info, qtDefaultQuality, TRUE);
    jpeg_start_compress(&encoder.info, TRUE);
    if (!profile.isEmpty() && profile.bytes().size() <= largestProfileBytes) {
        jpeg_write_icc_profile(&encoder.info,
                               reinterpret_cast<const JOCTET*>(profile.bytes().constData()),
                               unsigned(profile.bytes().size()));
    }
    const QImage::Format format = grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888;
    for (int first = 0; first < size.height() && !encoder.destination.failed; first += bandRows) {
        const int end = std::min(first + bandRows, size.height());
        encoder.band = rows(first, end).convertToFormat(format);
        if (encoder.band.size() != QSize(size.width(), end - first)) {
            jpeg_destroy_compress(&encoder.info);
            return false;
        }
        encoder.rows.resize(size_t(end - first));
        for (int y = 0; y < end - first; ++y) {
            encoder.rows[size_t(y)] = encoder.band.scanLine(y);
        }
        jpeg_write_scanlines(&encoder.info, encoder.rows.data(), JDIMENSION(end - first));
    }
    if (encoder.destination.failed) {
        jpeg_destroy_compress(&encoder.info);
        return false;
    }
    jpeg_finish_compress(&encoder.info);
    jpeg_destroy_compress(&encoder.info);
    return !encoder.destination.failed;
}
