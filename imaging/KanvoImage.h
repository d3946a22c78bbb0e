#pragma once

#include "imaging/KanvoDecodedPixels.h"
#include "imaging/KanvoDisplayTiles.h"

#include <QImage>
#include <QList>
#include <QMutex>
#include <QSizeF>
#include <functional>
#include <future>
#include <memory>

class KanvoColorTransform;
class KanvoTiledSource;

// A decoded image with several representations: the full-size pixels and a
// pyramid of area-averaged halvings down to about 256 px, so drawing a large
// photo small samples a level near the drawn size instead of every pixel.
// Copies share their pixels.
//
// The pixels are the file's own; an image whose embedded colour profile
// differs from the display's carries the transform that converts what is
// drawn, so export can write the pixels and their profile unchanged.
//
// A preview stands in for the full image while it is decoded: a JPEG's
// reduced decode, or a PNG's full pixels before their halvings, whose size()
// is the full image's, so it fits, zooms and snaps exactly as the full image
// will, and is drawn (enlarged, when reduced) until replaced.
//
// An image too large to hold decoded within the budget is tiled: its
// representations are an overview (1/8 of full size) and its halvings, and a
// KanvoTiledSource decodes the finer levels tile by tile as they are drawn.
class KanvoImage {
public:
    KanvoImage() = default;

    // Builds the pyramid of `full`, halving in parallel bands. Levels are
    // premultiplied, so transparent edges do not darken.
    static KanvoImage withRepresentations(QImage full);
    static KanvoImage withRepresentations(KanvoDecodedPixels decoded);

    // `reduced` drawn at `fullSize` until `full` is ready; `hurry` is called
    // before anyone waits for the full image. A preview (a reduced decode,
    // or the full pixels before their halvings are made) stands in for a
    // moment at about the fitted size, so it has no pyramid of its own.
    static KanvoImage preview(KanvoDecodedPixels reduced, QSize fullSize,
                              std::shared_future<KanvoImage> full, std::function<void()> hurry);

    // `overview` drawn at `fullSize`, with its halvings, and `tiles` for
    // everything finer.
    static KanvoImage tiled(KanvoDecodedPixels overview, QSize fullSize,
                            std::shared_ptr<KanvoTiledSource> tiles);

    bool isNull() const { return levels_.isEmpty(); }
    // The full image's size, also for a preview.
    QSize size() const { return isNull() ? QSize() : size_; }
    bool isPreview() const { return pendingFull_ != nullptr; }
    // The tiles of an image too large to hold decoded; null for the others.
    KanvoTiledSource* tiles() const { return tiles_.get(); }
    // The full image: this one, or for a preview the one it stands in for,
    // waited for (null when its decode failed).
    KanvoImage fullImage() const;

    // The largest pixels held: full size, or a preview's reduced decode.
    const QImage& pixels() const;
    const KanvoIccProfile& iccProfile() const { return iccProfile_; }
    // The full image as the canvas shows it: converted from its embedded
    // colour profile to the display's, at full resolution. The same pixels
    // as pixels() for an untagged or sRGB image.
    QImage fullForDisplay() const;
    // Whether drawing converts colours, which only tiles and renditions do.
    bool convertsColours() const { return toDisplay_ != nullptr; }

    // Full size first, then each halving.
    const QList<QImage>& representations() const { return levels_; }
    // The smallest representation at least as large as `drawnDevicePixels`
    // both ways: the one just above the target, full size when magnifying.
    const QImage& representationFor(QSizeF drawnDevicePixels) const;
    // The same choice as an index into representations().
    qsizetype representationIndexFor(QSizeF drawnDevicePixels) const;
    // The image resampled to exactly `devicePixels` (smaller than full size)
    // by area averaging from a representation at least `renditionSourceFactor`
    // times larger, so fine detail does not alias, and converted for the
    // display. The latest one is kept: repaints at one zoom (a layer drag, a
    // pan of a fitted image) reuse it.
    QImage renditionAt(QSize devicePixels) const;
    // For an image that converts colours: the converted tiles of
    // representation `index` that cover `area` (in that level's pixels).
    QList<KanvoDisplayTiles::Tile> displayTiles(qsizetype index, QRect area) const;

    // Bytes held by every representation together, and for a tiled image
    // the most its tiles may take with the file they come from.
    qsizetype byteCount() const;

    static constexpr double renditionSourceFactor = 4.0;

    // Longest side at which halving stops.
    static constexpr int smallestSide = 256;

private:
    // Derived drawing data, shared by copies like the levels.
    struct Drawing {
        QMutex mutex;
        QImage rendition;
        KanvoDisplayTiles tiles;
    };
    struct PendingFull;

    enum class Halvings { Now, Never };
    static KanvoImage pyramidOf(KanvoDecodedPixels decoded, QSize size, Halvings halvings);

    QList<QImage> levels_;
    QSize size_;
    KanvoIccProfile iccProfile_;
    std::shared_ptr<const KanvoColorTransform> toDisplay_;
    std::shared_ptr<Drawing> drawing_; // only a non-null image has one
    std::shared_ptr<const PendingFull> pendingFull_;
    std::shared_ptr<KanvoTiledSource> tiles_;
};
