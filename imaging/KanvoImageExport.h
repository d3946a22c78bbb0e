#pragma once

#include <QString>

class KanvoImage;

class KanvoImageExport {
public:
    // JPEG when the name ends in .jpg or .jpeg in any case, PNG otherwise,
    // with the image's profile embedded, so the pixels keep their colours.
    // Encoded a band of rows at a time, from the full-size pixels or, for an
    // image held in tiles, from the file, so that no image is ever whole in
    // memory twice. Written through a temporary file, so a failure leaves an
    // existing file as it was.
    static bool write(const KanvoImage& image, const QString& path);
};
