#pragma once

#include "imaging/colour/KanvoIccProfile.h"

#include <QImage>
#include <array>
#include <memory>

// Converts pixels from an image's embedded ICC profile to the display's
// profile with Little CMS. One transform serves any number of threads at once.
class KanvoColorTransform {
public:
    // Null when there is nothing to convert: no profile, a profile cut short
    // or one Little CMS cannot read or use (the image is then drawn as
    // stored, like an untagged one), or one that draws within a level of the
    // display's own (an sRGB photo on an sRGB screen), so such images cost
    // nothing extra. Transforms are kept per profile, so a camera's photos
    // share one.
    static std::shared_ptr<const KanvoColorTransform> toDisplay(const KanvoIccProfile& iccProfile);

    ~KanvoColorTransform();
    KanvoColorTransform(const KanvoColorTransform&) = delete;
    KanvoColorTransform& operator=(const KanvoColorTransform&) = delete;

    // Converts `image` in place. Takes any format the decoders and the
    // pyramid produce; premultiplied pixels are converted unpremultiplied,
    // and alpha is kept. A grey profile reads the first channel of pixels
    // whose three channels are equal, as grey files decode.
    void convert(QImage& image) const;

private:
    struct Transforms;
    explicit KanvoColorTransform(std::unique_ptr<Transforms> transforms);

    std::unique_ptr<Transforms> transforms_;
};
