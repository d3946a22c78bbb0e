#pragma once

#include "imaging/KanvoDecodedPixels.h"

#include <QImage>
#include <QString>

// File to displayable pixels, at the codecs' own speed, with one policy for
// damaged files on every path: what the reference decoders (libjpeg-turbo,
// libpng) decode, with or without a warning, comes out as they show it; what
// they refuse comes out null. The format comes from the file's first bytes:
// JPEG through libjpeg-turbo, PNG through libdeflate and libspng, PPM through
// Qt's built-in reader; anything else is refused. The image is upright (EXIF
// orientation applied) at device pixel ratio 1.
namespace KanvoImageDecoder {

KanvoDecodedPixels decodeFile(const QString& path);

// The pixels alone.
QImage decodeFirstImage(const QString& path);

// Larger images are refused: a header can claim any size, and a decoded
// camera photo of a few hundred megapixels stays well below it.
constexpr qint64 allocationLimitBytes = qint64(1) << 30;

// Whether a width x height image at four bytes a pixel is a real size within
// `maximumBytes`: the one check every decoding path makes before allocating.
constexpr bool fitsAllocation(qint64 width, qint64 height,
                              qint64 maximumBytes = allocationLimitBytes) {
    return width > 0 && height > 0 && width * height * 4 <= maximumBytes;
}

} // namespace KanvoImageDecoder
