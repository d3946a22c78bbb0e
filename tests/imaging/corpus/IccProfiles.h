#pragma once

#include <QByteArray>

// ICC profiles for the tagged fixtures that colord-data does not ship,
// built with Little CMS: matrix-shaper RGB profiles with a D65 white.
namespace IccProfiles {

// Display P3: P3 primaries with the sRGB tone curve.
QByteArray displayP3();

// ITU-R BT.2020 primaries with the BT.709/2020 tone curve.
QByteArray rec2020();

// Wide-gamut primaries (sRGB's red and blue, a greener green) with a
// different tabulated tone curve for each channel, large enough (about
// 180 KB) that a JPEG needs three APP2 segments for it.
QByteArray largeTabulated();

// `profile` with its 'acsp' signature overwritten: no colour engine accepts it.
QByteArray broken(QByteArray profile);

} // namespace IccProfiles
