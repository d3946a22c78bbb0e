#pragma once

// Byte builders for files made to hurt an image viewer: headers that claim
// absurd sizes, decompression bombs, zero sizes, truncated streams.

#include "PngChunks.h"
#include "image_bytes.h"

#include <QByteArray>
#include <QtEndian>
#include <zlib.h>

namespace hostile {

using kanvo::test::pngChunk;

// The zlib stream of `rows` rows of `rowBytes` zero bytes each, compressed
// as hard as zlib can: about a thousandth of their size.
inline QByteArray zeroRowsCompressed(qsizetype rowBytes, qsizetype rows) {
    z_stream stream{};
    deflateInit(&stream, 9);
    QByteArray row(rowBytes, '\0');
    QByteArray out;
    QByteArray buffer(1 << 16, '\0');
    for (qsizetype y = 0; y < rows; ++y) {
        stream.next_in = reinterpret_cast<Bytef*>(row.data());
        stream.avail_in = uInt(row.size());
        const int flush = y + 1 == rows ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, flush);
            out.append(buffer.constData(), buffer.size() - qsizetype(stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

// A complete PNG around the zlib stream `imageData`: 8-bit RGB, or with
// `bilevel` 1-bit grey, eight pixels a byte.
inline QByteArray png(quint32 width, quint32 height, const QByteArray& imageData,
                      bool bilevel = false) {
    QByteArray header =
        QByteArray(8, '\0') + QByteArray(bilevel ? "\x01\0\0\0\0" : "\x08\x02\0\0\0", 5);
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", imageData) + pngChunk("IEND", {});
}

// A PNG of `width` x `height` black pixels (each row a zero filter byte and
// three zero bytes a pixel).
inline QByteArray blackPng(quint32 width, quint32 height) {
    return png(width, height, zeroRowsCompressed(1 + 3 * qsizetype(width), height));
}

// A decompression bomb: `width` x `height` black pixels at one bit a pixel,
// a thousandth of that in the file, four bytes a pixel once decoded.
inline QByteArray bilevelBomb(quint32 width, quint32 height) {
    return png(width, height, zeroRowsCompressed(1 + (qsizetype(width) + 7) / 8, height), true);
}

// A PNG that claims `width` x `height` but holds 64 bytes of image data.
inline QByteArray pngClaiming(quint32 width, quint32 height) {
    return png(width, height, zeroRowsCompressed(64, 1));
}

// A baseline JPEG frame of `width` x `height` (one grey component), with
// tables and the start of a scan but no more than `scanBytes` of its data:
// libjpeg decodes it with a warning and fills the missing rows with grey.
inline QByteArray truncatedJpeg(quint16 width, quint16 height, int scanBytes = 16) {
    using namespace kanvo::test;
    // One quantisation table of ones; one DC and one AC Huffman table, each
    // with a single one-bit code for symbol 0.
    const std::string oneCode = "\x01"s + std::string(16, '\0');
    return QByteArray::fromStdString(jpegStart + jpegSegment(0xDB, '\0' + std::string(64, '\x01')) +
                                     jpegSegment(0xC4, '\0' + oneCode + '\x10' + oneCode) +
                                     jpegSegment(0xC0, jpegFrameBody(width, height)) +
                                     jpegSegment(0xDA, "\x01\x01\0\0\x3F\0"s) +
                                     std::string(size_t(scanBytes), '\0'));
}

} // namespace hostile
