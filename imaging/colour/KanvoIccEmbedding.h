#pragma once

#include "imaging/colour/KanvoIccProfile.h"

#include <QByteArray>

// Puts an ICC profile into an encoded file the way readers look for it, so an
// exported image keeps the colours its pixels were made for.
namespace KanvoIccEmbedding {

// An iCCP chunk right after IHDR. `png` unchanged when it is no PNG.
QByteArray intoPng(const QByteArray& png, const KanvoIccProfile& profile);

// ICC_PROFILE APP2 segments (as many as the profile needs) after SOI and
// any JFIF APP0. `jpeg` unchanged when it is no JPEG, or when the profile
// needs more than the 255 segments a one-byte count can number.
QByteArray intoJpeg(const QByteArray& jpeg, const KanvoIccProfile& profile);

} // namespace KanvoIccEmbedding
