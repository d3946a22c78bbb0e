#include "imaging/colour/KanvoIccEmbedding.h"

#include <QtEndian>
#include <libdeflate.h>
#include <memory>

namespace {

QByteArray bigEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray zlibCompressed(const QByteArray& data) {
    const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
        libdeflate_alloc_compressor(9), libdeflate_free_compressor);
    if (!compressor) {
        return {};
    }
    QByteArray compressed(
        qsizetype(libdeflate_zlib_compress_bound(compressor.get(), size_t(data.size()))), '\0');
    const size_t length =
        libdeflate_zlib_compress(compressor.get(), data.constData(), size_t(data.size()),
                                 compressed.data(), size_t(compressed.size()));
    compressed.truncate(qsizetype(length));
    return compressed;
}

constexpr qsizetype pngSignatureLength = 8;
constexpr qsizetype ihdrChunkLength = 4 + 4 + 13 + 4; // length, type, data, CRC
// An APP2 segment's length field counts itself, the 14-byte header and the data.
constexpr qsizetype largestJpegChunk = 65535 - 2 - 14;

} // namespace

QByteArray KanvoIccEmbedding::intoPng(const QByteArray& png, const KanvoIccProfile& profile) {
    const qsizetype afterHeader = pngSignatureLength + ihdrChunkLength;
    const QByteArray compressed = zlibCompressed(profile.bytes());
    if (png.size() < afterHeader || png.mid(12, 4) != "IHDR" || compressed.isEmpty()) {
        return png;
    }
    // Name, its terminator, then compression method 0 (zlib).
    const QByteArray body = QByteArrayLiteral("ICC Profile") + QByteArray(2, '\0') + compressed;
    const QByteArray typed = QByteArrayLiteral("iCCP") + body;
    const quint32 crc = libdeflate_crc32(0, typed.constData(), size_t(typed.size()));
    return png.left(afterHeader) + bigEndian32(quint32(body.size())) + typed + bigEndian32(crc) +
           png.mid(afterHeader);
}

QByteArray KanvoIccEmbedding::intoJpeg(const QByteArray& jpeg, const KanvoIccProfile& profile) {
    if (!jpeg.startsWith("\xFF\xD8") || profile.isEmpty()) {
        return jpeg;
    }
    qsizetype insertAt = 2;
    if (jpeg.mid(2, 2) == "\xFF\xE0" && jpeg.size() >= 6) {
        insertAt += 2 + qFromBigEndian<quint16>(jpeg.constData() + 4);
    }
    const qsizetype count = (profile.bytes().size() + largestJpegChunk - 1) / largestJpegChunk;
    if (count > 255 || insertAt > jpeg.size()) {
        return jpeg;
    }
    QByteArray segments;
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArray chunk = profile.bytes().mid(i * largestJpegChunk, largestJpegChunk);
        QByteArray length(2, '\0');
        qToBigEndian(quint16(2 + 14 + chunk.size()), length.data());
        segments += QByteArrayLiteral("\xFF\xE2") + length + QByteArrayLiteral("ICC_PROFILE") +
                    '\0' + char(i + 1) + char(count) + chunk;
    }
    return jpeg.left(insertAt) + segments + jpeg.mid(insertAt);
}
