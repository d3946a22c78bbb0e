#include "imaging/KanvoJpegDecoder.h"
#include "imaging/KanvoPngDecoder.h"

#include <span>

// Every input goes through both fast decoders, which read bytes an attacker
// may have written, the JPEG one also reduced. A decoded image must be what
// the limit allows and must not be empty; anything else, or a sanitizer
// report, is a bug.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr qint64 limit = qint64(64) << 20;
    const std::span<const uchar> bytes(data, size);
    for (const KanvoDecodedPixels& decoded :
         {KanvoJpegDecoder::decode(bytes, limit), KanvoJpegDecoder::decode(bytes, limit, 8),
          KanvoPngDecoder::decode(bytes, limit)}) {
        const QImage& image = decoded.image;
        if (!image.isNull() &&
            (image.width() <= 0 || image.height() <= 0 || image.sizeInBytes() > limit)) {
            __builtin_trap();
        }
    }
    return 0;
}
