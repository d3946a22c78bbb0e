#pragma once

#include "imaging/KanvoDecodedPixels.h"

#include <QImage>
#include <span>

// PNG bytes to an image Qt draws as it is: RGBX8888 when opaque, RGBA8888
// otherwise. The common case, 8-bit RGB or RGBA without interlacing, is
// inflated in one call by libdeflate, about twice as fast as zlib's streaming
// inflate, and unfiltered straight into the image; every other kind (palette,
// grey, 16-bit, interlaced, colour-keyed) goes through libspng.
namespace KanvoPngDecoder {

// The most memory one chunk before the image data may take once read (an
// iCCP profile or text, inflated), about libpng's own bound: a file of a few
// kilobytes can hold chunks that inflate to gigabytes. A power of two, as
// libspng doubles its buffer up to the bound.
constexpr size_t largestKeptChunkBytes = size_t(8) << 20;

// Null for a corrupt or truncated file, above `maximumBytes` decoded, and
// when a chunk before the image data takes more than largestKeptChunkBytes
// (libpng drops such a chunk and shows the image). An ancillary chunk that
// fails its CRC is dropped, as libpng drops it; the iCCP profile comes with
// the pixels when it fits the colour type.
KanvoDecodedPixels decode(std::span<const uchar> file, qint64 maximumBytes);

// The size in the header, without decoding; invalid when unreadable.
QSize storedSize(std::span<const uchar> file);

// What decode() gives, without decoding the image data: its size (invalid
// when the header or a chunk before the image data is refused), pixel
// format and profile.
struct Description {
    QSize size;
    QImage::Format format = QImage::Format_Invalid;
    KanvoIccProfile iccProfile;
};
Description describe(std::span<const uchar> file);

// Whether every chunk up to IEND lies within the file. libpng refuses a file
// where one does not, but only after allocating what that chunk claims (up
// to Qt's allocation limit: a gigabyte for a 57-byte file).
bool chunksLieWithinFile(std::span<const uchar> file);

} // namespace KanvoPngDecoder
