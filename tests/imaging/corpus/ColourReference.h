#pragma once

#include "ReferenceDecoder.h"

#include <QImage>

// The colours a colour-managed viewer shows on an sRGB display: the
// reference's samples converted from its embedded profile to sRGB by Little
// CMS 2 (perceptual intent). Null when no conversion applies: no profile, a
// profile Little CMS cannot read, or one for another colour model than the
// samples'. Such a file shows as stored.
namespace ColourReference {

QImage toSrgb(const ReferenceImage& reference);

} // namespace ColourReference
