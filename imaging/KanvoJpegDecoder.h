#pragma once

#include <QImage>
#include <span>
#include <vector>

// JPEG bytes to an RGB32 image through libjpeg-turbo, which writes Qt's pixel
// layout directly. A large baseline image is decoded in horizontal stripes on
// several cores: each stripe has its own decoder, which runs the (sequential)
// Huffman decoding over the rows above it without producing them, then decodes
// its own rows in full.
namespace KanvoJpegDecoder {

// Threads a decode uses at most: one per core, up to four.
int defaultThreads();

// Null for CMYK and YCCK files, for anything libjpeg reports as an error or
// a warning (a truncated or corrupt file), and above `maximumBytes` decoded.
// Stripes run on at most `threads` threads.
QImage decode(std::span<const uchar> file, qint64 maximumBytes, int threads = defaultThreads());

// The first row of each stripe such a decode uses: {0} for one pass, empty
// for a file it cannot decode.
std::vector<int> stripeStarts(std::span<const uchar> file, int threads);

} // namespace KanvoJpegDecoder
