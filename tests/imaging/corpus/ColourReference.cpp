#include "ReferenceDecoder.h"

#include <lcms2.h>
#include <memory>

QImage ReferenceImage::inSrgb() const {
    if (profile.isEmpty() || pixels.isNull()) {
        return {};
    }
    const std::unique_ptr<void, decltype(&cmsCloseProfile)> source(
        cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size())),
        cmsCloseProfile);
    const std::unique_ptr<void, decltype(&cmsCloseProfile)> srgb(cmsCreate_sRGBProfile(),
                                                                 cmsCloseProfile);
    const cmsColorSpaceSignature space = source ? cmsGetColorSpace(source.get()) : cmsSigXYZData;
    const QSize size = pixels.size();
    // CMYK JPEGs store ink inverted, 255 for no ink; Little CMS's CMYK has 0.
    // RGB samples keep their alpha; Little CMS leaves CMYK's output alpha
    // alone, so it starts opaque.
    const bool isCmyk = !cmyk.isEmpty();
    if (space != (isCmyk ? cmsSigCmykData : cmsSigRgbData)) {
        return {};
    }
    const std::unique_ptr<void, decltype(&cmsDeleteTransform)> transform(
        cmsCreateTransform(source.get(), isCmyk ? TYPE_CMYK_8_REV : TYPE_RGBA_8, srgb.get(),
                           TYPE_RGBA_8, INTENT_PERCEPTUAL, isCmyk ? 0 : cmsFLAGS_COPY_ALPHA),
        cmsDeleteTransform);
    if (!transform) {
        return {};
    }
    const QImage samples = pixels.convertToFormat(QImage::Format_RGBA8888);
    QImage image(size, QImage::Format_RGBA8888);
    image.fill(Qt::white);
    for (int y = 0; y < size.height(); ++y) {
        const void* in = isCmyk ? cmyk.constData() + qsizetype(y) * size.width() * 4
                                : static_cast<const void*>(samples.constScanLine(y));
        cmsDoTransform(transform.get(), in, image.scanLine(y), cmsUInt32Number(size.width()));
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}
