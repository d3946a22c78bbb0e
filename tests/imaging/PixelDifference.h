#pragma once

#include <QImage>
#include <QString>

// "640x480".
QString sizeText(QSize size);

// How far a decoded image is from its reference, in 8-bit levels. Both are
// compared premultiplied, as they would be composited: colour under full
// transparency does not count, and a half-transparent pixel counts half.
struct PixelDifference {
    QSize actualSize;
    QSize expectedSize;
    int maximum = 0; // largest difference of one channel (alpha included)
    double mean = 0; // mean difference of a colour channel

    bool sameSize() const { return actualSize == expectedSize; }
    // "max 37, mean 4.21 levels", or the two sizes when they differ.
    QString describe() const;
};

namespace PixelComparison {

PixelDifference compare(const QImage& actual, const QImage& expected);

// The stored pixels turned upright as EXIF orientation `tag` (1 to 8) says.
QImage upright(const QImage& stored, int tag);

} // namespace PixelComparison
