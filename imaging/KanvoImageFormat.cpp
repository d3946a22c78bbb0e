#include "imaging/KanvoImageFormat.h"

#include <algorithm>
#include <initializer_list>

namespace {

bool startsWith(std::span<const uchar> bytes, std::initializer_list<uchar> signature) {
    return bytes.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), bytes.begin());
}

bool isWhiteSpace(uchar c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

KanvoImageFormat detectImageFormat(std::span<const uchar> bytes) {
    if (startsWith(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) {
        return KanvoImageFormat::Png;
    }
    // Start of image alone: libjpeg, like header inspection, finds the next
    // marker past any bytes that follow it.
    if (startsWith(bytes, {0xFF, 0xD8})) {
        return KanvoImageFormat::Jpeg;
    }
    if (startsWith(bytes, {'P', '6'}) && bytes.size() > 2 && isWhiteSpace(bytes[2])) {
        return KanvoImageFormat::Ppm;
    }
    return KanvoImageFormat::Unknown;
}
