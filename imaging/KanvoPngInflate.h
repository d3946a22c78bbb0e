#pragma once

#include "imaging/KanvoPngDataReader.h"

#include <QtGlobal>
#include <cstdint>
#include <vector>
#include <zlib.h>

// The zlib stream a PNG's IDAT chunks carry, inflated as it is read from
// the file (never held whole: for a large image it is hundreds of
// megabytes), from the stream's start or from a deflate block boundary
// recorded on an earlier pass. zlib resumes at a boundary from the input's
// position to the bit and the 32 KiB of output before it, which later
// blocks may copy from.
class KanvoPngInflate {
public:
    // Where a deflate block starts: enough to inflate on from there.
    struct Point {
        std::uint64_t input = 0;   // bytes of the stream taken, the last maybe in part
        int bits = 0;              // bits of that last byte not yet taken (0 to 7)
        std::uint64_t output = 0;  // bytes inflated before it
        std::vector<uchar> window; // the last (up to) 32 KiB of them
        // The chunk the input stands in: its offset in the file, and where
        // its data starts in the stream.
        std::uint64_t chunkOffset = 0;
        std::uint64_t chunkInput = 0;
    };

    enum class Result { Progress, Boundary, End, Failed };

    // From the stream's start, in the chunk at `firstChunk` in `file`, its
    // zlib header and Adler-32 checksum checked. `file` must outlive the
    // inflater.
    KanvoPngInflate(const KanvoSharedFile& file, std::uint64_t firstChunk);
    // From `point`, a raw deflate stream: the checksum is not checked.
    KanvoPngInflate(const KanvoSharedFile& file, const Point& point);
    ~KanvoPngInflate();
    KanvoPngInflate(const KanvoPngInflate&) = delete;
    KanvoPngInflate& operator=(const KanvoPngInflate&) = delete;

    // Inflates into `out`, at most `capacity` bytes; adds what it wrote to
    // `written`. With `stopAtBlocks`, returns Boundary when it stops between
    // two blocks; End once the stream ends; Failed for data zlib refuses or
    // chunks that end before the stream does.
    Result inflate(uchar* out, size_t capacity, size_t& written, bool stopAtBlocks);

    // Where the stream stands, after inflate() returned Boundary.
    Point point() const;

    // After the stream's end: whether every chunk of image data after it
    // is whole and passes its CRC, as the whole decode requires.
    bool restIntact();

private:
    // Points zlib at the next piece of the stream; false when none is left.
    bool feed();

    KanvoPngDataReader reader_;
    size_t pieceSize_ = 0; // of the piece zlib reads from
    std::uint64_t output_ = 0;
    bool ready_ = false;
    z_stream stream_{};
};
