#include "imaging/colour/KanvoCmyk.h"

#include "imaging/colour/KanvoLcms.h"

#include <vector>

namespace {

constexpr cmsUInt32Number argb32Layout =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;

bool convertThroughProfile(QImage& image, const KanvoIccProfile& cmykProfile) {
    const KanvoLcms::Profile source = KanvoLcms::openProfile(cmykProfile);
    if (!source || cmsGetColorSpace(source.get()) != cmsSigCmykData) {
        return false;
    }
    const KanvoLcms::Profile srgb(cmsCreate_sRGBProfile());
    const KanvoLcms::Transform transform(cmsCreateTransform(source.get(), TYPE_CMYK_8_REV,
                                                            srgb.get(), argb32Layout,
                                                            INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!transform) {
        return false;
    }
    // Little CMS leaves the alpha byte alone, so the row it writes into
    // starts opaque and stays so.
    std::vector<QRgb> row(size_t(image.width()), 0xFF000000);
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        cmsDoTransform(transform.get(), line, row.data(), cmsUInt32Number(image.width()));
        std::copy(row.begin(), row.end(), reinterpret_cast<QRgb*>(line));
    }
    return true;
}

} // namespace

void convertCmykToRgb32(QImage& image, const KanvoIccProfile& cmykProfile) {
    if (convertThroughProfile(image, cmykProfile)) {
        return;
    }
    for (int y = 0; y < image.height(); ++y) {
        uchar* pixel = image.scanLine(y);
        QRgb* out = reinterpret_cast<QRgb*>(pixel);
        for (int x = 0; x < image.width(); ++x, pixel += 4) {
            // Each stored value is what its ink leaves of white; rounded as
            // libjpeg's tools round it.
            const auto lit = [white = int(pixel[3])](int stored) {
                return (2 * stored * white + 255) / 510;
            };
            out[x] = qRgb(lit(pixel[0]), lit(pixel[1]), lit(pixel[2]));
        }
    }
}
