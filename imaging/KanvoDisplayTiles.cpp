#include "imaging/KanvoDisplayTiles.h"

#include "imaging/KanvoParallel.h"

#include <QThread>
#include <algorithm>

QList<KanvoDisplayTiles::Tile> KanvoDisplayTiles::covering(const QImage& level, int levelIndex,
                                                           QRect area,
                                                           const KanvoColorTransform& transform) {
    area &= level.rect();
    QList<Tile> tiles;
    if (area.isEmpty()) {
        return tiles;
    }
    const QRect cells(QPoint(area.left() / tileSide, area.top() / tileSide),
                      QPoint(area.right() / tileSide, area.bottom() / tileSide));
    struct Missing {
        Cell cell;
        Tile tile;
    };
    QList<Missing> missing;
    for (int row = cells.top(); row <= cells.bottom(); ++row) {
        for (int column = cells.left(); column <= cells.right(); ++column) {
            const QPoint cell(column, row);
            if (const Tile* const kept = tiles_.use({levelIndex, cell})) {
                tiles.append(*kept);
                continue;
            }
            const QRect inner = QRect(cell * tileSide, QSize(tileSide, tileSide)) & level.rect();
            const QRect withApron = inner.adjusted(-1, -1, 1, 1) & level.rect();
            missing.append({{levelIndex, cell}, {level.copy(withApron), withApron, inner}});
        }
    }
    // New tiles are converted at once on every core: a first look at a zoomed
    // tagged photo costs a screenful of conversion, not a tile at a time. On
    // threads of this call's own: the global pool may be busy decoding, and
    // a paint must not queue behind it.
    const int threads = int(std::min<qsizetype>(missing.size(), QThread::idealThreadCount()));
    Missing* const entries = missing.data(); // detached once, here, not by each thread
    forEachInParallel(threads, [&](int thread) {
        for (qsizetype i = thread; i < missing.size(); i += threads) {
            transform.convert(entries[i].tile.pixels);
        }
    });
    for (Missing& entry : missing) {
        tiles.append(entry.tile);
        tiles_.add(entry.cell, std::move(entry.tile), 1);
    }
    // The tiles of this area are in use: never evicted, however many.
    tiles_.evictBeyond(tileLimit, [&](const Cell& kept) {
        return kept.levelIndex == levelIndex && cells.contains(kept.at);
    });
    return tiles;
}
