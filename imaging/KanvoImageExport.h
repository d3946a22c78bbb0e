#pragma once

#include "imaging/colour/KanvoIccProfile.h"

#include <QImage>
#include <QString>

class KanvoImageExport {
public:
    // JPEG when the name ends in .jpg or .jpeg in any case, PNG otherwise, with
    // the encoder's default settings and `iccProfile` (when given) embedded,
    // so the pixels keep their colours. Written through a temporary file, so
    // a failure leaves an existing file as it was.
    static bool write(const QImage& image, const KanvoIccProfile& iccProfile, const QString& path);
};
