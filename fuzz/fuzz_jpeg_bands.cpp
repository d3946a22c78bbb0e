#include "fuzz_input_bytes.h"
#include "fuzzed_jpeg.h"
#include "imaging/KanvoReduction.h"
#include "imaging/jpeg/KanvoJpegBands.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"

#include <QByteArray>
#include <cstring>
#include <limits>

namespace {

// Frames larger than this are not decoded whole for the oracle: the
// decode of a region reads only its own rows, the oracle all of them.
constexpr qint64 largestOraclePixels = 4 << 20;

bool samePixels(const QImage& region, const QImage& whole) {
    for (int y = 0; y < region.height(); ++y) {
        if (std::memcmp(region.constScanLine(y), whole.constScanLine(y),
                        size_t(region.width()) * 4) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

// A JPEG built from the input (fuzzed_jpeg.h) is indexed, then one region
// the input picks (any reduction, any rectangle of the reduced image) is
// decoded, under libjpeg's one-thread whole decode at that reduction as the
// oracle: where libjpeg gives the whole image, the region is its pixels
// byte for byte. A region that differs, is missing, or a sanitizer report
// is a bug; where libjpeg fails, the region may be anything or nothing.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kanvo::fuzz::FuzzInputBytes input({data, size});
    const int reduction = 1 << input.inRange(0, 3);
    const std::uint32_t corners[4] = {input.inRange(0, 0xFFFF), input.inRange(0, 0xFFFF),
                                      input.inRange(0, 0xFFFF), input.inRange(0, 0xFFFF)};
    const std::vector<std::uint8_t> jpeg = kanvo::fuzz::fuzzedJpeg(input);
    const std::span<const uchar> bytes(jpeg.data(), jpeg.size());
    // Indexing any frame reads the header and at most the one scan.
    const std::unique_ptr<KanvoBandDecoder> bands = KanvoJpegBands::index(
        QByteArray(reinterpret_cast<const char*>(jpeg.data()), qsizetype(jpeg.size())));
    const QSize stored = KanvoJpegDecoder::readHeader(bytes).storedSize;
    if (stored.isEmpty() || qint64(stored.width()) * stored.height() > largestOraclePixels) {
        return 0;
    }
    const QSize reduced = reducedSize(stored, reduction);
    const int left = int(corners[0] % std::uint32_t(reduced.width()));
    const int top = int(corners[1] % std::uint32_t(reduced.height()));
    const QRect area(left, top, 1 + int(corners[2] % std::uint32_t(reduced.width() - left)),
                     1 + int(corners[3] % std::uint32_t(reduced.height() - top)));
    const QImage region = bands ? bands->region(area, reduction) : QImage();
    const QImage whole =
        KanvoJpegDecoder::decode(bytes, std::numeric_limits<qint64>::max(), reduction, 1).image;
    if (whole.isNull()) {
        return 0;
    }
    if (region.isNull() || region.size() != area.size() || !samePixels(region, whole.copy(area))) {
        __builtin_trap();
    }
    return 0;
}
