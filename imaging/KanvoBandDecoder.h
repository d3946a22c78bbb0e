#pragma once

#include <QImage>
#include <QRect>

// Random access into an image file too large to hold decoded: any rectangle
// of its stored pixels (before EXIF orientation), decoded again from the
// file's bytes without decoding the rows above it where the format allows.
// Made by one sequential pass over the file, which records where rows begin.
// Thread-safe: regions may be decoded on several threads at once.
class KanvoBandDecoder {
public:
    virtual ~KanvoBandDecoder() = default;

    // The largest reduction region() takes: 8 for JPEG (2, 4 and 8 by the
    // scaled inverse DCT), 1 for the others.
    virtual int largestReduction() const = 0;

    // The pixels of `area` (in the stored image's pixels at 1/`reduction`,
    // each side of the reduced image rounded up as libjpeg rounds) exactly
    // as the whole image's decode at that reduction gives them, in the same
    // format; null when the file fails there.
    virtual QImage region(QRect area, int reduction) const = 0;
};
