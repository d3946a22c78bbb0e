#include "imaging/KanvoTiledSource.h"

#include "imaging/KanvoImageHalving.h"
#include "imaging/KanvoOrientation.h"
#include "imaging/KanvoReduction.h"
#include "imaging/KanvoTileLru.h"
#include "imaging/colour/KanvoColorTransform.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QThread>
#include <QThreadPool>

namespace {

// Tiles are decoded on a pool of their own: the decode jobs' pool may be
// indexing a whole file, and a tile a person waits for must not queue
// behind it, nor behind Qt's own fills on the global pool.
QThreadPool& tilePool() {
    static QThreadPool pool;
    static const bool sized = [] {
        pool.setMaxThreadCount(QThread::idealThreadCount());
        return true;
    }();
    (void)sized;
    return pool;
}

quint64 keyOf(int reduction, int column, int row) {
    return quint64(reduction) << 48 | quint64(row) << 24 | quint64(column);
}

} // namespace

struct KanvoTiledSource::State {
    std::unique_ptr<KanvoBandDecoder> bands;
    QSize storedSize;
    kanvo::ui::ExifOrientation orientation;
    std::shared_ptr<const KanvoColorTransform> toDisplay;
    qint64 budget;
    qint64 fileBytes;

    QMutex mutex;
    KanvoTileLru<quint64, Tile> kept; // costing their bytes
    QSet<quint64> pending;
    QSet<quint64> inUse; // every tile the latest covering() met
    std::function<void()> arrival;

    QSize levelSize(int reduction) const {
        const QSize stored = reducedSize(storedSize, reduction);
        return kanvo::ui::swapsWidthAndHeight(orientation) ? stored.transposed() : stored;
    }

    QImage uprightRegion(QRect area, int reduction) const {
        if (reduction > bands->largestReduction()) {
            // Halved from full size, as the pyramid of the whole upright
            // image is: the area starts on a multiple of the reduction, so
            // every 2 x 2 block is the whole image's.
            QImage pixels =
                uprightRegion(QRect(area.topLeft() * reduction, area.size() * reduction) &
                                  QRect(QPoint(), levelSize(1)),
                              1);
            for (int step = reduction; step > 1 && !pixels.isNull(); step /= 2) {
                pixels = KanvoImageHalving::halved(pixels);
            }
            return pixels;
        }
        const QSize storedLevel = reducedSize(storedSize, reduction);
        const QRect stored = uprightTransform(storedLevel, orientation)
                                 .inverted()
                                 .mapRect(QRectF(area))
                                 .toAlignedRect() &
                             QRect(QPoint(), storedLevel);
        if (stored.isEmpty()) {
            return {};
        }
        QImage pixels = bands->region(stored, reduction);
        return pixels.isNull() ? pixels : uprightImage(std::move(pixels), orientation);
    }

    // Drops the least recently used tiles beyond the budget, but never one
    // in use: a budget smaller than a screenful must not make tiles evict
    // each other as they arrive.
    void evict() {
        kept.evictBeyond(budget, [this](quint64 key) { return inUse.contains(key); });
    }

    void decode(quint64 key, int reduction, QRect inner) {
        {
            const QMutexLocker lock(&mutex);
            if (!inUse.contains(key)) {
                pending.remove(key); // scrolled away before its turn
                return;
            }
        }
        const QRect withApron =
            inner.adjusted(-1, -1, 1, 1) & QRect(QPoint(), levelSize(reduction));
        QImage pixels = uprightRegion(withApron, reduction);
        if (!pixels.isNull() && toDisplay) {
            toDisplay->convert(pixels);
        }
        std::function<void()> handler;
        {
            const QMutexLocker lock(&mutex);
            pending.remove(key);
            const qint64 bytes = pixels.sizeInBytes();
            // A tile that failed is kept too, empty, so that it is not tried
            // at every repaint: the overview stays in its place.
            kept.add(key, {std::move(pixels), withApron, inner}, bytes);
            evict();
            handler = arrival;
        }
        if (handler && QCoreApplication::instance() != nullptr) {
            QMetaObject::invokeMethod(QCoreApplication::instance(), handler, Qt::QueuedConnection);
        }
    }
};

KanvoTiledSource::KanvoTiledSource(std::unique_ptr<KanvoBandDecoder> bands, QSize storedSize,
                                   kanvo::ui::ExifOrientation orientation,
                                   const KanvoIccProfile& profile, qint64 budgetBytes,
                                   qint64 fileBytes)
    : state_(std::make_shared<State>()) {
    state_->bands = std::move(bands);
    state_->storedSize = storedSize;
    state_->orientation = orientation;
    state_->toDisplay = KanvoColorTransform::toDisplay(profile);
    state_->budget = budgetBytes;
    state_->fileBytes = fileBytes;
}

KanvoTiledSource::~KanvoTiledSource() {
    // Queued tiles hold the state; none of them is wanted any more.
    const QMutexLocker lock(&state_->mutex);
    state_->inUse.clear();
    state_->arrival = nullptr;
}

QSize KanvoTiledSource::levelSize(int reduction) const {
    return state_->levelSize(reduction);
}

int KanvoTiledSource::reductionFor(QSizeF drawnDevicePixels) const {
    for (int reduction : {overviewReduction, 4, 2}) {
        const QSize level = levelSize(reduction);
        if (level.width() >= drawnDevicePixels.width() &&
            level.height() >= drawnDevicePixels.height()) {
            return reduction == overviewReduction ? 0 : reduction;
        }
    }
    return 1;
}

QList<KanvoTiledSource::Tile> KanvoTiledSource::covering(int reduction, QRect area) {
    area &= QRect(QPoint(), levelSize(reduction));
    QList<Tile> tiles;
    if (area.isEmpty()) {
        return tiles;
    }
    std::vector<std::pair<quint64, QRect>> missing;
    {
        const QMutexLocker lock(&state_->mutex);
        state_->inUse.clear();
        for (int row = area.top() / tileSide; row <= area.bottom() / tileSide; ++row) {
            for (int column = area.left() / tileSide; column <= area.right() / tileSide; ++column) {
                const quint64 key = keyOf(reduction, column, row);
                state_->inUse.insert(key);
                if (const Tile* const kept = state_->kept.use(key)) {
                    if (!kept->pixels.isNull()) {
                        tiles.append(*kept);
                    }
                    continue;
                }
                if (!state_->pending.contains(key)) {
                    state_->pending.insert(key);
                    missing.emplace_back(
                        key, QRect(column * tileSide, row * tileSide, tileSide, tileSide) &
                                 QRect(QPoint(), levelSize(reduction)));
                }
            }
        }
        state_->evict();
    }
    for (const std::pair<quint64, QRect>& tile : missing) {
        tilePool().start([state = state_, tile, reduction] {
            state->decode(tile.first, reduction, tile.second);
        });
    }
    return tiles;
}

void KanvoTiledSource::setArrivalHandler(std::function<void()> handler) {
    const QMutexLocker lock(&state_->mutex);
    state_->arrival = std::move(handler);
}

QImage KanvoTiledSource::uprightRegion(QRect area, int reduction) const {
    return state_->uprightRegion(area, reduction);
}

qint64 KanvoTiledSource::heldBytes() const {
    return state_->budget + state_->fileBytes;
}
