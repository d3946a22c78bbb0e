#include "ColourReference.h"

#include <lcms2.h>
#include <memory>

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

Transform transformTo(const Profile& source, cmsUInt32Number inputFormat,
                      cmsUInt32Number outputFormat, cmsUInt32Number flags) {
    const Profile srgb(cmsCreate_sRGBProfile());
    return Transform(cmsCreateTransform(source.get(), inputFormat, srgb.get(), outputFormat,
                                        INTENT_PERCEPTUAL, flags));
}

// RGB samples keep their alpha.
QImage convertRgb(const QImage& pixels, const Profile& source) {
    const Transform transform = transformTo(source, TYPE_RGBA_8, TYPE_RGBA_8, cmsFLAGS_COPY_ALPHA);
    if (!transform) {
        return {};
    }
    const QImage samples = pixels.convertToFormat(QImage::Format_RGBA8888);
    QImage image(samples.size(), QImage::Format_RGBA8888);
    for (int y = 0; y < image.height(); ++y) {
        cmsDoTransform(transform.get(), samples.constScanLine(y), image.scanLine(y),
                       cmsUInt32Number(image.width()));
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage convertCmyk(const ReferenceImage& reference, const Profile& source) {
    // CMYK JPEGs store ink inverted, 255 for no ink; Little CMS's CMYK has 0.
    const Transform transform = transformTo(source, TYPE_CMYK_8_REV, TYPE_RGBA_8, 0);
    if (!transform) {
        return {};
    }
    QImage image(reference.pixels.size(), QImage::Format_RGBA8888);
    image.fill(Qt::white); // opaque: Little CMS leaves the alpha bytes alone
    const qsizetype rowBytes = qsizetype(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y) {
        cmsDoTransform(transform.get(), reference.cmyk.constData() + y * rowBytes,
                       image.scanLine(y), cmsUInt32Number(image.width()));
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

QImage ColourReference::toSrgb(const ReferenceImage& reference, const QByteArray& profile) {
    if (profile.isEmpty() || reference.pixels.isNull()) {
        return {};
    }
    const Profile source(
        cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size())));
    if (!source) {
        return {};
    }
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    if (space == cmsSigRgbData && reference.cmyk.isEmpty()) {
        return convertRgb(reference.pixels, source);
    }
    const qsizetype pixels = qsizetype(reference.pixels.width()) * reference.pixels.height();
    if (space == cmsSigCmykData && reference.cmyk.size() == pixels * 4) {
        return convertCmyk(reference, source);
    }
    return {};
}
