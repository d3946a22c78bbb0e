#include "fuzz_band_oracle.h"
#include "fuzz_png_maker.h"
#include "imaging/KanvoPngBands.h"
#include "imaging/KanvoPngChunks.h"
#include "imaging/KanvoPngDecoder.h"

#include <QBuffer>

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

    kanvo::fuzz::RowsAgainst rows{whole};
    auto device = std::make_unique<QBuffer>();
    device->setData(file);
    device->open(QIODevice::ReadOnly);
    const auto bands = KanvoPngBands::index(
        std::move(device), [&](int y, const uchar* pixels) { rows.row(y, pixels); }, interval,
        1 + place % 4);
    const bool interlaced = png.bytes.size() > interlaceByte && png.bytes[interlaceByte] != 0;
    // Two palettes, which libspng draws from at once, are left to it too.
    const bool palettes =
        KanvoPngChunks::countBeforeImageData({png.bytes.data(), png.bytes.size()}, "PLTE") > 1;
    kanvo::fuzz::checkBands(bands.get(), rows, png.damaged || interlaced || palettes, place);
    return 0;
}
