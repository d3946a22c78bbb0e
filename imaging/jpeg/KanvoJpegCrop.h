#pragma once

#include <QImage>
#include <QRect>
#include <span>

// A rectangle of a JPEG decoded by libjpeg alone: the rows above it skipped
// (entropy decoding only), the iMCU columns beside it cropped away. Cropping
// and skipping reach one iMCU column and row short of the rectangle, so the
// upsampling of its edge pixels sees the same neighbours as in a decode of
// the whole image, and its pixels come out as that decode's.
namespace KanvoJpegCrop {

// The pixels of `area`, in the output of a decode at 1/`reduction`, in an
// RGB32 image: CMYK as libjpeg gives it when `cmyk`, to be converted by the
// caller. Null when `area` leaves the output or libjpeg fails before its last
// row is out. `warned` tells whether libjpeg warned on the way.
QImage decode(std::span<const uchar> file, QRect area, int reduction, bool cmyk, bool& warned);

} // namespace KanvoJpegCrop
