#pragma once

#include <QImage>
#include <QList>
#include <QMutex>
#include <QSizeF>
#include <memory>

// A decoded image with several representations: the full-size pixels and a
// pyramid of area-averaged halvings down to about 256 px, so drawing a large
// photo small samples a level near the drawn size instead of every pixel.
// Copies share their pixels.
class KanvoImage {
public:
    KanvoImage() = default;

    // Builds the pyramid of `full`, halving in parallel bands. Levels are
    // premultiplied, so transparent edges do not darken.
    static KanvoImage withRepresentations(QImage full);

    bool isNull() const { return levels_.isEmpty(); }
    QSize size() const { return isNull() ? QSize() : levels_.constFirst().size(); }
    const QImage& full() const;
    // The full image as the canvas shows it: converted from its embedded
    // colour profile to the display's, at full resolution. The same pixels
    // as full() for an untagged or sRGB image.
    QImage fullForDisplay() const;
    // Full size first, then each halving.
    const QList<QImage>& representations() const { return levels_; }
    // The smallest representation at least as large as `drawnDevicePixels`
    // both ways: the one just above the target, full size when magnifying.
    const QImage& representationFor(QSizeF drawnDevicePixels) const;
    // The image resampled to exactly `devicePixels` (smaller than full size)
    // by area averaging from a representation at least `renditionSourceFactor`
    // times larger, so fine detail does not alias. The latest one is kept: repaints at one zoom (a
    // layer drag, a pan of a fitted image) reuse it.
    QImage renditionAt(QSize devicePixels) const;

    // Bytes held by every representation together.
    qsizetype byteCount() const;

    static constexpr double renditionSourceFactor = 4.0;

    // Longest side at which halving stops.
    static constexpr int smallestSide = 256;

private:
    struct Rendition {
        QMutex mutex;
        QImage image;
    };

    QList<QImage> levels_;
    // Shared by copies, like the levels; only a non-null image has one.
    std::shared_ptr<Rendition> rendition_;
};
