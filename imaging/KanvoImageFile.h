#pragma once

#include "imaging/KanvoDecodedPixels.h"
#include "imaging/KanvoImageFormat.h"

#include <QByteArray>
#include <QSize>
#include <QString>

// One image file read into memory, ready to be decoded once or more (a quick
// preview, then the full image) without reading it again: the one way from a
// file to displayable pixels. The bytes are copied rather than mapped: a file
// shortened by another program while it is mapped would end the process on
// the next page read.
//
// One policy for damaged files on every path: what the reference decoders
// (libjpeg-turbo, libpng) decode, with or without a warning, comes out as
// they show it; what they refuse comes out null. The format comes from the
// file's first bytes: JPEG through libjpeg-turbo, PNG through libdeflate and
// libspng, PPM through Qt's built-in reader; anything else is refused. The
// image is upright (EXIF orientation applied) at device pixel ratio 1.
class KanvoImageFile {
public:
    // Reads the file; an unreadable, irregular or absurdly large one decodes
    // to nothing.
    explicit KanvoImageFile(const QString& path);

    KanvoImageFormat format() const { return format_; }
    // The file's bytes, shared: tiles of a large JPEG are decoded from them.
    // Of a PNG or PPM too large to hold decoded, only its first: a PNG's
    // chunks before its image data, a PPM's header. Their tiles read the
    // rest from the file on disk.
    const QByteArray& bytes() const { return bytes_; }
    const QString& path() const { return path_; }

    // The size a person sees, from the header alone: for a JPEG with an EXIF
    // orientation of 5 to 8, its stored width and height swapped. Invalid
    // when the header is unreadable.
    QSize uprightSize() const { return uprightSize_; }

    // The largest JPEG reduction (2, 4 or 8) whose decode still covers
    // `devicePixels` both ways; 1 when none does, or for another format.
    int reductionCovering(QSize devicePixels) const;

    // The first image, upright, with its embedded profile; reduced by
    // `reduction` (JPEG only). Null when the decoder refuses the file, and
    // for a decompression bomb.
    KanvoDecodedPixels decode(int reduction = 1) const;

    // Whether the header claims far more pixels than the file's bytes could
    // really hold (a JPEG cut short after its header, which libjpeg would
    // fill with grey; rows of one bit that inflate to four bytes a pixel):
    // over 64 MB decoded (16 megapixels, where a photograph's file is
    // megabytes) and over a thousand times the file's size, more than a
    // flat 8-bit image compresses. Such a file would cost up to a gigabyte
    // and seconds for a picture of nothing; below 64 MB the damage policy
    // shows it as the decoders do.
    bool isDecompressionBomb() const;

private:
    QString path_;
    qint64 fileSize_ = 0;
    QByteArray bytes_;
    KanvoImageFormat format_ = KanvoImageFormat::Unknown;
    QSize uprightSize_;
};
