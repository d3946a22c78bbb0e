#pragma once

#include <QImage>
#include <span>

// JPEG bytes to an RGB32 image through libjpeg-turbo, which writes Qt's pixel
// layout directly. A large baseline image is decoded in horizontal stripes on
// several cores: each stripe has its own decoder, which runs the (sequential)
// Huffman decoding over the rows above it without producing them, then decodes
// its own rows in full.
namespace KanvoJpegDecoder {

// Null for CMYK and YCCK files, for anything libjpeg reports as an error or
// a warning (a truncated or corrupt file), and above `maximumBytes` decoded.
QImage decode(std::span<const uchar> file, qint64 maximumBytes);

} // namespace KanvoJpegDecoder
