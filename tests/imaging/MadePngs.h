#pragma once

// PNGs of any colour type and bit depth, written here so that the rows'
// filters, the deflate blocks and the IDAT chunks are all chosen: zlib's
// partial flushes end a block every few rows, at bit positions within a
// byte, so checkpoints land mid-row and mid-byte.

#include "PngChunks.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QtEndian>
#include <zlib.h>

namespace kanvo::test {

struct PngKind {
    int colourType = 2; // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    int depth = 8;
    bool transparency = false; // tRNS: a colour key, or palette alphas
    int width = 37;
    int height = 29;
    int rowsPerBlock = 3;
    int chunkBytes = 200;
    bool interlaced = false;
};

inline int bitsPerPixel(const PngKind& kind) {
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    return channels[kind.colourType] * kind.depth;
}

// Rows of smooth samples under a little noise, each with the next filter in
// turn, as zlib compresses them with a block ending every few rows.
inline QByteArray madeStream(const PngKind& kind, const QByteArray& rows, qsizetype stride) {
    z_stream stream{};
    deflateInit(&stream, 6);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(rows.size()))) +
                       64 * (rows.size() / stride + 1),
                   '\0');
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    for (qsizetype at = 0; at < rows.size(); at += stride) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rows.constData() + at));
        stream.avail_in = uInt(stride);
        const bool last = at + stride >= rows.size();
        const bool endBlock = (at / stride + 1) % kind.rowsPerBlock == 0;
        deflate(&stream, last ? Z_FINISH : endBlock ? Z_PARTIAL_FLUSH : Z_NO_FLUSH);
    }
    out.truncate(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

inline QByteArray madePng(const PngKind& kind, quint32 seed = 1) {
    QRandomGenerator noise(seed);
    const qsizetype rowBytes = (qsizetype(kind.width) * bitsPerPixel(kind) + 7) / 8;
    QByteArray rows;
    for (int y = 0; y < kind.height; ++y) {
        rows.append(char(y % 5));
        for (qsizetype i = 0; i < rowBytes; ++i) {
            rows.append(char(i / 3 + y + int(noise.bounded(3))));
        }
    }
    QByteArray header(13, '\0');
    qToBigEndian(quint32(kind.width), header.data());
    qToBigEndian(quint32(kind.height), header.data() + 4);
    header[8] = char(kind.depth);
    header[9] = char(kind.colourType);
    header[12] = char(kind.interlaced);
    QByteArray file = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header);
    if (kind.colourType == 3) {
        QByteArray palette;
        for (int i = 0; i < (1 << kind.depth); ++i) {
            palette.append(char(i)).append(char(255 - i)).append(char(i * 7));
        }
        file += pngChunk("PLTE", palette);
    }
    if (kind.transparency) {
        // Palette: alphas for the first entries only. Grey and RGB: a key
        // that row 0's first pixel (filter None) matches.
        QByteArray key;
        if (kind.colourType == 3) {
            for (int i = 0; i < (1 << kind.depth) / 2 + 1; ++i) {
                key.append(char(i * 37));
            }
        } else {
            const int samples = kind.colourType == 0 ? 1 : 3;
            key = QByteArray(2 * samples, '\0');
            for (int s = 0; s < samples; ++s) {
                const int value = kind.depth == 16
                                      ? quint8(rows[1 + 2 * s]) << 8 | quint8(rows[2 + 2 * s])
                                  : kind.depth == 8 ? quint8(rows[1 + s])
                                                    : quint8(rows[1]) >> (8 - kind.depth);
                qToBigEndian(quint16(value), key.data() + 2 * s);
            }
        }
        file += pngChunk("tRNS", key);
    }
    const QByteArray stream = madeStream(kind, rows, rowBytes + 1);
    for (qsizetype at = 0; at < stream.size(); at += kind.chunkBytes) {
        file += pngChunk("IDAT", stream.mid(at, kind.chunkBytes));
    }
    return file + pngChunk("IEND", {});
}

} // namespace kanvo::test
