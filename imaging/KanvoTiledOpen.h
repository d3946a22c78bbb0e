#pragma once

#include "imaging/KanvoDecodedPixels.h"
#include "imaging/KanvoImage.h"

#include <functional>

class KanvoImageFile;

// Opens an image too large to hold decoded within the budget as an overview
// and tiles (KanvoImage::tiled). A JPEG's overview is its 1/8 decode, in
// pieces on every core, and is handed to `overviewReady` before the pass
// that indexes its rows; a PNG's or PPM's is made during that pass. Null
// when the file fails, its format cannot be held in tiles (an interlaced
// PNG, a plain-text PPM) or even its overview does not fit the budget.
namespace KanvoTiledOpen {

// Whether `file` is too large to hold decoded and goes tiled.
bool needsTiles(const KanvoImageFile& file);

// The bytes an image held in tiles takes at most: file, overview with its
// halvings, and tiles.
qint64 expectedBytes(const KanvoImageFile& file);

KanvoImage open(const KanvoImageFile& file,
                const std::function<void(const KanvoDecodedPixels&)>& overviewReady);

} // namespace KanvoTiledOpen
