#pragma once

#include "CorpusCases.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

// What the reference decoders from Debian make of a file, as it is stored
// (orientation not applied): djpeg for JPEG, pngtopam for PNG, pamtopnm for
// PNM, run as child processes. What they do not write is read by the same
// libraries: the embedded profile and a CMYK JPEG's samples.
struct ReferenceImage {
    QImage pixels;      // unpremultiplied ARGB32; null when the decoder made no image
    QByteArray profile; // the embedded ICC profile; empty when none
    QByteArray cmyk;    // CMYK JPEGs: every inverted sample, 4 bytes a pixel, for colour conversion
    QString decoder;    // names the reference in failure messages
    QString failure;    // why there is no image
};

namespace ReferenceDecoder {

ReferenceImage decode(const QString& path, CorpusFormat format);

// The programs this needs that are missing from PATH, with the Debian
// package of each.
QStringList missingPrograms();

} // namespace ReferenceDecoder
