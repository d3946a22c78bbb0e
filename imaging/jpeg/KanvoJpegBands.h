#pragma once

#include "imaging/KanvoBandDecoder.h"
#include "imaging/colour/KanvoIccProfile.h"

#include <QByteArray>
#include <QSize>
#include <memory>

// Regions of a JPEG too large to hold decoded, each decoded by libjpeg as
// its whole-image decode gives those pixels (CMYK converted as there).
// Every region skips the rows above it and crops the columns beside it
// (KanvoJpegCrop).
class KanvoJpegBands final : public KanvoBandDecoder {
public:
    // Keeps `file`, which is shared, not copied. Null when libjpeg refuses
    // the header.
    static std::unique_ptr<KanvoBandDecoder> index(QByteArray file);

    int largestReduction() const override { return 8; }
    QImage region(QRect area, int reduction) const override;

private:
    KanvoJpegBands() = default;

    QByteArray file_;
    QSize storedSize_;
    bool cmyk_ = false;
    KanvoIccProfile iccProfile_; // a CMYK image's, for its conversion
};
