#pragma once

#include "imaging/colour/KanvoIccProfile.h"

#include <QtGlobal>
#include <cstdio> // jpeglib.h uses FILE without including it
#include <jpeglib.h>

// How a JPEG's pixels leave libjpeg, shared by the whole-image and the
// region decodes so that both give the same bytes.
namespace KanvoJpegColour {

// libjpeg-turbo's BGRX is QImage's RGB32 in memory on a little-endian machine,
// and XRGB on a big-endian one; the pad byte is written as 0xFF.
inline constexpr J_COLOR_SPACE rgb32ColorSpace =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// CMYK or YCCK: decoded as CMYK, then converted (convertCmykToRgb32).
inline bool isCmyk(J_COLOR_SPACE space) {
    return space == JCS_CMYK || space == JCS_YCCK;
}

// The ICC profile split over APP2 segments (saved by jpeg_save_markers before
// the header was read), kept when it describes the image's colour model.
KanvoIccProfile iccProfileOf(jpeg_decompress_struct& info);

} // namespace KanvoJpegColour
