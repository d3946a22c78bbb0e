#pragma once

#include "imaging/colour/KanvoIccProfile.h"

#include <QImage>

// A CMYK JPEG's pixels, as libjpeg gives them in an RGB32-sized image, turned
// into RGB32 in place. They are read as the encoders that write CMYK
// JPEGs store them, ink inverted, as libjpeg's own tools read every CMYK JPEG. With a CMYK profile
// the conversion goes through it to sRGB; without one (or with one Little
// CMS cannot use) the ink is simply multiplied out, as those tools do.
void convertCmykToRgb32(QImage& image, const KanvoIccProfile& cmykProfile);
