#pragma once

#include <cstddef>
#include <vector>

// How a baseline JPEG is split into horizontal stripes decoded at once, one
// decoder per stripe. Huffman decoding is sequential, so a lower stripe's
// decoder must first run it over every row above its own; stripes therefore
// shrink downwards so that every thread finishes together.
namespace KanvoJpegStripes {

struct Stripe {
    int firstRow;
    int endRow;
};

struct Image {
    int width;
    int height;
    int rowsPerBand; // output rows per iMCU row: stripes start on these
    bool progressive;
    std::size_t compressedBytes;
};

// At most `threads` stripes; one stripe for a progressive or small image,
// or when a stripe would be too short to pay for its thread.
std::vector<Stripe> plan(const Image& image, int threads);

} // namespace KanvoJpegStripes
