#pragma once

#include "imaging/colour/KanvoIccProfile.h"

#include <lcms2.h>
#include <memory>
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

// Null for bytes that are no complete ICC profile Little CMS can read.
inline Profile openProfile(const KanvoIccProfile& icc) {
    const std::optional<quint32> size = icc.completeSize();
    return Profile(size ? cmsOpenProfileFromMem(icc.bytes().constData(), *size) : nullptr);
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
inline Profile openDisplayProfile(const KanvoIccProfile& icc) {
    Profile display = openProfile(icc);
    return display && isRgbOutput(display.get()) ? std::move(display)
                                                 : Profile(cmsCreate_sRGBProfile());
}

} // namespace KanvoLcms
