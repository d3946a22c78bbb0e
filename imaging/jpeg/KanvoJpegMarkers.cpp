#include "imaging/jpeg/KanvoJpegMarkers.h"

namespace {

// SOF0 to SOF15, without DHT (C4), JPG (C8) and DAC (CC).
bool isFrameHeader(uchar marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

std::optional<KanvoJpegMarkers::Layout> KanvoJpegMarkers::find(std::span<const uchar> file) {
    const auto size = qsizetype(file.size());
    if (size < 2 || file[0] != 0xFF || file[1] != 0xD8) {
        return std::nullopt;
    }
    Layout layout;
    for (qsizetype at = 2; at < size;) {
        if (file[size_t(at)] != 0xFF) {
            ++at; // libjpeg skips stray bytes between segments, warning
            continue;
        }
        while (at < size && file[size_t(at)] == 0xFF) {
            ++at; // fill bytes
        }
        if (at >= size) {
            break;
        }
        const uchar marker = file[size_t(at++)];
        const bool standalone = marker == 0 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
        if (standalone) {
            continue;
        }
        if (size - at < 2) {
            break;
        }
        const qsizetype length = qsizetype(file[size_t(at)]) << 8 | file[size_t(at) + 1];
        if (length < 2 || length > size - at) {
            break;
        }
        // Length (2 bytes), precision (1), then the height (2).
        if (isFrameHeader(marker) && layout.frameHeight < 0 && length >= 5) {
            layout.frameHeight = at + 3;
        }
        at += length;
        if (marker == 0xDA) {
            layout.dataOffset = at;
            return layout;
        }
    }
    return std::nullopt;
}
