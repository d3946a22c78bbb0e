#include "fuzz_png_maker.h"
#include "imaging/KanvoPngDecoder.h"

#include <cstring>
#include <spng.h>

// The PNG decoder against libspng on files made from the input (see
// fuzz_png_maker.h): 1 to 64 pixels a side, half of them 8-bit RGB or RGBA
// without interlacing for the libdeflate path, the rest every other kind for
// libspng's; each row's filter, now and then one PNG does not define; the
// stream over one to eight IDAT chunks, other chunks before and between
// them, damage to CRCs, the stream, length fields and the file's end.
// libspng decodes each file as the decoder configures it (critical chunks'
// CRCs checked, ancillary ones' dropped, no chunk kept over the decoder's
// bound, which the files made here reach only by a length that lies) to
// RGBA with tRNS applied.
//
// What the decoder must do:
// - decode nothing libspng refuses;
// - where both decode, give libspng's pixels exactly, RGBA8888 when the
//   image has alpha or tRNS and RGBX8888 (an opaque fourth byte) otherwise,
//   with libspng's profile if any and the header's size from storedSize;
// - decode what libspng decodes, unless the image is above the limit given
//   or the file is damaged in its image data or its end. Those the decoder
//   may refuse as corrupt or truncated, as its header allows: libpng refuses
//   them (an IDAT failing its CRC, which libspng leaves unchecked in the last
//   chunk once the image is complete; a bad checksum; a stream cut short, or
//   broken by another chunk after the image's last byte but before its
//   checksum, which libspng never reads; a chunk running past the end) or
//   decodes them with a warning (more image data than the image takes), and
//   the file's decode falls back to libpng for them;
// - find every chunk up to the first IEND within the file unless the file
//   ends before it or a length lies.
// Anything else is a bug, and traps.

namespace {

struct Reference {
    bool decoded = false;
    bool hasAlpha = false;
    std::vector<std::uint8_t> rgba;
    QByteArray profile;
};

// The header, tRNS and profile are asked for before the image, as the
// decoder asks: once the image is read, libspng reads on past it for them.
Reference decodedByLibspng(const std::vector<std::uint8_t>& file) {
    Reference reference;
    spng_ctx* context = spng_ctx_new(0);
    spng_ihdr header{};
    spng_trns transparency{};
    spng_iccp iccp{};
    size_t size = 0;
    if (spng_set_png_buffer(context, file.data(), file.size()) == 0 &&
        spng_set_crc_action(context, SPNG_CRC_ERROR, SPNG_CRC_DISCARD) == 0 &&
        spng_set_chunk_limits(context, KanvoPngDecoder::largestKeptChunkBytes,
                              KanvoPngDecoder::largestKeptChunkBytes) == 0 &&
        spng_get_ihdr(context, &header) == 0) {
        reference.hasAlpha = header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                             header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                             spng_get_trns(context, &transparency) == 0;
        if (spng_get_iccp(context, &iccp) == 0) {
            reference.profile = QByteArray(iccp.profile, qsizetype(iccp.profile_len));
        }
        if (spng_decoded_image_size(context, SPNG_FMT_RGBA8, &size) == 0) {
            reference.rgba.resize(size);
            reference.decoded = spng_decode_image(context, reference.rgba.data(), size,
                                                  SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) == 0;
        }
    }
    spng_ctx_free(context);
    return reference;
}

bool samePixels(const QImage& image, const Reference& reference) {
    const size_t rowBytes = size_t(image.width()) * 4;
    if (reference.rgba.size() != rowBytes * size_t(image.height())) {
        return false;
    }
    for (int y = 0; y < image.height(); ++y) {
        if (std::memcmp(image.constScanLine(y), reference.rgba.data() + size_t(y) * rowBytes,
                        rowBytes) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kanvo::fuzz::FuzzInputBytes input({data, size});
    // Now and then a limit the image just fits, or just does not.
    const std::uint8_t limitChoice = input.byte();
    const kanvo::fuzz::MadePng png = kanvo::fuzz::makePng(input);
    const qint64 imageBytes = qint64(png.width) * png.height * 4;
    const qint64 limit = limitChoice >= 0xF0 ? imageBytes - (limitChoice & 1) : qint64(64) << 20;

    const std::span<const uchar> file(png.bytes.data(), png.bytes.size());
    const KanvoDecodedPixels decoded = KanvoPngDecoder::decode(file, limit);
    const Reference reference = decodedByLibspng(png.bytes);
    const bool mayRefuse = png.damaged || limit < imageBytes;

    if (decoded.image.isNull()) {
        if (reference.decoded && !mayRefuse) {
            __builtin_trap();
        }
    } else if (!reference.decoded || decoded.image.width() != int(png.width) ||
               decoded.image.height() != int(png.height) ||
               decoded.image.format() !=
                   (reference.hasAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888) ||
               !samePixels(decoded.image, reference) ||
               (!decoded.iccProfile.isEmpty() && decoded.iccProfile != reference.profile) ||
               KanvoPngDecoder::storedSize(file) != decoded.image.size()) {
        __builtin_trap();
    }
    if (!png.lengthLies && KanvoPngDecoder::chunksLieWithinFile(file) == png.cutBeforeEnd) {
        __builtin_trap();
    }
    return 0;
}
