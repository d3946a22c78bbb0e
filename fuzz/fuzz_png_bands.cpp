#include "fuzz_png_maker.h"
#include "imaging/KanvoPngBands.h"
#include "imaging/KanvoPngChunks.h"
#include "imaging/KanvoPngDecoder.h"

#include <QBuffer>
#include <cstring>

// Rows and regions of PNGs read by rows (KanvoPngBands) against the whole
// decode (KanvoPngDecoder), on files made from the input as fuzz_png_maker.h
// makes them: every colour type and depth, filters now and then undefined,
// the stream over several IDAT chunks, damage of every kind. Checkpoints at
// every deflate block, or as the input chooses.
//
// What reading by rows must do:
// - read nothing the whole decode refuses;
// - where it reads a file, hand out exactly the whole decode's rows, in its
//   format, and give its pixels for any region;
// - read what the whole decode reads unless the image is interlaced, has two
//   palettes or the file is damaged in its image data or its end, which it
//   leaves to the whole decode.
// Anything else is a bug, and traps.

namespace {

constexpr size_t interlaceByte = 8 + 8 + 12; // signature, IHDR's length and type

bool sameRow(const QImage& image, int y, const uchar* pixels) {
    return std::memcmp(image.constScanLine(y), pixels, size_t(image.width()) * 4) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kanvo::fuzz::FuzzInputBytes input({data, size});
    const qint64 interval = input.byte() < 0xC0 ? 1 : qint64(input.byte()) * 16;
    const std::uint8_t place = input.byte();
    const kanvo::fuzz::MadePng png = kanvo::fuzz::makePng(input);
    const QByteArray file(reinterpret_cast<const char*>(png.bytes.data()),
                          qsizetype(png.bytes.size()));
    const QImage whole =
        KanvoPngDecoder::decode({png.bytes.data(), png.bytes.size()}, qint64(64) << 20).image;

    bool rowsAgree = true;
    int rowsSeen = 0;
    auto device = std::make_unique<QBuffer>();
    device->setData(file);
    device->open(QIODevice::ReadOnly);
    const auto bands = KanvoPngBands::index(
        std::move(device),
        [&](int y, const uchar* pixels) {
            rowsAgree = rowsAgree && !whole.isNull() && y == rowsSeen && y < whole.height() &&
                        sameRow(whole, y, pixels);
            ++rowsSeen;
        },
        interval, 1 + place % 4);
    const bool interlaced = png.bytes.size() > interlaceByte && png.bytes[interlaceByte] != 0;
    // Two palettes, which libspng draws from at once, are left to it too.
    const bool palettes =
        KanvoPngChunks::countBeforeImageData({png.bytes.data(), png.bytes.size()}, "PLTE") > 1;
    if (!bands) {
        if (!whole.isNull() && !png.damaged && !interlaced && !palettes) {
            __builtin_trap();
        }
        return 0;
    }
    if (whole.isNull() || !rowsAgree || rowsSeen != whole.height()) {
        __builtin_trap();
    }
    const int x = place % whole.width();
    const int y = (place * 7) % whole.height();
    const QRect area(x, y, whole.width() - x, whole.height() - y);
    for (const QRect& part : {area, QRect(0, 0, whole.width(), whole.height())}) {
        if (bands->region(part, 1) != whole.copy(part)) {
            __builtin_trap();
        }
    }
    return 0;
}
