#pragma once

#include "imaging/KanvoRowSource.h"
#include "imaging/colour/KanvoIccProfile.h"

#include <QSize>

class QIODevice;

// Rows to a JPEG stream through libjpeg-turbo, a band at a time, with the
// settings of Qt's writer (quality 75, 4:2:0 chroma, JFIF), so an export
// reads back as it always has. Alpha is dropped.
namespace KanvoJpegEncoder {

// The largest profile a file can carry: 255 APP2 segments, numbered in one
// byte.
constexpr qsizetype largestProfileBytes = 255 * 65519;

// Writes `size` rows from `rows` into `out`, grey when `grey`, with `profile`
// (left out when larger than largestProfileBytes). False when libjpeg
// refuses the size (a side over 65500), the rows fail or `out` fails.
bool write(QIODevice& out, QSize size, bool grey, const KanvoIccProfile& profile,
           const KanvoRowSource& rows);

} // namespace KanvoJpegEncoder
