#pragma once

#include "imaging/KanvoSharedFile.h"

#include <cstdint>
#include <span>
#include <vector>

// The image data of a PNG read from its file a piece at a time: the data of
// its consecutive IDAT chunks as one stream, each chunk checked against its
// CRC once read whole. Reads a few megabytes at a time into a buffer of its
// own, so that the file's bytes are never held whole.
class KanvoPngDataReader {
public:
    // From the IDAT chunk whose length field is at `chunkOffset` in `file`,
    // its data being the stream's from `chunkInput` on.
    KanvoPngDataReader(const KanvoSharedFile& file, std::uint64_t chunkOffset,
                       std::uint64_t chunkInput);

    // The next piece of the stream, valid until the next call. Empty once
    // the image data ends (the file ends, or a chunk other than IDAT
    // follows) and when it fails: a chunk failing its CRC or running past
    // the file's end, or a read failing.
    std::span<const uchar> next();
    bool failed() const { return failed_; }

    // Where the last piece lies in the stream.
    std::uint64_t pieceInput() const { return pieceInput_; }
    // The chunk the last piece came from: its length field's offset in the
    // file, and where its data starts in the stream.
    std::uint64_t chunkOffset() const { return chunkOffset_; }
    std::uint64_t chunkInput() const { return chunkInput_; }

private:
    // `length` bytes at the reading position, from the buffer, refilled
    // from the file as needed; empty when the file has fewer.
    std::span<const uchar> take(std::uint64_t length);
    bool startChunk();
    bool endChunk();

    const KanvoSharedFile& file_;
    const std::uint64_t fileSize_;
    std::vector<uchar> buffer_;
    std::uint64_t bufferOffset_ = 0; // the file offset of buffer_[0]
    std::uint64_t buffered_ = 0;     // bytes of the buffer read
    std::uint64_t position_ = 0;     // the file offset read next
    std::uint64_t chunkOffset_ = 0;
    std::uint64_t chunkInput_ = 0;
    std::uint64_t pieceInput_ = 0;
    std::uint64_t input_ = 0; // where the next piece starts in the stream
    std::uint64_t left_ = 0;  // data bytes of the current chunk not yet handed out
    std::uint32_t crc_ = 0;
    bool inChunk_ = false;
    bool ended_ = false;
    bool failed_ = false;
};
