#include "kanvo/ui/exif_orientation.h"

#include <algorithm>
#include <array>
#include <optional>

namespace kanvo::ui {

namespace {

constexpr std::array<std::uint8_t, 6> exifHeader{'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint16_t orientationTag = 0x0112;
constexpr std::uint16_t shortType = 3;

// Reads the TIFF structure in the byte order its header names; every read is
// bounds-checked, since the bytes come from any file at all.
class TiffReader {
public:
    explicit TiffReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool readByteOrder() {
        if (bytes_.size() < 8) {
            return false;
        }
        if (bytes_[0] == 'I' && bytes_[1] == 'I') {
            littleEndian_ = true;
        } else if (bytes_[0] != 'M' || bytes_[1] != 'M') {
            return false;
        }
        return u16(2) == 42;
    }

    std::optional<std::uint32_t> u16(std::size_t at) const { return read(at, 2); }
    std::optional<std::uint32_t> u32(std::size_t at) const { return read(at, 4); }

private:
    std::optional<std::uint32_t> read(std::size_t at, std::size_t count) const {
        if (at > bytes_.size() || bytes_.size() - at < count) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t index = littleEndian_ ? at + count - 1 - i : at + i;
            value = (value << 8) | bytes_[index];
        }
        return value;
    }

    std::span<const std::uint8_t> bytes_;
    bool littleEndian_ = false;
};

ExifOrientation orientationInTiff(std::span<const std::uint8_t> tiff) {
    TiffReader reader(tiff);
    if (!reader.readByteOrder()) {
        return 1;
    }
    const std::optional<std::uint32_t> directory = reader.u32(4);
    const std::optional<std::uint32_t> entries = directory ? reader.u16(*directory) : std::nullopt;
    if (!entries) {
        return 1;
    }
    for (std::uint32_t i = 0; i < *entries; ++i) {
        const std::size_t entry = std::size_t(*directory) + 2 + std::size_t(i) * 12;
        const std::optional<std::uint32_t> tag = reader.u16(entry);
        if (!tag) {
            return 1;
        }
        if (*tag != orientationTag) {
            continue;
        }
        // A SHORT value sits in the first two bytes of the entry's value field.
        const std::optional<std::uint32_t> value = reader.u16(entry + 8);
        if (reader.u16(entry + 2) != shortType || !value || *value < 1 || *value > 8) {
            return 1;
        }
        return ExifOrientation(*value);
    }
    return 1;
}

bool isJpegFrameMarker(std::uint8_t code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

} // namespace

bool isExifBlock(std::span<const std::uint8_t> app1Body) {
    return app1Body.size() >= exifHeader.size() &&
           std::equal(exifHeader.begin(), exifHeader.end(), app1Body.begin());
}

ExifOrientation exifOrientation(std::span<const std::uint8_t> app1Body) {
    return isExifBlock(app1Body) ? orientationInTiff(app1Body.subspan(exifHeader.size())) : 1;
}

// The same walk as header inspection: fill bytes skipped, every marker taken
// to carry a length, ending at the first frame header, scan or end of image.
ExifOrientation jpegOrientation(std::span<const std::uint8_t> file) {
    if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xD8) {
        return 1;
    }
    std::size_t at = 2;
    for (;;) {
        while (at < file.size() && file[at] != 0xFF) {
            ++at;
        }
        while (at < file.size() && file[at] == 0xFF) {
            ++at;
        }
        if (at + 2 >= file.size()) {
            return 1;
        }
        const std::uint8_t code = file[at];
        const std::size_t length = std::size_t(file[at + 1]) << 8 | file[at + 2];
        if (code == 0xD9 || code == 0xDA || isJpegFrameMarker(code) || length < 2) {
            return 1;
        }
        const std::size_t bodyStart = at + 3;
        const std::size_t bodyLength = std::min(length - 2, file.size() - bodyStart);
        const std::span<const std::uint8_t> body = file.subspan(bodyStart, bodyLength);
        if (code == 0xE1 && isExifBlock(body)) {
            return exifOrientation(body);
        }
        at = bodyStart + bodyLength;
    }
}

} // namespace kanvo::ui
