#include "imaging/KanvoPngInflate.h"

#include <algorithm>

namespace {

constexpr int windowBits = 15;
constexpr size_t windowBytes = size_t(1) << windowBits;

} // namespace

KanvoPngInflate::KanvoPngInflate(const KanvoSharedFile& file, std::uint64_t firstChunk)
    : reader_(file, firstChunk, 0) {
    ready_ = inflateInit2(&stream_, windowBits) == Z_OK;
    if (ready_) {
        feed();
    }
}

KanvoPngInflate::KanvoPngInflate(const KanvoSharedFile& file, const Point& point)
    : reader_(file, point.chunkOffset, point.chunkInput), output_(point.output) {
    // The byte the point starts within, when it starts within one.
    const std::uint64_t first = point.input - (point.bits > 0 ? 1 : 0);
    ready_ = inflateInit2(&stream_, -windowBits) == Z_OK && point.bits >= 0 && point.bits < 8 &&
             point.input >= std::uint64_t(point.bits > 0) && first >= point.chunkInput &&
             point.window.size() <= windowBytes;
    if (!ready_) {
        return;
    }
    std::uint64_t reached = point.chunkInput; // the end of the pieces passed over
    bool more = feed();
    while (more && first - reader_.pieceInput() >= pieceSize_) {
        reached = reader_.pieceInput() + pieceSize_;
        more = feed();
    }
    if (!more) {
        // The stream's very end, or data that fails before the point.
        ready_ = !reader_.failed() && point.bits == 0 && first == reached;
        return;
    }
    const size_t offset = size_t(first - reader_.pieceInput());
    stream_.next_in += offset;
    stream_.avail_in -= uInt(offset);
    if (point.bits > 0) {
        const int byte = *stream_.next_in;
        ++stream_.next_in;
        --stream_.avail_in;
        ready_ = inflatePrime(&stream_, point.bits, byte >> (8 - point.bits)) == Z_OK;
    }
    if (ready_ && !point.window.empty()) {
        ready_ =
            inflateSetDictionary(&stream_, point.window.data(), uInt(point.window.size())) == Z_OK;
    }
}

KanvoPngInflate::~KanvoPngInflate() {
    inflateEnd(&stream_);
}

bool KanvoPngInflate::feed() {
    const std::span<const uchar> piece = reader_.next();
    stream_.next_in = const_cast<uchar*>(piece.data());
    stream_.avail_in = uInt(piece.size());
    pieceSize_ = piece.size();
    return !piece.empty();
}

bool KanvoPngInflate::restIntact() {
    while (feed()) {
    }
    return !reader_.failed();
}

KanvoPngInflate::Result KanvoPngInflate::inflate(uchar* out, size_t capacity, size_t& written,
                                                 bool stopAtBlocks) {
    if (!ready_) {
        return Result::Failed;
    }
    size_t done = 0;
    while (done < capacity) {
        if (stream_.avail_in == 0 && !feed()) {
            written += done;
            return Result::Failed; // the chunks end before the stream
        }
        stream_.next_out = out + done;
        stream_.avail_out = uInt(std::min<size_t>(capacity - done, UINT32_MAX));
        const uInt inputBefore = stream_.avail_in;
        const int status = ::inflate(&stream_, stopAtBlocks ? Z_BLOCK : Z_NO_FLUSH);
        const size_t produced = size_t(stream_.next_out - (out + done));
        done += produced;
        output_ += produced;
        if (status == Z_STREAM_END) {
            written += done;
            return Result::End;
        }
        // Z_BUF_ERROR with input and room left means zlib can go no further.
        if ((status != Z_OK && status != Z_BUF_ERROR) ||
            (produced == 0 && stream_.avail_in == inputBefore && status == Z_BUF_ERROR)) {
            written += done;
            ready_ = false;
            return Result::Failed;
        }
        // Between two blocks, not after the last.
        if (stopAtBlocks && (stream_.data_type & 128) && !(stream_.data_type & 64)) {
            written += done;
            return Result::Boundary;
        }
    }
    written += done;
    return Result::Progress;
}

KanvoPngInflate::Point KanvoPngInflate::point() const {
    Point here;
    here.bits = stream_.data_type & 7;
    here.input = reader_.pieceInput() + pieceSize_ - stream_.avail_in;
    here.output = output_;
    here.chunkOffset = reader_.chunkOffset();
    here.chunkInput = reader_.chunkInput();
    here.window.resize(windowBytes);
    uInt length = 0;
    if (inflateGetDictionary(const_cast<z_stream*>(&stream_), here.window.data(), &length) !=
        Z_OK) {
        length = 0;
    }
    here.window.resize(length);
    here.window.shrink_to_fit();
    return here;
}
