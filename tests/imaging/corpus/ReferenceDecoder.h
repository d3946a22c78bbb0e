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

    // The colours a colour-managed viewer shows on an sRGB display: the
    // samples converted from the profile to sRGB by Little CMS 2 (perceptual
    // intent). Null when no conversion applies: no profile, one Little CMS
    // cannot read, or one for another colour model than the samples'. Such
    // a file shows as stored.
    QImage inSrgb() const;
};

namespace ReferenceDecoder {

ReferenceImage decode(const QString& path, CorpusFormat format);

// The programs this needs that are missing from PATH, with the Debian
// package of each.
QStringList missingPrograms();

} // namespace ReferenceDecoder
