#pragma once

#include <QByteArray>
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

// Null for bytes that are no ICC profile Little CMS can read.
inline Profile openProfile(const QByteArray& icc) {
    return Profile(icc.isEmpty()
                       ? nullptr
                       : cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
}

// The display's profile when it is given, sRGB otherwise.
inline Profile openDisplayProfile(const QByteArray& icc) {
    Profile display = openProfile(icc);
    return display ? std::move(display) : Profile(cmsCreate_sRGBProfile());
}

} // namespace KanvoLcms
