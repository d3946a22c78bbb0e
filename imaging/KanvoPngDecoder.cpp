#include "imaging/KanvoPngDecoder.h"

#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoHugePages.h"
#include "imaging/KanvoPngChunks.h"
#include "imaging/KanvoPngUnfilter.h"

#include <QtEndian>
#include <cstdlib>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <spng.h>
#include <vector>

namespace {

using KanvoPngChunks::imageData;
using KanvoPngChunks::SpngContext;

constexpr size_t signatureLength = 8;
constexpr size_t chunkOverhead = 12; // length, type and CRC

// The zlib stream of the image, joined into `joined` when it spans several
// chunks. Empty when the chunks are broken.
std::span<const uchar> imageStream(std::span<const uchar> file, QByteArray& joined) {
    const std::vector<std::span<const uchar>> parts = imageData(file);
    if (parts.size() <= 1) {
        return parts.empty() ? std::span<const uchar>() : parts.front();
    }
    size_t total = 0;
    for (const std::span<const uchar> part : parts) {
        total += part.size();
    }
    // Tens of megabytes for a photograph, each page touched once.
    joined = QByteArray(qsizetype(total), Qt::Uninitialized);
    KanvoHugePages::advise(joined.data(), total);
    auto* at = reinterpret_cast<uchar*>(joined.data());
    for (const std::span<const uchar> part : parts) {
        at = std::copy(part.begin(), part.end(), at);
    }
    return {reinterpret_cast<const uchar*>(joined.constData()), total};
}

// One allocation holds the image and, at its end, the inflated rows it is
// made from. Image row y ends no later than inflated row y + 1 starts, and
// starts far enough before inflated row y for reconstructRow to work in
// place: no later for RGBA, (height - y) x (width - 1) bytes earlier for RGB,
// whose inflated rows end a buffer a byte a pixel larger. So the rows are
// reconstructed top to bottom without a second image-sized buffer.
struct SharedBuffer {
    QImage image;
    uchar* inflated = nullptr;
};

SharedBuffer allocate(int width, int height, QImage::Format format, size_t inflatedBytes) {
    const qsizetype bytesPerLine = qsizetype(width) * 4;
    const size_t bytes = std::max(size_t(bytesPerLine) * size_t(height), inflatedBytes);
    auto* memory = static_cast<uchar*>(std::malloc(bytes));
    if (memory == nullptr) {
        return {};
    }
    KanvoHugePages::advise(memory, bytes);
    return {QImage(
                memory, width, height, bytesPerLine, format, [](void* data) { std::free(data); },
                memory),
            memory + (bytes - inflatedBytes)};
}

QImage decodeWithLibdeflate(std::span<const uchar> file, const spng_ihdr& header) {
    const int channels = header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ? 4 : 3;
    const int width = int(header.width);
    const int height = int(header.height);
    const size_t rowBytes = size_t(width) * channels;
    const size_t inflatedBytes = (rowBytes + 1) * size_t(height);

    QByteArray joined;
    const std::span<const uchar> stream = imageStream(file, joined);
    SharedBuffer buffer =
        allocate(width, height, channels == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888,
                 inflatedBytes);
    const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    size_t inflated = 0;
    if (stream.empty() || buffer.image.isNull() || !inflater ||
        libdeflate_zlib_decompress(inflater.get(), stream.data(), stream.size(), buffer.inflated,
                                   inflatedBytes, &inflated) != LIBDEFLATE_SUCCESS ||
        inflated != inflatedBytes) {
        return {};
    }
    joined = {};

    uchar* pixels = buffer.image.bits(); // the only reference: no copy
    const qsizetype bytesPerLine = buffer.image.bytesPerLine();
    for (int y = 0; y < height; ++y) {
        uchar* row = pixels + y * bytesPerLine;
        if (!KanvoPngUnfilter::reconstructRow(buffer.inflated + size_t(y) * (rowBytes + 1),
                                              y == 0 ? nullptr : row - bytesPerLine, row, width,
                                              channels)) {
            return {};
        }
    }
    return buffer.image;
}

// libspng writes RGBA bytes for every other kind of PNG.
QImage decodeWithLibspng(spng_ctx* decoder, const spng_ihdr& header, bool hasAlpha) {
    QImage image(int(header.width), int(header.height),
                 hasAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    size_t size = 0;
    if (image.isNull() || spng_decoded_image_size(decoder, SPNG_FMT_RGBA8, &size) != 0 ||
        size != size_t(image.sizeInBytes()) ||
        spng_decode_image(decoder, image.bits(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
        return {};
    }
    return image;
}

// The embedded profile when it describes the colour type's model: libpng
// drops an RGB profile on a grey image, and so does this.
KanvoIccProfile iccProfileOf(spng_ctx* decoder, const spng_ihdr& header) {
    spng_iccp iccp{};
    if (spng_get_iccp(decoder, &iccp) != 0 || iccp.profile == nullptr) {
        return {};
    }
    const KanvoIccProfile profile(QByteArray(iccp.profile, qsizetype(iccp.profile_len)));
    const bool grey = header.color_type == SPNG_COLOR_TYPE_GRAYSCALE ||
                      header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA;
    return profile.describing(grey ? KanvoIccProfile::Model::Grey : KanvoIccProfile::Model::Rgb);
}

// Whether the pixels come with alpha: an alpha channel, or a colour key.
bool hasAlpha(spng_ctx* decoder, const spng_ihdr& header) {
    spng_trns transparency{};
    return header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
           header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
           spng_get_trns(decoder, &transparency) == 0;
}

} // namespace

KanvoPngDecoder::Description KanvoPngDecoder::describe(std::span<const uchar> file) {
    spng_ihdr header{};
    const SpngContext decoder = KanvoPngChunks::headerReader(file, header);
    if (!decoder || spng_decode_chunks(decoder.get()) != 0) {
        return {};
    }
    return {QSize(int(header.width), int(header.height)),
            hasAlpha(decoder.get(), header) ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888,
            iccProfileOf(decoder.get(), header)};
}

QSize KanvoPngDecoder::storedSize(std::span<const uchar> file) {
    spng_ihdr header{};
    const SpngContext decoder = KanvoPngChunks::headerReader(file, header);
    // libspng keeps both sides within 2^31 - 1, as the format does.
    return decoder ? QSize(int(header.width), int(header.height)) : QSize();
}

KanvoDecodedPixels KanvoPngDecoder::decode(std::span<const uchar> file, qint64 maximumBytes) {
    // libspng checks the header and every chunk before the image data. The
    // lookups below take a failure there for a missing chunk, and the fast
    // path reads none of those chunks, so the check is made here: a header
    // that fails its CRC or an unknown critical chunk refuses the file.
    spng_ihdr header{};
    const SpngContext decoder = KanvoPngChunks::headerReader(file, header);
    if (!decoder || spng_decode_chunks(decoder.get()) != 0 ||
        !KanvoAllocation::fits(header.width, header.height, maximumBytes)) {
        return {};
    }
    const bool withAlpha = hasAlpha(decoder.get(), header);
    const bool plainRgb = header.bit_depth == 8 && header.interlace_method == 0 &&
                          (header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                           (header.color_type == SPNG_COLOR_TYPE_TRUECOLOR && !withAlpha));
    KanvoIccProfile profile = iccProfileOf(decoder.get(), header);
    QImage image = plainRgb                  ? decodeWithLibdeflate(file, header)
                   : imageData(file).empty() ? QImage()
                                             : decodeWithLibspng(decoder.get(), header, withAlpha);
    if (image.isNull()) {
        return {};
    }
    return {std::move(image), std::move(profile)};
}

bool KanvoPngDecoder::chunksLieWithinFile(std::span<const uchar> file) {
    for (size_t at = signatureLength; at + chunkOverhead <= file.size();) {
        const std::uint32_t length = qFromBigEndian<std::uint32_t>(file.data() + at);
        if (length > file.size() - at - chunkOverhead) {
            return false;
        }
        if (std::memcmp(file.data() + at + 4, "IEND", 4) == 0) {
            return true;
        }
        at += chunkOverhead + length;
    }
    return false;
}
