#include "fuzz_input_bytes.h"
#include "fuzzed_jpeg.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"
#include "imaging/jpeg/KanvoJpegPreview.h"

#include <cstdlib>
#include <limits>

namespace {

// libjpeg's reduced inverse DCT rounds in fixed point, the decode in pieces
// takes exact means: a few levels apart at most.
constexpr int tolerance = 4;

bool withinTolerance(const QImage& inPieces, const QImage& libjpeg) {
    for (int y = 0; y < libjpeg.height(); ++y) {
        const auto* ours = reinterpret_cast<const QRgb*>(inPieces.constScanLine(y));
        const auto* theirs = reinterpret_cast<const QRgb*>(libjpeg.constScanLine(y));
        for (int x = 0; x < libjpeg.width(); ++x) {
            if (std::abs(qRed(ours[x]) - qRed(theirs[x])) > tolerance ||
                std::abs(qGreen(ours[x]) - qGreen(theirs[x])) > tolerance ||
                std::abs(qBlue(ours[x]) - qBlue(theirs[x])) > tolerance) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

// A JPEG built from the input (fuzzed_jpeg.h) goes through the decode in
// pieces at the reduction and piece count the input picks, with no size
// gate, under a differential oracle: its picture is null, or libjpeg's own
// one-thread reduced decode of the same file gives a picture of the same
// size within a few levels of it. A picture where libjpeg refuses the file,
// a different size, a sample further off, or a sanitizer report is a bug.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kanvo::fuzz::FuzzInputBytes input({data, size});
    const int reduction = 2 << input.inRange(0, 2);
    const int pieces = int(input.inRange(1, 8));
    const std::vector<std::uint8_t> jpeg = kanvo::fuzz::fuzzedJpeg(input);
    const std::span<const uchar> bytes(jpeg.data(), jpeg.size());
    const QImage inPieces = KanvoJpegPreview::decode(bytes, reduction, pieces);
    if (inPieces.isNull()) {
        return 0;
    }
    const QImage libjpeg =
        KanvoJpegDecoder::decode(bytes, std::numeric_limits<qint64>::max(), reduction, 1).image;
    if (libjpeg.isNull() || libjpeg.size() != inPieces.size() ||
        !withinTolerance(inPieces, libjpeg)) {
        __builtin_trap();
    }
    return 0;
}
