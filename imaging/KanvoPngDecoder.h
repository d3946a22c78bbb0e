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

// Null for a corrupt or truncated file and above `maximumBytes` decoded. An
// ancillary chunk that fails its CRC is dropped, as libpng drops it; the
// iCCP profile comes with the pixels when it fits the colour type.
KanvoDecodedPixels decode(std::span<const uchar> file, qint64 maximumBytes);

// The size in the header, without decoding; invalid when unreadable.
QSize storedSize(std::span<const uchar> file);

} // namespace KanvoPngDecoder
