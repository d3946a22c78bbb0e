#include "imaging/KanvoImage.h"

#include "imaging/KanvoImageHalving.h"

KanvoImage KanvoImage::withRepresentations(QImage full) {
    KanvoImage image;
    if (full.isNull()) {
        return image;
    }
    image.levels_.append(std::move(full));
    image.rendition_ = std::make_shared<Rendition>();
    while (std::max(image.levels_.constLast().width(), image.levels_.constLast().height()) >
           smallestSide) {
        QImage next = KanvoImageHalving::halved(image.levels_.constLast());
        if (next.isNull()) {
            break; // out of memory: the levels so far still draw
        }
        image.levels_.append(std::move(next));
    }
    return image;
}

const QImage& KanvoImage::full() const {
    static const QImage none;
    return isNull() ? none : levels_.constFirst();
}

QImage KanvoImage::fullForDisplay() const {
    return full();
}

const QImage& KanvoImage::representationFor(QSizeF drawnDevicePixels) const {
    for (qsizetype i = levels_.size() - 1; i > 0; --i) {
        const QImage& level = levels_.at(i);
        if (level.width() >= drawnDevicePixels.width() &&
            level.height() >= drawnDevicePixels.height()) {
            return level;
        }
    }
    return full();
}

QImage KanvoImage::renditionAt(QSize devicePixels) const {
    if (isNull()) {
        return {};
    }
    QMutexLocker lock(&rendition_->mutex);
    if (rendition_->image.size() != devicePixels) {
        // Qt's smooth scaling averages the covered area when it shrinks. From
        // a level at least four times the drawn size its footprint is close
        // enough to an exact average of the full image that fine detail keeps
        // its look, at a fraction of the cost of shrinking the full image.
        rendition_->image =
            representationFor(QSizeF(devicePixels) * renditionSourceFactor)
                .scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return rendition_->image;
}

qsizetype KanvoImage::byteCount() const {
    qsizetype bytes = 0;
    for (const QImage& level : levels_) {
        bytes += level.sizeInBytes();
    }
    return bytes;
}
