#include "imaging/KanvoImage.h"

#include "imaging/KanvoImageHalving.h"
#include "imaging/KanvoTiledSource.h"
#include "imaging/colour/KanvoColorTransform.h"

struct KanvoImage::PendingFull {
    std::shared_future<KanvoImage> full;
    std::function<void()> hurry;
};

KanvoImage KanvoImage::pyramidOf(KanvoDecodedPixels decoded, QSize size, Halvings halvings) {
    KanvoImage image;
    if (decoded.image.isNull()) {
        return image;
    }
    image.size_ = size.isValid() ? size : decoded.image.size();
    image.toDisplay_ = KanvoColorTransform::toDisplay(decoded.iccProfile);
    image.iccProfile_ = std::move(decoded.iccProfile);
    image.levels_.append(std::move(decoded.image));
    image.drawing_ = std::make_shared<Drawing>();
    while (halvings == Halvings::Now &&
           std::max(image.levels_.constLast().width(), image.levels_.constLast().height()) >
               smallestSide) {
        QImage next = KanvoImageHalving::halved(image.levels_.constLast());
        if (next.isNull()) {
            break; // out of memory: the levels so far still draw
        }
        image.levels_.append(std::move(next));
    }
    return image;
}

KanvoImage KanvoImage::withRepresentations(QImage full) {
    return pyramidOf({std::move(full), {}}, {}, Halvings::Now);
}

KanvoImage KanvoImage::withRepresentations(KanvoDecodedPixels decoded) {
    return pyramidOf(std::move(decoded), {}, Halvings::Now);
}

KanvoImage KanvoImage::preview(KanvoDecodedPixels reduced, QSize fullSize,
                               std::shared_future<KanvoImage> full, std::function<void()> hurry) {
    KanvoImage image = pyramidOf(std::move(reduced), fullSize, Halvings::Never);
    if (!image.isNull()) {
        image.pendingFull_ =
            std::make_shared<const PendingFull>(PendingFull{std::move(full), std::move(hurry)});
    }
    return image;
}

KanvoImage KanvoImage::tiled(KanvoDecodedPixels overview, QSize fullSize,
                             std::shared_ptr<KanvoTiledSource> tiles) {
    KanvoImage image = pyramidOf(std::move(overview), fullSize, Halvings::Now);
    if (!image.isNull()) {
        image.tiles_ = std::move(tiles);
    }
    return image;
}

KanvoImage KanvoImage::fullImage() const {
    if (!pendingFull_) {
        return *this;
    }
    pendingFull_->hurry();
    return pendingFull_->full.get();
}

const QImage& KanvoImage::pixels() const {
    static const QImage none;
    return isNull() ? none : levels_.constFirst();
}

QImage KanvoImage::fullForDisplay() const {
    QImage converted = pixels();
    if (toDisplay_) {
        toDisplay_->convert(converted);
    }
    return converted;
}

qsizetype KanvoImage::representationIndexFor(QSizeF drawnDevicePixels) const {
    for (qsizetype i = levels_.size() - 1; i > 0; --i) {
        const QImage& level = levels_.at(i);
        if (level.width() >= drawnDevicePixels.width() &&
            level.height() >= drawnDevicePixels.height()) {
            return i;
        }
    }
    return 0;
}

const QImage& KanvoImage::representationFor(QSizeF drawnDevicePixels) const {
    return isNull() ? pixels() : levels_.at(representationIndexFor(drawnDevicePixels));
}

QImage KanvoImage::renditionAt(QSize devicePixels) const {
    if (isNull()) {
        return {};
    }
    QMutexLocker lock(&drawing_->mutex);
    if (drawing_->rendition.size() != devicePixels) {
        // Qt's smooth scaling averages the covered area when it shrinks. From
        // a level at least four times the drawn size its footprint is close
        // enough to an exact average of the full image that fine detail keeps
        // its look, at a fraction of the cost of shrinking the full image.
        drawing_->rendition =
            representationFor(QSizeF(devicePixels) * renditionSourceFactor)
                .scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (toDisplay_) {
            toDisplay_->convert(drawing_->rendition);
        }
    }
    return drawing_->rendition;
}

QList<KanvoDisplayTiles::Tile> KanvoImage::displayTiles(qsizetype index, QRect area) const {
    if (isNull() || !toDisplay_ || index < 0 || index >= levels_.size()) {
        return {};
    }
    QMutexLocker lock(&drawing_->mutex);
    return drawing_->tiles.covering(levels_.at(index), int(index), area, *toDisplay_);
}

qsizetype KanvoImage::byteCount() const {
    qsizetype bytes = tiles_ ? tiles_->heldBytes() : 0;
    for (const QImage& level : levels_) {
        bytes += level.sizeInBytes();
    }
    return bytes;
}
