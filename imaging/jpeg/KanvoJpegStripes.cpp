#include "imaging/jpeg/KanvoJpegStripes.h"

#include <algorithm>

namespace {

// The share of a one-thread decode's time that goes to Huffman decoding,
// which every stripe below the first repeats for the rows above it. Huffman
// decoding costs in proportion to the compressed bytes (about 6.9 ms a MB
// with libjpeg-turbo's SIMD code on x86-64) plus 0.45 ms a megapixel; the
// rest (IDCT, upsampling, colour conversion and the first touch of the new
// pixels) about 3.35 ms a megapixel. So a detailed photograph at quality 90
// spends about half its decode on Huffman decoding and a smooth one a quarter.
double huffmanShare(double compressedBytesPerPixel) {
    const double huffman = 6.9 * compressedBytesPerPixel + 0.45;
    return huffman / (huffman + 3.35);
}

// A stripe shorter than this share of the first is not worth a thread.
constexpr double smallestStripe = 0.15;
constexpr int smallestStripedHeight = 512;

} // namespace

// With the image's height as 1 and a full decode of it as 1, a stripe of
// length l starting at s costs share * s + l, so each stripe is shorter than
// the one above it. Progressive files decode in one pass: every stripe would
// repeat their whole entropy decode and hold its own coefficients.
std::vector<KanvoJpegStripes::Stripe> KanvoJpegStripes::plan(const Image& image, int threads) {
    if (image.progressive || threads < 2 || image.height < smallestStripedHeight ||
        image.width <= 0 || image.rowsPerBand <= 0) {
        return {{0, image.height}};
    }
    const double share =
        huffmanShare(double(image.compressedBytes) / (double(image.width) * image.height));
    std::vector<double> starts{0.0};
    double end = 1.0;
    while (int(starts.size()) < threads && 1.0 - share * end >= smallestStripe) {
        starts.push_back(end);
        end += 1.0 - share * end;
    }
    std::vector<Stripe> stripes;
    const int bands = (image.height + image.rowsPerBand - 1) / image.rowsPerBand;
    for (size_t i = 0; i < starts.size(); ++i) {
        const double next = i + 1 < starts.size() ? starts[i + 1] / end : 1.0;
        const int endRow = std::min(image.height, int(next * bands + 0.5) * image.rowsPerBand);
        const int firstRow = stripes.empty() ? 0 : stripes.back().endRow;
        if (endRow > firstRow) {
            stripes.push_back({firstRow, endRow});
        }
    }
    return stripes;
}
