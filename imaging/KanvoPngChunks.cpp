#include "imaging/KanvoPngChunks.h"

#include "imaging/KanvoPngDecoder.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <libdeflate.h>

namespace {

constexpr size_t signatureLength = 8;
constexpr size_t chunkOverhead = 12; // length, type and CRC
constexpr std::uint32_t largestChunk = 0x7FFFFFFF;
// libspng keeps the text and profile chunks it reads, inflated, with no
// bound of its own.
constexpr size_t largestKeptChunksBytes = size_t(64) << 20;

} // namespace

KanvoPngChunks::SpngContext KanvoPngChunks::headerReader(std::span<const uchar> file,
                                                         spng_ihdr& header) {
    SpngContext decoder(spng_ctx_new(0), spng_ctx_free);
    if (!decoder || spng_set_png_buffer(decoder.get(), file.data(), file.size()) != 0 ||
        spng_set_crc_action(decoder.get(), SPNG_CRC_ERROR, SPNG_CRC_DISCARD) != 0 ||
        spng_set_chunk_limits(decoder.get(), KanvoPngDecoder::largestKeptChunkBytes,
                              largestKeptChunksBytes) != 0 ||
        spng_get_ihdr(decoder.get(), &header) != 0) {
        return SpngContext(nullptr, spng_ctx_free);
    }
    return decoder;
}

std::vector<std::span<const uchar>> KanvoPngChunks::imageData(std::span<const uchar> file) {
    std::vector<std::span<const uchar>> parts;
    for (size_t at = signatureLength; at + chunkOverhead <= file.size();) {
        const std::uint32_t length = qFromBigEndian<std::uint32_t>(file.data() + at);
        if (length > largestChunk || length > file.size() - at - chunkOverhead) {
            return {};
        }
        const bool isImageData = std::memcmp(file.data() + at + 4, "IDAT", 4) == 0;
        if (!isImageData && !parts.empty()) {
            break;
        }
        if (isImageData) {
            const std::uint32_t crc = qFromBigEndian<std::uint32_t>(file.data() + at + 8 + length);
            if (libdeflate_crc32(0, file.data() + at + 4, length + 4) != crc) {
                return {};
            }
            parts.push_back(file.subspan(at + 8, length));
        }
        at += chunkOverhead + length;
    }
    return parts;
}

QByteArray KanvoPngChunks::readHead(QIODevice& file) {
    const qint64 size = std::min(file.size(), largestHeadBytes);
    if (!file.seek(0)) {
        return {};
    }
    QByteArray head = file.read(signatureLength);
    if (head.size() != qsizetype(signatureLength)) {
        return {};
    }
    // Each chunk read takes twelve bytes or more, and the head stays within
    // `size`: the loop ends.
    for (;;) {
        const QByteArray header = file.read(8);
        if (header.size() != 8) {
            return {};
        }
        head += header;
        if (header.endsWith("IDAT")) {
            return head;
        }
        const std::uint32_t length = qFromBigEndian<std::uint32_t>(header.constData());
        const qint64 rest = qint64(length) + 4; // the data and its CRC
        if (length > largestChunk || head.size() + rest > size) {
            return {};
        }
        const QByteArray chunk = file.read(rest);
        if (chunk.size() != rest) {
            return {};
        }
        head += chunk;
    }
}

int KanvoPngChunks::countBeforeImageData(std::span<const uchar> file, const char (&type)[5]) {
    int count = 0;
    for (size_t at = signatureLength; at + chunkOverhead <= file.size();) {
        const std::uint32_t length = qFromBigEndian<std::uint32_t>(file.data() + at);
        if (length > file.size() - at - chunkOverhead ||
            std::memcmp(file.data() + at + 4, "IDAT", 4) == 0) {
            break;
        }
        count += std::memcmp(file.data() + at + 4, type, 4) == 0 ? 1 : 0;
        at += chunkOverhead + length;
    }
    return count;
}
