#pragma once

#include <QByteArray>
#include <QString>

// The CMYK samples of a CMYK or YCCK JPEG, which a CMYK profile converts:
// djpeg writes such files only as RGB. Decoded by the same libjpeg-turbo
// with djpeg's default settings (accurate integer IDCT, fancy upsampling).
// The samples are Adobe's inverted CMYK (255 is no ink) with or without
// Adobe's marker, as djpeg, ImageMagick, Qt and browsers take them: JFIF
// defines no CMYK, and the files that exist come from Adobe's applications.
namespace CmykJpeg {

// Four bytes a pixel, row after row; empty when the file is not CMYK or
// does not decode to its last row.
QByteArray samples(const QString& path);

} // namespace CmykJpeg
