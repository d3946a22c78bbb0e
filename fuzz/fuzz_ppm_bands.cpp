#include "fuzz_band_oracle.h"
#include "fuzz_input_bytes.h"
#include "fuzz_input_file.h"
#include "imaging/KanvoImageFile.h"
#include "imaging/KanvoPpmBands.h"

#include <QBuffer>
#include <string>

// Rows and regions of binary PPMs read by rows (KanvoPpmBands) against
// Kanvo's whole decode of the same file (Qt's reader), on files made from
// the input: every kind of white space and comment between the header's
// numbers, or none where one is needed, maxvals of one and two bytes a
// sample, samples above the maxval, rows missing or to spare, other magic
// numbers, and now and then a byte of the header changed.
//
// What reading by rows must do:
// - read nothing the whole decode refuses;
// - where it reads a file, hand out exactly the whole decode's rows and give
//   its pixels for any region;
// - read every binary RGB file the maker wrote as the format has it and the
//   whole decode reads.
// Anything else is a bug, and traps.

namespace {

struct MadePpm {
    std::string bytes;
    // P6, its header as the format has it, every row there, every sample
    // within the maxval.
    bool wellFormed = true;
};

// True about `percent` times in a hundred, and never once the input has run
// out: a short input makes a whole, well-formed file.
bool now(kanvo::fuzz::FuzzInputBytes& input, int percent) {
    return input.byte() % 100 >= 100 - percent;
}

std::string separator(kanvo::fuzz::FuzzInputBytes& input, MadePpm& made) {
    static constexpr char spaces[] = {' ', '\t', '\n', '\v', '\f', '\r'};
    std::string text(1, spaces[input.byte() % sizeof(spaces)]);
    if (now(input, 20)) {
        text += "#";
        for (int length = input.byte() % 12; length > 0; --length) {
            text += char(input.byte() % 3 == 0 ? '\n' : 'a' + input.byte() % 26);
        }
        text += '\n';
    }
    if (now(input, 3)) {
        text.clear(); // the numbers run together
        made.wellFormed = false;
    }
    return text;
}

MadePpm makePpm(kanvo::fuzz::FuzzInputBytes& input) {
    MadePpm made;
    static const char* const magics[] = {"P6", "P6", "P6", "P6", "P5", "P3", "P7", "Q6"};
    const std::string magic = magics[input.byte() % 8];
    made.wellFormed = magic == "P6";
    const int width = int(input.inRange(0, 40));
    const int height = int(input.inRange(0, 40));
    static const int maxvals[] = {255, 255, 1, 7, 100, 256, 1000, 65535};
    const int maxval = now(input, 5) ? int(input.inRange(0, 70000)) : maxvals[input.byte() % 8];
    made.wellFormed = made.wellFormed && width > 0 && height > 0 && maxval > 0 && maxval < 65536;
    made.bytes = magic + separator(input, made) + std::to_string(width) + separator(input, made) +
                 std::to_string(height) + separator(input, made) + std::to_string(maxval);
    // One white space character ends the header.
    const bool commentEnds = now(input, 3);
    made.bytes += commentEnds ? '#' : "\n\t \r"[input.byte() % 4];
    made.wellFormed = made.wellFormed && !commentEnds;
    const bool wide = maxval > 255;
    long samples = long(width) * height * 3;
    if (now(input, 5)) {
        samples -= long(input.inRange(1, 5));
        made.wellFormed = false;
    }
    for (long i = 0; i < samples; ++i) {
        const int high = wide ? input.sample() : 0;
        const int low = input.sample();
        made.wellFormed = made.wellFormed && (high << 8 | low) <= maxval;
        if (wide) {
            made.bytes += char(high);
        }
        made.bytes += char(low);
    }
    if (now(input, 10)) {
        made.bytes += std::string(input.byte() % 7, 'x');
    }
    if (now(input, 5) && !made.bytes.empty()) {
        const size_t at = input.byte() % std::min<size_t>(made.bytes.size(), 24);
        made.bytes[at] = char(input.byte());
        made.wellFormed = false;
    }
    return made;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kanvo::fuzz::FuzzInputDirectory directory;
    kanvo::fuzz::FuzzInputBytes input({data, size});
    const std::uint8_t place = input.byte();
    const MadePpm ppm = makePpm(input);
    const auto path = directory.write(
        "input.ppm", reinterpret_cast<const std::uint8_t*>(ppm.bytes.data()), ppm.bytes.size());
    const QImage whole = KanvoImageFile(QString::fromStdString(path.string())).decode().image;

    auto file = std::make_unique<QBuffer>();
    file->setData(ppm.bytes.data(), qsizetype(ppm.bytes.size()));
    file->open(QIODevice::ReadOnly);
    kanvo::fuzz::RowsAgainst rows{whole};
    const auto bands = KanvoPpmBands::index(
        std::move(file), [&](int y, const uchar* pixels) { rows.row(y, pixels); });
    kanvo::fuzz::checkBands(bands.get(), rows, !ppm.wellFormed, place);
    return 0;
}
