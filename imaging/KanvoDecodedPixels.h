#pragma once

#include "imaging/colour/KanvoIccProfile.h"

#include <QImage>

// What a decoder gives: the file's first image, upright, in a format Qt draws
// as it is, and the ICC profile the file embeds (empty when it has none or
// when the profile does not fit the image's colour model). A null image means
// the file was refused.
struct KanvoDecodedPixels {
    QImage image;
    KanvoIccProfile iccProfile;
};
