#pragma once

#include <QByteArray>
#include <QImage>

// A CMYK JPEG's pixels, as libjpeg gives them in an RGB32-sized image, turned
// into RGB32 in place. Adobe's files store ink inverted (`inverted`). With a
// CMYK profile the conversion goes through it to sRGB; without one (or with
// one Little CMS cannot use) ink is simply multiplied out, as viewers do.
void convertCmykToRgb32(QImage& image, bool inverted, const QByteArray& cmykProfile);
