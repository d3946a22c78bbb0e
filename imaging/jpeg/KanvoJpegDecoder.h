#pragma once

#include "imaging/KanvoDecodedPixels.h"
#include "kanvo/ui/exif_orientation.h"

#include <QSize>
#include <span>

// JPEG bytes to an upright RGB32 image through libjpeg-turbo, which writes
// Qt's pixel layout directly. A large baseline image is decoded in horizontal
// stripes on several cores: each stripe has its own decoder, which runs the
// (sequential) Huffman decoding over the rows above it without producing
// them, then decodes its own rows in full.
//
// What libjpeg decodes, with or without a warning, comes out as libjpeg
// gives it (a truncated file with its missing rows grey, as libjpeg's own
// tools show it); what libjpeg refuses comes out null.
namespace KanvoJpegDecoder {

struct Header {
    QSize storedSize; // invalid when libjpeg refuses the header
    kanvo::ui::ExifOrientation orientation = 1;
    // The size a person sees: stored size with width and height swapped when
    // the orientation turns the picture a quarter.
    QSize uprightSize() const;
};

Header readHeader(std::span<const uchar> file);

// Threads a full-size decode spreads its stripes over: one per core, up to
// four.
int defaultThreads();

// `reduction` is 1, 2, 4 or 8: the image is decoded at that fraction of its
// size by a scaled inverse DCT, which skips most of the work below the
// Huffman decoding; a large file's reduced decode spreads even that over
// `threads` threads (KanvoJpegPreview). Null above `maximumBytes` decoded
// at the reduction: the overview of an image held in tiles is such a decode.
// A full-size decode spreads its stripes over at most `threads` threads.
KanvoDecodedPixels decode(std::span<const uchar> file, qint64 maximumBytes, int reduction = 1,
                          int threads = defaultThreads());

} // namespace KanvoJpegDecoder
