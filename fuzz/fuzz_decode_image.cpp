#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoPngDecoder.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"
#include "imaging/jpeg/KanvoJpegPreview.h"

#include <span>

// Every input goes through both fast decoders, which read bytes an attacker
// may have written, the JPEG one also reduced, and through the reduced JPEG
// decode in pieces (which the decoder uses only for large files) when its
// header fits the limit, at a reduction and piece count that vary with the
// input's size (fuzz_jpeg_pieces covers the pieces' every shape). A decoded
// image must be what the limit allows and must not be empty, a PNG's profile
// no larger than the bound on a chunk; anything else, or a sanitizer report,
// is a bug.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr qint64 limit = qint64(64) << 20;
    const std::span<const uchar> bytes(data, size);
    const QSize stored = KanvoJpegDecoder::readHeader(bytes).storedSize;
    const bool fits =
        stored.isValid() && KanvoAllocation::fits(stored.width(), stored.height(), limit);
    const KanvoDecodedPixels png = KanvoPngDecoder::decode(bytes, limit);
    if (size_t(png.iccProfile.bytes().size()) > KanvoPngDecoder::largestKeptChunkBytes) {
        __builtin_trap();
    }
    for (const QImage& image :
         {KanvoJpegDecoder::decode(bytes, limit).image,
          KanvoJpegDecoder::decode(bytes, limit, 8).image, png.image,
          fits ? KanvoJpegPreview::decode(bytes, 2 << (size % 3), int(1 + size / 3 % 8))
               : QImage()}) {
        if (!image.isNull() &&
            (image.width() <= 0 || image.height() <= 0 || image.sizeInBytes() > limit)) {
            __builtin_trap();
        }
    }
    return 0;
}
