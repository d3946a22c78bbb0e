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
    QList<Entry> missing;
    for (int row = area.top() / tileSide; row <= area.bottom() / tileSide; ++row) {
        for (int column = area.left() / tileSide; column <= area.right() / tileSide; ++column) {
            const QPoint cell(column, row);
            const auto kept = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
                return e.levelIndex == levelIndex && e.cell == cell;
            });
            if (kept != entries_.end()) {
                entries_.splice(entries_.begin(), entries_, kept);
                tiles.append(kept->tile);
                continue;
            }
            const QRect inner = QRect(cell * tileSide, QSize(tileSide, tileSide)) & level.rect();
            const QRect withApron = inner.adjusted(-1, -1, 1, 1) & level.rect();
            missing.append({levelIndex, cell, {level.copy(withApron), withApron, inner}});
        }
    }
    // New tiles are converted at once on every core: a first look at a zoomed
    // tagged photo costs a screenful of conversion, not a tile at a time. On
    // threads of this call's own: the global pool may be busy decoding, and
    // a paint must not queue behind it.
    const int threads = int(std::min<qsizetype>(missing.size(), QThread::idealThreadCount()));
    Entry* const entries = missing.data(); // detached once, here, not by each thread
    forEachInParallel(threads, [&](int thread) {
        for (qsizetype i = thread; i < missing.size(); i += threads) {
            transform.convert(entries[i].tile.pixels);
        }
    });
    for (Entry& entry : missing) {
        tiles.append(entry.tile);
        entries_.push_front(std::move(entry));
    }
    // The tiles in use now are at the front: never evicted, however many.
    while (entries_.size() > std::max<size_t>(tileLimit, size_t(tiles.size()))) {
        entries_.pop_back();
    }
    return tiles;
}
