#include "ColourReference.h"

#include <lcms2.h>
#include <memory>

QImage ColourReference::toSrgb(const ReferenceImage& reference) {
    const QByteArray& profile = reference.profile;
    if (profile.isEmpty() || reference.pixels.isNull()) {
        return {};
    }
    const std::unique_ptr<void, decltype(&cmsCloseProfile)> source(
        cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size())),
        cmsCloseProfile);
    const std::unique_ptr<void, decltype(&cmsCloseProfile)> srgb(cmsCreate_sRGBProfile(),
                                                                 cmsCloseProfile);
    const cmsColorSpaceSignature space = source ? cmsGetColorSpace(source.get()) : cmsSigXYZData;
    const QSize size = reference.pixels.size();
    // CMYK JPEGs store ink inverted, 255 for no ink; Little CMS's CMYK has 0.
    // RGB samples keep their alpha; Little CMS leaves CMYK's output alpha
    // alone, so it starts opaque.
    const bool cmyk = !reference.cmyk.isEmpty();
    if (space != (cmyk ? cmsSigCmykData : cmsSigRgbData)) {
        return {};
    }
    const std::unique_ptr<void, decltype(&cmsDeleteTransform)> transform(
        cmsCreateTransform(source.get(), cmyk ? TYPE_CMYK_8_REV : TYPE_RGBA_8, srgb.get(),
                           TYPE_RGBA_8, INTENT_PERCEPTUAL, cmyk ? 0 : cmsFLAGS_COPY_ALPHA),
        cmsDeleteTransform);
    if (!transform) {
        return {};
    }
    const QImage samples = reference.pixels.convertToFormat(QImage::Format_RGBA8888);
    QImage image(size, QImage::Format_RGBA8888);
    image.fill(Qt::white);
    for (int y = 0; y < size.height(); ++y) {
        const void* in = cmyk ? reference.cmyk.constData() + qsizetype(y) * size.width() * 4
                              : static_cast<const void*>(samples.constScanLine(y));
        cmsDoTransform(transform.get(), in, image.scanLine(y), cmsUInt32Number(size.width()));
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}
