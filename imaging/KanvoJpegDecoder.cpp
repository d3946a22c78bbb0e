#include "imaging/KanvoJpegDecoder.h"

#include "imaging/KanvoImageDecoder.h"

#include <QSysInfo>
#include <QThread>
#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE without including it
#include <jpeglib.h>
#include <thread>
#include <vector>

namespace {

// libjpeg-turbo's BGRX is QImage's RGB32 in memory on a little-endian machine,
// and XRGB on a big-endian one; the pad byte is written as 0xFF.
constexpr J_COLOR_SPACE outputColorSpace =
    QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// libjpeg reports errors by calling error_exit, which must not return: it
// jumps back to the decoding function. Warnings (corrupt or missing data,
// which libjpeg would paper over with grey) only mark the decode as failed.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf exit;
    bool warned;
};

[[noreturn]] void exitOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->exit, 1);
}

void noteWarning(j_common_ptr info, int level) {
    if (level < 0) {
        reinterpret_cast<ErrorManager*>(info->err)->warned = true;
    }
}

struct Stripe {
    int firstRow;
    int endRow;
};

struct Header {
    int width = 0;
    int height = 0;
    int rowsPerBand = 0; // output rows per iMCU row: stripes start on these
    bool decodable = false;
    bool progressive = false;
};

// The decoder of one stripe, or of the header alone. Plain data only: the
// jump out of libjpeg passes no C++ destructor.
struct Reader {
    jpeg_decompress_struct info;
    ErrorManager errors;
};

void startReading(Reader& reader, std::span<const uchar> file) {
    reader.info.err = jpeg_std_error(&reader.errors.base);
    reader.errors.base.error_exit = exitOnError;
    reader.errors.base.emit_message = noteWarning;
    reader.errors.warned = false;
    jpeg_create_decompress(&reader.info);
    jpeg_mem_src(&reader.info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&reader.info, TRUE);
    reader.info.out_color_space = outputColorSpace;
}

Header readHeader(std::span<const uchar> file) {
    Reader reader;
    Header header;
    if (setjmp(reader.errors.exit) != 0) {
        jpeg_destroy_decompress(&reader.info);
        return {};
    }
    startReading(reader, file);
    // Qt's reader converts these with the right inversion; libjpeg does not.
    header.decodable =
        reader.info.jpeg_color_space != JCS_CMYK && reader.info.jpeg_color_space != JCS_YCCK;
    header.progressive = jpeg_has_multiple_scans(&reader.info);
    jpeg_calc_output_dimensions(&reader.info);
    header.width = int(reader.info.output_width);
    header.height = int(reader.info.output_height);
    header.rowsPerBand = reader.info.max_v_samp_factor * DCTSIZE;
    jpeg_destroy_decompress(&reader.info);
    return header;
}

// Decodes rows [first, end) into `pixels`. True when libjpeg neither failed
// nor warned.
bool decodeStripe(std::span<const uchar> file, uchar* pixels, qsizetype bytesPerLine,
                  Stripe stripe) {
    Reader reader;
    if (setjmp(reader.errors.exit) != 0) {
        jpeg_destroy_decompress(&reader.info);
        return false;
    }
    startReading(reader, file);
    jpeg_start_decompress(&reader.info);
    if (stripe.firstRow > 0) {
        jpeg_skip_scanlines(&reader.info, JDIMENSION(stripe.firstRow));
    }
    while (int(reader.info.output_scanline) < stripe.endRow) {
        JSAMPROW rows[DCTSIZE * 4];
        const int wanted =
            std::min<int>(std::size(rows), stripe.endRow - int(reader.info.output_scanline));
        for (int i = 0; i < wanted; ++i) {
            rows[i] = pixels + (qsizetype(reader.info.output_scanline) + i) * bytesPerLine;
        }
        if (jpeg_read_scanlines(&reader.info, rows, JDIMENSION(wanted)) == 0) {
            break; // a memory source never suspends: this is the end of the data
        }
    }
    const bool complete = int(reader.info.output_scanline) >= stripe.endRow;
    if (int(reader.info.output_scanline) == int(reader.info.output_height)) {
        jpeg_finish_decompress(&reader.info);
    }
    jpeg_destroy_decompress(&reader.info);
    return complete && !reader.errors.warned;
}

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

// Stripes that let every thread finish together. With the image's height as
// 1 and a full decode of it as 1, a stripe of length l starting at s costs
// share * s + l, so each stripe is shorter than the one above it.
std::vector<Stripe> stripesFor(const Header& header, size_t fileSize, int threads) {
    if (header.progressive || threads < 2 || header.height < smallestStripedHeight) {
        return {{0, header.height}};
    }
    const double share = huffmanShare(double(fileSize) / (double(header.width) * header.height));
    std::vector<double> starts{0.0};
    double end = 1.0;
    while (int(starts.size()) < threads && 1.0 - share * end >= smallestStripe) {
        starts.push_back(end);
        end += 1.0 - share * end;
    }
    std::vector<Stripe> stripes;
    const int bands = (header.height + header.rowsPerBand - 1) / header.rowsPerBand;
    for (size_t i = 0; i < starts.size(); ++i) {
        const double next = i + 1 < starts.size() ? starts[i + 1] / end : 1.0;
        const int endRow = std::min(header.height, int(next * bands + 0.5) * header.rowsPerBand);
        const int firstRow = stripes.empty() ? 0 : stripes.back().endRow;
        if (endRow > firstRow) {
            stripes.push_back({firstRow, endRow});
        }
    }
    return stripes;
}

} // namespace

int KanvoJpegDecoder::defaultThreads() {
    return std::min(QThread::idealThreadCount(), 4);
}

std::vector<int> KanvoJpegDecoder::stripeStarts(std::span<const uchar> file, int threads) {
    const Header header = readHeader(file);
    std::vector<int> starts;
    if (header.decodable) {
        for (const Stripe& stripe : stripesFor(header, file.size(), threads)) {
            starts.push_back(stripe.firstRow);
        }
    }
    return starts;
}

QImage KanvoJpegDecoder::decode(std::span<const uchar> file, qint64 maximumBytes, int threads) {
    const Header header = readHeader(file);
    if (!header.decodable ||
        !KanvoImageDecoder::fitsAllocation(header.width, header.height, maximumBytes)) {
        return {};
    }
    QImage image(header.width, header.height, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    uchar* pixels = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    const std::vector<Stripe> stripes = stripesFor(header, file.size(), threads);
    std::vector<char> decoded(stripes.size(), false); // not bool: one element per thread
    {
        std::vector<std::jthread> helpers;
        for (size_t i = 1; i < stripes.size(); ++i) {
            helpers.emplace_back(
                [&, i] { decoded[i] = decodeStripe(file, pixels, bytesPerLine, stripes[i]); });
        }
        decoded[0] = decodeStripe(file, pixels, bytesPerLine, stripes[0]);
    } // joins the helpers
    return std::all_of(decoded.begin(), decoded.end(), [](char ok) { return ok; }) ? image
                                                                                   : QImage();
}
