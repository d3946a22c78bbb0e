#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// File to displayable pixels, at the codecs' own speed: JPEG through
// TurboJPEG and PNG through libspng, each writing straight into the QImage's
// buffer in a format Qt draws without a conversion pass; every other file
// (PPM, a CMYK JPEG, anything the fast paths refuse) goes through
// QImageReader. The first image of the file at its stored size, without
// applying orientation metadata, at device pixel ratio 1; null on failure.
namespace KanvoImageDecoder {

QImage decodeFirstImage(const QString& path);

// The stored pixel size, from the header alone; invalid when unreadable.
QSize storedSize(const QString& path);

// Larger images are refused: a header can claim any size, and a decoded
// camera photo of a few hundred megapixels stays well below it.
constexpr qint64 allocationLimitBytes = qint64(1) << 30;

// Whether a width x height image at four bytes a pixel is a real size within
// `maximumBytes`: the one check every decoding path makes before allocating.
// Divides instead of multiplying, so that no header, however large its claim,
// can overflow the product.
constexpr bool fitsAllocation(qint64 width, qint64 height,
                              qint64 maximumBytes = allocationLimitBytes) {
    return width > 0 && height > 0 && maximumBytes >= 0 && width <= maximumBytes / 4 / height;
}

} // namespace KanvoImageDecoder
