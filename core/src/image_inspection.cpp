#include "kanvo/ui/image_inspection.h"

#include "kanvo/ui/exif_orientation.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <locale>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace kanvo::ui {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view jpegDimensionsNotFound = "JPEG dimensions were not found";

void expect(bool condition, std::string_view message) {
    if (!condition) {
        throw std::runtime_error(std::string(message));
    }
}

std::uint64_t bigEndian(const unsigned char* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// Reads up to N bytes; bytes past the end of the file stay zero.
template <std::size_t N> std::array<unsigned char, N> readBytes(std::ifstream& in) {
    std::array<unsigned char, N> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), N);
    return bytes;
}

unsigned char readByte(std::ifstream& in) {
    return readBytes<1>(in)[0];
}

std::string lowerCaseExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    const std::locale& classic = std::locale::classic();
    for (char& c : extension) {
        c = std::tolower(c, classic);
    }
    return extension;
}

ImageInfo readPng(std::ifstream& in) {
    constexpr std::array<unsigned char, 8> signature{0x89, 0x50, 0x4E, 0x47,
                                                     0x0D, 0x0A, 0x1A, 0x0A};
    const auto header = readBytes<32>(in);
    expect(in.gcount() == 32, "PNG header is incomplete");
    expect(std::equal(signature.begin(), signature.end(), header.begin()), "invalid PNG signature");
    expect(std::string_view(reinterpret_cast<const char*>(&header[12]), 4) == "IHDR",
           "PNG is missing IHDR metadata");
    // Any other length would have the sizes taken from outside the chunk.
    expect(bigEndian(&header[8], 4) == 13, "PNG IHDR has invalid size");
    return {{}, "PNG", bigEndian(&header[16], 4), bigEndian(&header[20], 4)};
}

bool isJpegFrameMarker(unsigned char code) {
    // C4 (Huffman tables), C8 and CC (arithmetic conditioning) share the
    // range but carry no frame header.
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// The orientation in an APP1 segment's body, read whole (at most 64 KiB),
// or nothing when the block is not Exif. The stream is left where it was,
// as if the body had not been read.
std::optional<ExifOrientation> readExifOrientation(std::ifstream& in, std::uint64_t bodyLength) {
    const std::streampos bodyStart = in.tellg();
    std::vector<std::uint8_t> body(bodyLength);
    in.read(reinterpret_cast<char*>(body.data()), static_cast<std::streamsize>(bodyLength));
    body.resize(static_cast<std::size_t>(in.gcount()));
    in.clear();
    in.seekg(bodyStart);
    if (!isExifBlock(body)) {
        return std::nullopt;
    }
    return exifOrientation(body);
}

// Walks the segment headers up to the first frame header, seeking over the
// segment bodies so large metadata blocks are never read, except the first
// Exif block: a camera's orientation tag decides which way is up, and the
// size reported is the upright one.
ImageInfo readJpeg(std::ifstream& in) {
    const auto soi = readBytes<2>(in);
    expect(soi[0] == 0xFF && soi[1] == 0xD8, "invalid JPEG signature");

    std::optional<ExifOrientation> orientation; // from the first Exif block
    for (;;) {
        expect(in.good(), jpegDimensionsNotFound);
        while (readByte(in) != 0xFF) {
            expect(in.good(), jpegDimensionsNotFound);
        }
        unsigned char code = readByte(in);
        while (code == 0xFF && in.good()) {
            code = readByte(in);
        }
        // A scan or the end of the image means no frame header came first.
        expect(code != 0xD9 && code != 0xDA, jpegDimensionsNotFound);

        const auto lengthBytes = readBytes<2>(in);
        expect(in.gcount() == 2, "JPEG segment is incomplete");
        const std::uint64_t length = bigEndian(lengthBytes.data(), 2);
        expect(length > 1, "JPEG segment has invalid size");

        if (isJpegFrameMarker(code)) {
            // A shorter segment would have the sizes read from the next one.
            expect(length >= 2 + 5, "JPEG frame is incomplete");
            const auto frame = readBytes<5>(in);
            expect(in.gcount() == 5, "JPEG frame is incomplete");
            const std::uint64_t height = bigEndian(&frame[1], 2);
            const std::uint64_t width = bigEndian(&frame[3], 2);
            return swapsWidthAndHeight(orientation.value_or(1))
                       ? ImageInfo{{}, "JPEG", height, width}
                       : ImageInfo{{}, "JPEG", width, height};
        }
        if (code == 0xE1 && !orientation) {
            orientation = readExifOrientation(in, length - 2);
        }
        in.seekg(static_cast<std::streamoff>(length - 2), std::ios::cur);
    }
}

// Digits only: the stream would take a sign, and "-1" would wrap round to
// the largest value. Anything else fails the stream and reads as 0.
std::uint64_t readPpmNumber(std::ifstream& in) {
    std::uint64_t value = 0;
    if (std::isdigit(char((in >> std::ws).peek()), std::locale::classic())) {
        in >> value;
    } else {
        in.setstate(std::ios::failbit);
    }
    return in.fail() ? 0 : value;
}

ImageInfo readPpm(std::ifstream& in) {
    in.imbue(std::locale::classic());
    std::string magic;
    in >> magic;
    const std::uint64_t width = readPpmNumber(in);
    const std::uint64_t height = readPpmNumber(in);
    const std::uint64_t maxValue = readPpmNumber(in);

    expect(magic == "P6", "only binary PPM P6 images are supported");
    expect(width != 0 && height != 0, "PPM dimensions must be positive");
    expect(maxValue == 255, "only 8-bit PPM images are supported");
    return {{}, "PPM", width, height};
}

} // namespace

ImageInfo inspectImageFile(const fs::path& path) {
    const fs::file_type type = fs::status(path).type();
    expect(type != fs::file_type::none && type != fs::file_type::not_found,
           "image path does not exist");
    expect(fs::status(path).type() == fs::file_type::regular, "image path is not a file");

    std::ifstream in(path.native(), std::ios::binary);
    expect(in.good(), "could not open image");

    // The extension alone picks the parser; content never does.
    const std::string extension = lowerCaseExtension(path);
    ImageInfo info;
    if (extension == ".png") {
        info = readPng(in);
    } else if (extension == ".jpg" || extension == ".jpeg") {
        info = readJpeg(in);
    } else if (extension == ".ppm") {
        info = readPpm(in);
    } else {
        expect(false, "supported image formats: PNG, JPEG, PPM");
    }
    info.path = path;
    return info;
}

} // namespace kanvo::ui
