#pragma once

#include "imaging/KanvoTileLru.h"
#include "imaging/colour/KanvoColorTransform.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <memory>

// Converted pieces of an image's representations, for drawing a tagged image
// zoomed in, where only a part of a large level is on screen: converting
// that part once and keeping it makes a pan convert only the tiles it
// uncovers. Not thread-safe; its owner locks.
class KanvoDisplayTiles {
public:
    static constexpr int tileSide = 256;
    // About 64 MB of converted pixels: a large screen's worth at one level,
    // several times over.
    static constexpr int tileLimit = 256;

    struct Tile {
        QImage pixels; // converted, with a one-pixel apron of its neighbours
        QRect area;    // the pixels' place in the level, apron included
        QRect inner;   // the tile's own place in the level
    };

    // The tiles of `level` (index `levelIndex`) that meet `area`, converted
    // by `transform`, in no particular order.
    QList<Tile> covering(const QImage& level, int levelIndex, QRect area,
                         const KanvoColorTransform& transform);

private:
    struct Cell {
        int levelIndex;
        QPoint at; // in tiles
        bool operator==(const Cell&) const = default;
    };
    KanvoTileLru<Cell, Tile> tiles_; // each costing 1, within tileLimit
};
