#pragma once

#include "imaging/KanvoDecodedPixels.h"
#include "imaging/KanvoImage.h"

#include <functional>

class KanvoImageFile;

// Opens an image too large to hold decoded within the budget as an overview
// and tiles (KanvoImage::tiled). A JPEG's overview is its 1/8 decode, in
// pieces on every core, and is handed whole to `overviewReady` before the
// pass that indexes its rows. A PNG's or PPM's is made during that pass,
// which zlib makes take seconds: it is handed out as it arrives, a few
// times a second, its rows not yet made transparent. Null when the file
// fails, its format cannot be held in tiles (an interlaced PNG, a
// plain-text PPM) or even its overview does not fit the budget. An empty
// `overviewReady` (nobody to show it to) costs the pass nothing.
namespace KanvoTiledOpen {

// Whether `file` is too large to hold decoded and goes tiled.
bool needsTiles(const KanvoImageFile& file);

// The bytes an image held in tiles takes at most: file, overview with its
// halvings, and tiles.
qint64 expectedBytes(const KanvoImageFile& file);

using OverviewHandler = std::function<void(const KanvoDecodedPixels& overview, bool whole)>;

KanvoImage open(const KanvoImageFile& file, const OverviewHandler& overviewReady);

} // namespace KanvoTiledOpen
