#include "IccProfiles.h"

#include <cmath>
#include <lcms2.h>
#include <vector>

namespace {

constexpr cmsCIExyY d65{0.3127, 0.3290, 1.0};

// Saves a profile built from `primaries` and one curve for each channel.
QByteArray save(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* const curves[3],
                const char* description) {
    cmsToneCurve* channels[3] = {curves[0], curves[1], curves[2]};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, channels);
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", description);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// Y = (aX + b)^g above d, cX below: the sRGB and BT.709 shapes.
QByteArray withParametricCurve(const cmsCIExyYTRIPLE& primaries, const cmsFloat64Number (&shape)[5],
                               const char* description) {
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, shape);
    cmsToneCurve* const curves[3] = {curve, curve, curve};
    QByteArray bytes = save(primaries, curves, description);
    cmsFreeToneCurve(curve);
    return bytes;
}

} // namespace

QByteArray IccProfiles::displayP3() {
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return withParametricCurve(primaries, srgbCurve, "Display P3 (test)");
}

QByteArray IccProfiles::rec2020() {
    const cmsCIExyYTRIPLE primaries{{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}};
    const cmsFloat64Number bt709Curve[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
    return withParametricCurve(primaries, bt709Curve, "Rec. 2020 (test)");
}

QByteArray IccProfiles::largeTabulated() {
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    // 60 KB a curve; Little CMS reads tabulated curves of up to 32767 entries.
    constexpr int entries = 30000;
    const double gammas[3] = {1.8, 2.2, 2.6};
    cmsToneCurve* curves[3];
    for (int c = 0; c < 3; ++c) {
        std::vector<cmsUInt16Number> table(entries);
        for (int i = 0; i < entries; ++i) {
            table[size_t(i)] = cmsUInt16Number(
                std::lround(65535 * std::pow(double(i) / (entries - 1), gammas[c])));
        }
        curves[c] = cmsBuildTabulatedToneCurve16(nullptr, entries, table.data());
    }
    QByteArray bytes = save(primaries, curves, "Large tabulated RGB (test)");
    for (cmsToneCurve* curve : curves) {
        cmsFreeToneCurve(curve);
    }
    return bytes;
}

QByteArray IccProfiles::broken(QByteArray profile) {
    constexpr qsizetype signatureOffset = 36;
    profile.replace(signatureOffset, 4, "xxxx");
    return profile;
}
