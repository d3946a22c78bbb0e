#pragma once

// Byte builders for PNG chunks that no encoder writes: damaged headers,
// unknown critical chunks, metadata that inflates far beyond its size.

#include <QByteArray>
#include <QtEndian>
#include <libdeflate.h>

namespace kanvo::test {

inline QByteArray pngChunk(const char* type, const QByteArray& data) {
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size()), chunk.data());
    chunk += QByteArray(type, 4) + data;
    QByteArray crc(4, '\0');
    qToBigEndian(quint32(libdeflate_crc32(0, chunk.constData() + 4, size_t(chunk.size()) - 4)),
                 crc.data());
    return chunk + crc;
}

// `png` with `chunk` right after its header, before any other chunk.
inline QByteArray withChunkAfterHeader(const QByteArray& png, const QByteArray& chunk) {
    constexpr qsizetype headerEnd = 8 + 12 + 13; // signature, IHDR chunk
    return png.left(headerEnd) + chunk + png.mid(headerEnd);
}

// `bytes` as a zlib stream.
inline QByteArray zlibCompressed(const QByteArray& bytes) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(9);
    QByteArray out(qsizetype(libdeflate_zlib_compress_bound(compressor, size_t(bytes.size()))),
                   '\0');
    out.truncate(qsizetype(libdeflate_zlib_compress(
        compressor, bytes.constData(), size_t(bytes.size()), out.data(), size_t(out.size()))));
    libdeflate_free_compressor(compressor);
    return out;
}

} // namespace kanvo::test
