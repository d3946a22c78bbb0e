#pragma once

#include "imaging/KanvoBandDecoder.h"
#include "imaging/colour/KanvoIccProfile.h"
#include "imaging/jpeg/KanvoJpegBandIndex.h"

#include <QByteArray>
#include <QSize>
#include <memory>
#include <optional>

// Regions of a JPEG too large to hold decoded, each decoded by libjpeg as
// its whole-image decode gives those pixels (CMYK converted as there).
// A baseline file whose scan index() reads through cleanly is decoded from
// the MCU row above a region's (KanvoJpegBandIndex, KanvoJpegBandStream);
// any other, and any region that way cannot give, skips the rows above it
// within libjpeg (KanvoJpegCrop). Either way libjpeg crops the columns
// beside the region.
class KanvoJpegBands final : public KanvoBandDecoder {
public:
    // Keeps `file`, which is shared, not copied. Null when libjpeg refuses
    // the header.
    static std::unique_ptr<KanvoJpegBands> index(QByteArray file);

    int largestReduction() const override { return 8; }
    QImage region(QRect area, int reduction) const override;

    // Whether regions start at the rows index() recorded rather than at the
    // file's start.
    bool randomAccess() const { return index_.has_value(); }

private:
    KanvoJpegBands() = default;
    // `area` from the band of MCU rows around it; null where that fails.
    QImage fromBand(QRect area, int reduction) const;

    QByteArray file_;
    QSize storedSize_;
    bool cmyk_ = false;
    KanvoIccProfile iccProfile_; // a CMYK image's, for its conversion
    std::optional<KanvoJpegBandIndex::Index> index_;
};
