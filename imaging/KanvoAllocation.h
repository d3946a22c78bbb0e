#pragma once

#include <QtGlobal>

// How much memory decoded images may take. A leaf, so that every decoder
// and the cache can include it.
namespace KanvoAllocation {

// The memory every decoded image together may take, the one on screen and
// those kept for reopening: a quarter of physical memory, at most 4 GiB,
// unless KANVO_CACHE_MB (mebibytes, fractions too) says otherwise. Read at
// each call.
qint64 budgetBytes();

// The most one image's full-size pixels may take: with the third more its
// pyramid of halvings needs, a quarter of the budget, so that a few images
// stay cached beside it and the cores are not kept minutes at a gigapixel
// that tiles would show in a second. A larger image is held in tiles
// (KanvoTiledOpen); no whole decode allocates more, whatever the header
// claims.
qint64 largestImageBytes();

// Whether a width x height image at four bytes a pixel is a real size within
// `maximumBytes`: the one check every decoding path makes before it
// allocates pixels. Divides instead of multiplying, so that no header,
// however large its claim, can overflow the product.
constexpr bool fits(qint64 width, qint64 height, qint64 maximumBytes) {
    return width > 0 && height > 0 && maximumBytes >= 0 && width <= maximumBytes / 4 / height;
}

} // namespace KanvoAllocation
