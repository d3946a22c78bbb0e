#pragma once

#include <QImage>

// One level of an image pyramid: each output pixel is the mean of a 2 x 2
// block (an odd last row or column is paired with itself). The result is
// premultiplied whenever the source has alpha.
namespace KanvoImageHalving {

QImage halved(const QImage& source);

} // namespace KanvoImageHalving
