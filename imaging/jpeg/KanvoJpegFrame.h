#pragma once

#include "imaging/colour/KanvoIccProfile.h"

#include <QSize>
#include <QtGlobal>
#include <span>

// What every decode of a JPEG needs from its header, read once by libjpeg.
struct KanvoJpegFrame {
    QSize storedSize;    // invalid when libjpeg refuses the header
    int rowsPerBand = 0; // output rows per iMCU row at full size
    bool cmyk = false;   // CMYK or YCCK: decoded as CMYK, then converted
    bool progressive = false;
    KanvoIccProfile iccProfile;

    static KanvoJpegFrame read(std::span<const uchar> file);
};
