#pragma once

#include <QtGlobal>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>
#include <zlib.h>

// The zlib stream a PNG's IDAT chunks carry, inflated straight from the
// chunks (never joined: for a large image they are hundreds of megabytes),
// from the stream's start or from a deflate block boundary recorded on an
// earlier pass. zlib resumes at a boundary from the input's position to the
// bit and the 32 KiB of output before it, which later blocks may copy from.
class KanvoPngInflate {
public:
    // Where a deflate block starts: enough to inflate on from there.
    struct Point {
        std::uint64_t input = 0;   // bytes of the stream taken, the last maybe in part
        int bits = 0;              // bits of that last byte not yet taken (0 to 7)
        std::uint64_t output = 0;  // bytes inflated before it
        std::vector<uchar> window; // the last (up to) 32 KiB of them
    };

    enum class Result { Progress, Boundary, End, Failed };

    // From the stream's start, its zlib header and Adler-32 checksum checked.
    // `chunks` must outlive the inflater.
    explicit KanvoPngInflate(const std::vector<std::span<const uchar>>& chunks);
    // From `point`, a raw deflate stream: the checksum is not checked.
    KanvoPngInflate(const std::vector<std::span<const uchar>>& chunks, const Point& point);
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

private:
    // Points zlib at the next non-empty chunk; false when none is left.
    bool feed();

    const std::vector<std::span<const uchar>>& chunks_;
    size_t chunk_ = 0;             // the chunk zlib reads from
    std::uint64_t chunkStart_ = 0; // its offset in the stream
    std::uint64_t output_ = 0;
    bool ready_ = false;
    z_stream stream_{};
};
