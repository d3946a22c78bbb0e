#pragma once

#include <QByteArray>
#include <QString>

// The CMYK samples of a CMYK or YCCK JPEG, which a CMYK profile converts:
// djpeg writes such files only as RGB. Decoded by the same libjpeg-turbo
// with djpeg's default settings (accurate integer IDCT, fancy upsampling).
// The samples are inverted CMYK (255 is no ink), with or without an APP14
// marker, as djpeg, ImageMagick, Qt and browsers take them: JFIF defines no
// CMYK, and the applications that write CMYK JPEGs store the ink inverted.
namespace CmykJpeg {

// Four bytes a pixel, row after row; empty when the file is not CMYK or
// does not decode to its last row.
QByteArray samples(const QString& path);

} // namespace CmykJpeg
