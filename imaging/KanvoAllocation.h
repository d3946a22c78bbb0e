#pragma once

#include <QtGlobal>

// How large a decoded image may be: the one check every decoding path makes
// before it allocates pixels. A leaf, so that every decoder can include it.
namespace KanvoAllocation {

// Larger images are refused: a header can claim any size, and a decoded
// camera photo of a few hundred megapixels stays well below it.
constexpr qint64 limitBytes = qint64(1) << 30;

// Whether a width x height image at four bytes a pixel is a real size within
// `maximumBytes`. Divides instead of multiplying, so that no header, however
// large its claim, can overflow the product.
constexpr bool fits(qint64 width, qint64 height, qint64 maximumBytes = limitBytes) {
    return width > 0 && height > 0 && maximumBytes >= 0 && width <= maximumBytes / 4 / height;
}

} // namespace KanvoAllocation
