#pragma once

#include <QByteArray>
#include <QtEndian>
#include <lcms2.h>
#include <memory>
#include <optional>
#include <type_traits>

// Owning handles for Little CMS objects.
namespace KanvoLcms {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};

using Profile = std::unique_ptr<std::remove_pointer_t<cmsHPROFILE>, ProfileCloser>;
using Transform = std::unique_ptr<std::remove_pointer_t<cmsHTRANSFORM>, TransformDeleter>;

// The size a profile's header claims for the whole profile, when the bytes
// hold a header and all it claims. Little CMS takes a profile cut short (a
// lost segment, a property read in part) and skips the tags past its end;
// such a profile is refused here instead. Bytes past the claim are padding.
inline std::optional<cmsUInt32Number> completeProfileSize(const QByteArray& icc) {
    constexpr qsizetype headerBytes = 128;
    if (icc.size() < headerBytes) {
        return std::nullopt;
    }
    const quint32 claimed = qFromBigEndian<quint32>(icc.constData());
    if (claimed < headerBytes || claimed > quint64(icc.size())) {
        return std::nullopt;
    }
    return claimed;
}

// Null for bytes that are no complete ICC profile Little CMS can read.
inline Profile openProfile(const QByteArray& icc) {
    const std::optional<cmsUInt32Number> size = completeProfileSize(icc);
    return Profile(size ? cmsOpenProfileFromMem(icc.constData(), *size) : nullptr);
}

// Whether colours can be converted into the profile: an RGB one with a way
// in from the connection space, not a device link.
inline bool isRgbOutput(cmsHPROFILE profile) {
    return cmsGetColorSpace(profile) == cmsSigRgbData &&
           cmsGetDeviceClass(profile) != cmsSigLinkClass &&
           cmsIsIntentSupported(profile, INTENT_PERCEPTUAL, LCMS_USED_AS_OUTPUT);
}

// The display's profile when it is given and colours can be converted into
// it, sRGB otherwise: a grey, CMYK or input-only profile published for the
// screen would leave every image drawn unconverted.
inline Profile openDisplayProfile(const QByteArray& icc) {
    Profile display = openProfile(icc);
    return display && isRgbOutput(display.get()) ? std::move(display)
                                                 : Profile(cmsCreate_sRGBProfile());
}

} // namespace KanvoLcms
