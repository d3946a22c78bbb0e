#include "imaging/KanvoCmyk.h"

#include "imaging/KanvoLcms.h"

#include <vector>

namespace {

constexpr cmsUInt32Number argb32Layout =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;

bool convertThroughProfile(QImage& image, bool inverted, const QByteArray& cmykProfile) {
    const KanvoLcms::Profile source = KanvoLcms::openProfile(cmykProfile);
    if (!source || cmsGetColorSpace(source.get()) != cmsSigCmykData) {
        return false;
    }
    const KanvoLcms::Profile srgb(cmsCreate_sRGBProfile());
    const KanvoLcms::Transform transform(
        cmsCreateTransform(source.get(), inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, srgb.get(),
                           argb32Layout, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
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

void convertCmykToRgb32(QImage& image, bool inverted, const QByteArray& cmykProfile) {
    if (convertThroughProfile(image, inverted, cmykProfile)) {
        return;
    }
    for (int y = 0; y < image.height(); ++y) {
        uchar* pixel = image.scanLine(y);
        QRgb* out = reinterpret_cast<QRgb*>(pixel);
        for (int x = 0; x < image.width(); ++x, pixel += 4) {
            // What is left of white once each ink is taken away.
            const auto clear = [inverted](int stored) {
                return inverted ? stored : 255 - stored;
            };
            const int white = clear(pixel[3]);
            out[x] = qRgb(clear(pixel[0]) * white / 255, clear(pixel[1]) * white / 255,
                          clear(pixel[2]) * white / 255);
        }
    }
}
