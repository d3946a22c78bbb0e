#include "imaging/jpeg/KanvoJpegDecoder.h"

#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoHugePages.h"
#include "imaging/KanvoOrientation.h"
#include "imaging/KanvoParallel.h"
#include "imaging/KanvoReduction.h"
#include "imaging/colour/KanvoCmyk.h"
#include "imaging/jpeg/KanvoJpegColour.h"
#include "imaging/jpeg/KanvoJpegFrame.h"
#include "imaging/jpeg/KanvoJpegPreview.h"
#include "imaging/jpeg/KanvoJpegStripes.h"
#include "imaging/jpeg/KanvoLibjpegReader.h"

#include <QThread>
#include <algorithm>
#include <vector>

namespace {

using KanvoJpegColour::rgb32ColorSpace;
using KanvoJpegStripes::Stripe;

using Frame = KanvoJpegFrame;

struct Target {
    uchar* pixels;
    qsizetype bytesPerLine;
};

// Decodes output rows [first, end) into `target`, `reduction` times smaller
// than stored. `warned` tells whether libjpeg warned. False when libjpeg
// failed before every row was out: an error in what follows the last row
// (a bad marker after the image data) leaves the picture libjpeg's own tools
// have already written out, so it counts as a warning.
bool decodeStripe(std::span<const uchar> file, const Frame& frame, int reduction, Target target,
                  Stripe stripe, bool& warned) {
    KanvoLibjpegReader reader;
    if (setjmp(reader.errors.exit) != 0) {
        const bool rowsDone = reader.errors.rowsDone;
        warned = true;
        jpeg_destroy_decompress(&reader.info);
        return rowsDone;
    }
    reader.start(file);
    jpeg_read_header(&reader.info, TRUE);
    reader.info.out_color_space = frame.cmyk ? JCS_CMYK : rgb32ColorSpace;
    reader.info.scale_num = 1;
    reader.info.scale_denom = unsigned(reduction);
    jpeg_start_decompress(&reader.info);
    if (stripe.firstRow > 0) {
        jpeg_skip_scanlines(&reader.info, JDIMENSION(stripe.firstRow));
    }
    while (int(reader.info.output_scanline) < stripe.endRow) {
        JSAMPROW rows[DCTSIZE * 4];
        const int wanted =
            std::min<int>(std::size(rows), stripe.endRow - int(reader.info.output_scanline));
        for (int i = 0; i < wanted; ++i) {
            rows[i] =
                target.pixels + (qsizetype(reader.info.output_scanline) + i) * target.bytesPerLine;
        }
        if (jpeg_read_scanlines(&reader.info, rows, JDIMENSION(wanted)) == 0) {
            break; // a memory source never suspends: this is the end of the data
        }
    }
    const bool complete = int(reader.info.output_scanline) >= stripe.endRow;
    if (int(reader.info.output_scanline) == int(reader.info.output_height)) {
        reader.errors.rowsDone = true;
        jpeg_finish_decompress(&reader.info);
    }
    warned = reader.errors.warned;
    jpeg_destroy_decompress(&reader.info);
    return complete;
}

// Every stripe at once, on threads of this call's own. A damaged stream (one
// any stripe warned about) is decoded again in one pass, so that what is
// shown is exactly what libjpeg's one-pass decode shows.
bool decodeInto(std::span<const uchar> file, const Frame& frame, int reduction, Target target,
                int height, int threads) {
    const std::vector<Stripe> stripes =
        reduction == 1 ? KanvoJpegStripes::plan({frame.storedSize.width(), height,
                                                 frame.rowsPerBand, frame.progressive, file.size()},
                                                threads)
                       : std::vector<Stripe>{{0, height}};
    std::vector<char> decoded(stripes.size(), false); // not bool: one element per thread
    std::vector<char> warned(stripes.size(), false);
    forEachInParallel(int(stripes.size()), [&](int stripe) {
        const auto i = size_t(stripe);
        bool warning = false;
        decoded[i] = decodeStripe(file, frame, reduction, target, stripes[i], warning);
        warned[i] = warning;
    });
    const auto yes = [](char value) {
        return value != 0;
    };
    if (std::all_of(decoded.begin(), decoded.end(), yes) &&
        std::none_of(warned.begin(), warned.end(), yes)) {
        return true;
    }
    if (stripes.size() == 1) {
        return decoded[0] != 0;
    }
    bool warning = false;
    return decodeStripe(file, frame, reduction, target, {0, height}, warning);
}

// The decoded pixels in sRGB or with their profile, turned upright.
KanvoDecodedPixels finished(KanvoDecodedPixels decoded, const Frame& frame,
                            std::span<const uchar> file) {
    if (frame.cmyk) {
        // Converted to sRGB here: Qt holds no CMYK image to convert later.
        convertCmykToRgb32(decoded.image, decoded.iccProfile);
        decoded.iccProfile = {};
    }
    decoded.image = uprightImage(std::move(decoded.image), kanvo::ui::jpegOrientation(file));
    return decoded;
}

} // namespace

QSize KanvoJpegDecoder::Header::uprightSize() const {
    return kanvo::ui::swapsWidthAndHeight(orientation) ? storedSize.transposed() : storedSize;
}

KanvoJpegDecoder::Header KanvoJpegDecoder::readHeader(std::span<const uchar> file) {
    const Frame frame = KanvoJpegFrame::read(file);
    return {frame.storedSize, kanvo::ui::jpegOrientation(file)};
}

int KanvoJpegDecoder::defaultThreads() {
    return std::min(QThread::idealThreadCount(), 4);
}

KanvoDecodedPixels KanvoJpegDecoder::decode(std::span<const uchar> file, qint64 maximumBytes,
                                            int reduction, int threads) {
    const Frame frame = KanvoJpegFrame::read(file);
    const QSize size = reducedSize(frame.storedSize, reduction);
    if (!frame.storedSize.isValid() ||
        !KanvoAllocation::fits(size.width(), size.height(), maximumBytes)) {
        return {};
    }
    // Spreading a reduced decode's Huffman decoding over threads pays from a
    // few hundred kilobytes of coded data on.
    constexpr std::size_t parallelBytes = 256 * 1024;
    QImage image = reduction > 1 && threads > 1 && !frame.cmyk && file.size() >= parallelBytes
                       ? KanvoJpegPreview::decode(file, reduction, threads)
                       : QImage();
    if (!image.isNull()) {
        return finished({std::move(image), frame.iccProfile}, frame, file);
    }
    image = KanvoHugePages::image(size, QImage::Format_RGB32);
    if (image.isNull() || !decodeInto(file, frame, reduction, {image.bits(), image.bytesPerLine()},
                                      size.height(), threads)) {
        return {};
    }
    return finished({std::move(image), frame.iccProfile}, frame, file);
}
