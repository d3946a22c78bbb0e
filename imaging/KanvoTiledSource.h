#pragma once

#include "imaging/KanvoBandDecoder.h"
#include "imaging/KanvoDisplayTiles.h"
#include "imaging/colour/KanvoIccProfile.h"
#include "kanvo/ui/exif_orientation.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <functional>
#include <memory>

// The full-resolution side of an image too large to hold decoded: square
// tiles of its upright pixels at full size, 1/2 and 1/4, decoded from the
// file when first drawn, on threads of a pool of their own, converted for
// the display, and kept (the most recently used first) within a byte budget.
// The overview beside it (KanvoImage) is drawn until they arrive.
// Thread-safe.
class KanvoTiledSource {
public:
    using Tile = KanvoDisplayTiles::Tile;
    static constexpr int tileSide = 512;
    // Tile levels are 1/1, 1/2 and 1/4; the overview is 1/8.
    static constexpr int overviewReduction = 8;

    KanvoTiledSource(std::unique_ptr<KanvoBandDecoder> bands, QSize storedSize,
                     kanvo::ui::ExifOrientation orientation, const KanvoIccProfile& profile,
                     qint64 budgetBytes, qint64 fileBytes);
    ~KanvoTiledSource();
    KanvoTiledSource(const KanvoTiledSource&) = delete;
    KanvoTiledSource& operator=(const KanvoTiledSource&) = delete;

    // The upright size at 1/`reduction`, each side rounded up.
    QSize levelSize(int reduction) const;
    // The tile level to draw `drawnDevicePixels` of the whole image from:
    // the smallest at least that large, full size when magnifying; 0 when
    // the overview is large enough.
    int reductionFor(QSizeF drawnDevicePixels) const;

    // The decoded tiles of level `reduction` that meet `area` (that level's
    // upright pixels). Those missing are asked for; each that lands calls
    // the arrival handler on the GUI thread. The tiles in use are kept.
    QList<Tile> covering(int reduction, QRect area);
    // Told, on the GUI thread, whenever a tile lands: the canvas repaints.
    void setArrivalHandler(std::function<void()> handler);

    // The file's upright pixels of `area` at 1/`reduction`, decoded now on
    // the calling thread and not kept nor converted: export reads these.
    // Null where the file fails.
    QImage uprightRegion(QRect area, int reduction) const;

    // The most the tiles may take, with the file's bytes they are decoded
    // from.
    qint64 heldBytes() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};
