#pragma once

#include <QImage>
#include <span>

// PNG bytes to an image Qt draws as it is: RGBX8888 when opaque, RGBA8888
// otherwise. The common case, 8-bit RGB or RGBA without interlacing, is
// inflated in one call by libdeflate, about twice as fast as zlib's streaming
// inflate, and unfiltered straight into the image; every other kind (palette,
// grey, 16-bit, interlaced, colour-keyed) goes through libspng.
namespace KanvoPngDecoder {

// Null for a corrupt or truncated file and above `maximumBytes` decoded.
QImage decode(std::span<const uchar> file, qint64 maximumBytes);

} // namespace KanvoPngDecoder
