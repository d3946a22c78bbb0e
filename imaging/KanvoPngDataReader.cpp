#include "imaging/KanvoPngDataReader.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <libdeflate.h>

namespace {

constexpr std::uint64_t headerBytes = 8; // length and type
constexpr std::uint64_t crcBytes = 4;
constexpr std::uint32_t largestChunk = 0x7FFFFFFF;
// Large enough that reading costs little next to inflating, small enough
// that every tile thread may hold one.
constexpr std::uint64_t bufferBytes = std::uint64_t(1) << 20;

} // namespace

KanvoPngDataReader::KanvoPngDataReader(const KanvoSharedFile& file, std::uint64_t chunkOffset,
                                       std::uint64_t chunkInput)
    : file_(file), fileSize_(std::uint64_t(std::max<qint64>(0, file.size()))),
      position_(chunkOffset), chunkOffset_(chunkOffset), chunkInput_(chunkInput),
      pieceInput_(chunkInput), input_(chunkInput) {}

std::span<const uchar> KanvoPngDataReader::take(std::uint64_t length) {
    if (position_ + length > bufferOffset_ + buffered_ || position_ < bufferOffset_) {
        // A buffer's worth, or what is left of a smaller file.
        const std::uint64_t left = fileSize_ > position_ ? fileSize_ - position_ : 0;
        const std::uint64_t wanted = std::max(length, std::min(left, bufferBytes));
        if (buffer_.size() < wanted) {
            buffer_.resize(wanted);
        }
        bufferOffset_ = position_;
        buffered_ = std::uint64_t(
            std::max<qint64>(0, file_.read(qint64(position_), buffer_.data(), qint64(wanted))));
        if (buffered_ < length) {
            return {};
        }
    }
    const std::span<const uchar> bytes(buffer_.data() + (position_ - bufferOffset_), length);
    position_ += length;
    return bytes;
}

// Reads the next chunk's length and type: false at the image data's end.
bool KanvoPngDataReader::startChunk() {
    // A chunk needs its length, type and CRC; fewer bytes left end the data.
    if (fileSize_ < position_ + headerBytes + crcBytes) {
        ended_ = true;
        return false;
    }
    const std::uint64_t offset = position_;
    const std::span<const uchar> header = take(headerBytes);
    if (header.empty()) {
        failed_ = true;
        return false;
    }
    // A length no chunk may have fails the file even in the chunk after the
    // image data, as in the whole decode.
    const std::uint32_t length = qFromBigEndian<std::uint32_t>(header.data());
    if (length > largestChunk || length > fileSize_ - position_ - crcBytes) {
        failed_ = true;
        return false;
    }
    if (std::memcmp(header.data() + 4, "IDAT", 4) != 0) {
        ended_ = true;
        return false;
    }
    chunkOffset_ = offset;
    chunkInput_ = input_;
    left_ = length;
    crc_ = std::uint32_t(libdeflate_crc32(0, header.data() + 4, 4));
    inChunk_ = true;
    return true;
}

// Checks the chunk just read whole against its CRC.
bool KanvoPngDataReader::endChunk() {
    const std::span<const uchar> crc = take(crcBytes);
    inChunk_ = false;
    failed_ = crc.empty() || qFromBigEndian<std::uint32_t>(crc.data()) != crc_;
    return !failed_;
}

std::span<const uchar> KanvoPngDataReader::next() {
    while (!ended_ && !failed_) {
        if (inChunk_ && left_ == 0) {
            if (!endChunk()) {
                break;
            }
            continue;
        }
        if (!inChunk_) {
            if (!startChunk()) {
                break;
            }
            continue;
        }
        // What the buffer holds of the chunk, or a buffer's worth read anew.
        const std::uint64_t held =
            position_ >= bufferOffset_ && position_ < bufferOffset_ + buffered_
                ? bufferOffset_ + buffered_ - position_
                : std::min(left_, bufferBytes);
        const std::span<const uchar> piece = take(std::min(left_, held));
        if (piece.empty()) {
            failed_ = true;
            break;
        }
        crc_ = std::uint32_t(libdeflate_crc32(crc_, piece.data(), piece.size()));
        left_ -= piece.size();
        pieceInput_ = input_;
        input_ += piece.size();
        return piece;
    }
    return {};
}
