#include "imaging/KanvoImageDecoder.h"

#include "imaging/KanvoImageFile.h"

KanvoDecodedPixels KanvoImageDecoder::decodeFile(const QString& path) {
    return path.isEmpty() ? KanvoDecodedPixels() : KanvoImageFile(path).decode();
}

QImage KanvoImageDecoder::decodeFirstImage(const QString& path) {
    return decodeFile(path).image;
}
