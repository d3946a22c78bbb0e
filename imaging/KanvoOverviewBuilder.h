#pragma once

#include <QImage>

// An image's overview at 1/8 of its size, made from its rows in the order a
// sequential decode gives them, without holding the image: rows gather in
// bands of a few dozen and each band is halved three times as soon as it is
// full. The bands start on multiples of 8 rows, so every 2 x 2 block is the
// whole image's and the overview is exactly the pyramid's third halving.
class KanvoOverviewBuilder {
public:
    // Rows of `width` pixels in `format` (four bytes a pixel), `height` of
    // them.
    KanvoOverviewBuilder(int width, int height, QImage::Format format);

    // The next row, `width` pixels. False once memory runs out.
    bool addRow(const uchar* pixels);
    // The overview, after the last row; null when a row is missing or
    // memory ran out.
    QImage finish();
    // The overview as far as its rows are made, the rest transparent: the
    // image as it arrives, for showing while the pass goes on. Null before
    // the first band is made.
    QImage sofar() const;

private:
    bool flush();

    int height_;
    int rowsAdded_ = 0;
    QImage band_;
    int bandRows_ = 0;
    QImage overview_;
    int overviewRows_ = 0;
};
