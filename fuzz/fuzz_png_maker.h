#pragma once

// A PNG made from a fuzz input's bytes, so that mutations land on what a
// decoder gets wrong rather than on CRCs and checksums: the input picks the
// kind and size of the image, each row's filter and samples, how the zlib
// stream is split over IDAT chunks, what other chunks the file holds and
// where, and how the file is damaged. The maker notes the damage that lets a
// decoder refuse the file.

#include "fuzz_png_chunks.h"

namespace kanvo::fuzz {

struct MadePng {
    std::vector<std::uint8_t> bytes;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Damage to the image data, its chunks or the file's end, which libpng
    // refuses or warns about: an IDAT failing its CRC, a stream too short,
    // too long, altered or broken by another chunk, a length field that
    // lies, a file cut short.
    bool damaged = false;
    // Whether the file ends before its first IEND chunk does.
    bool cutBeforeEnd = false;
    bool lengthLies = false;
};

namespace png_maker_detail {

// What the input chooses besides the samples, read before them.
struct Choices {
    std::uint8_t kind, width, height, damage, split, between, before, crcTarget, filterTarget,
        lengthChange, streamDamage, endDamage, endPlace, level, paletteSize;
};

// The bits of Choices::damage.
enum Damage : std::uint8_t {
    splitImageData = 0x01,
    chunkBetweenImageData = 0x02,
    chunkBeforeImageData = 0x04,
    badCrc = 0x08,
    undefinedFilter = 0x10,
    wrongLength = 0x20,
    damagedStream = 0x40,
    damagedEnd = 0x80,
};

struct Kind {
    int colourType;
    int depth;
    bool interlaced;
};

// Half the files are 8-bit RGB or RGBA without interlacing, the fast path's;
// the rest every other kind, an eighth of them interlaced.
inline Kind kindOf(std::uint8_t choice) {
    constexpr std::array<std::array<int, 2>, 16> others = {{{0, 1},
                                                            {0, 2},
                                                            {0, 4},
                                                            {0, 8},
                                                            {0, 16},
                                                            {2, 8},
                                                            {2, 16},
                                                            {3, 1},
                                                            {3, 2},
                                                            {3, 4},
                                                            {3, 8},
                                                            {4, 8},
                                                            {4, 16},
                                                            {6, 8},
                                                            {6, 16},
                                                            {3, 8}}};
    if (choice < 0x80) {
        return {choice & 1 ? 6 : 2, 8, false};
    }
    return {others[choice & 15][0], others[choice & 15][1], (choice & 0x70) == 0x70};
}

// Adam7's passes: where each starts and how far apart its pixels are.
constexpr std::array<std::array<std::uint32_t, 4>, 7> adam7 = {{{0, 0, 8, 8},
                                                                {4, 0, 8, 8},
                                                                {0, 4, 4, 8},
                                                                {2, 0, 4, 4},
                                                                {0, 2, 2, 4},
                                                                {1, 0, 2, 2},
                                                                {0, 1, 1, 2}}};

// The filtered rows: every row a filter byte (in row `undefinedFilterRow`
// one PNG does not define) and its samples.
inline std::vector<std::uint8_t> filteredRows(FuzzInputBytes& input, std::uint32_t width,
                                              std::uint32_t height, const Kind& kind,
                                              int undefinedFilterRow) {
    std::vector<std::array<std::uint32_t, 2>> passes;
    if (!kind.interlaced) {
        passes.push_back({width, height});
    } else {
        for (const auto& [x, y, dx, dy] : adam7) {
            passes.push_back({(width + dx - x - 1) / dx, (height + dy - y - 1) / dy});
        }
    }
    std::vector<std::uint8_t> rows;
    int row = 0;
    for (const auto& [passWidth, passHeight] : passes) {
        const size_t rowBytes =
            (size_t(passWidth) * size_t(channelsOf(kind.colourType) * kind.depth) + 7) / 8;
        for (std::uint32_t y = 0; passWidth > 0 && y < passHeight; ++y, ++row) {
            const std::uint8_t filter = input.byte();
            rows.push_back(row == undefinedFilterRow ? std::uint8_t(5 + filter % 251)
                                                     : std::uint8_t(filter % 5));
            for (size_t i = 0; i < rowBytes; ++i) {
                rows.push_back(input.sample());
            }
        }
    }
    return rows;
}

// The zlib stream of the image's rows, made too long or too short, or
// damaged, as chosen.
inline std::vector<std::uint8_t> imageStream(FuzzInputBytes& input, const Choices& choices,
                                             const Kind& kind, MadePng& made) {
    std::vector<std::uint8_t> rows = filteredRows(
        input, made.width, made.height, kind,
        choices.damage & undefinedFilter ? choices.filterTarget % int(made.height) : -1);
    if (choices.damage & wrongLength) {
        const size_t change = 1 + choices.lengthChange % 64;
        rows.resize(choices.lengthChange & 0x80 ? rows.size() + change
                                                : rows.size() - std::min(change, rows.size()));
        made.damaged = true;
    }
    std::vector<std::uint8_t> stream = zlibCompressed(rows, choices.level);
    if (choices.damage & damagedStream) {
        const std::uint8_t how = choices.streamDamage;
        const size_t at = how * stream.size() / 256;
        switch (how % 4) {
        case 0: // its checksum
            stream.back() ^= 0x01;
            made.damaged = true;
            break;
        case 1: // a byte of the compressed data
            stream[at] ^= std::uint8_t(1 + (how >> 2));
            made.damaged = true;
            break;
        case 2: // bytes after its end, which libpng only warns about
            stream.insert(stream.end(), 1 + how % 7, how);
            break;
        default: // its end
            stream.resize(at);
            made.damaged = true;
            break;
        }
    }
    return stream;
}

// Appends `stream` over 1 to 8 IDAT chunks, some of them empty, maybe with
// another chunk after one of them. True when that chunk breaks the stream
// in two, which libpng refuses.
inline bool appendImageData(std::vector<Chunk>& chunks, const std::vector<std::uint8_t>& stream,
                            const Choices& choices, FuzzInputBytes& input, int colourType) {
    const size_t parts = choices.damage & splitImageData ? 1 + choices.split % 8 : 1;
    std::vector<size_t> cuts = {0, stream.size()};
    std::uint32_t place = choices.split;
    for (size_t i = 1; i < parts; ++i) {
        place = place * 1103515245u + 12345u;
        cuts.push_back((place >> 8) % (stream.size() + 1));
    }
    std::sort(cuts.begin(), cuts.end());
    const size_t afterPart = choices.between % parts;
    bool breaksStream = false;
    for (size_t i = 0; i < parts; ++i) {
        chunks.push_back(
            {"IDAT", std::vector<std::uint8_t>(stream.begin() + std::ptrdiff_t(cuts[i]),
                                               stream.begin() + std::ptrdiff_t(cuts[i + 1]))});
        if ((choices.damage & chunkBetweenImageData) && i == afterPart) {
            chunks.push_back(otherChunk(choices.between >> 3, input, colourType, chunks[0].data));
            breaksStream = chunks.back().type != "IDAT" && cuts[i + 1] < stream.size();
        }
    }
    return breaksStream;
}

// Where the first IEND chunk ends.
inline size_t endOfFirstEnd(const std::vector<Chunk>& chunks) {
    size_t end = 8;
    for (const Chunk& chunk : chunks) {
        end += 12 + chunk.data.size();
        if (chunk.type == "IEND") {
            break;
        }
    }
    return end;
}

} // namespace png_maker_detail

inline MadePng makePng(FuzzInputBytes& input) {
    using namespace png_maker_detail;
    const Choices choices{input.byte(), input.byte(), input.byte(), input.byte(), input.byte(),
                          input.byte(), input.byte(), input.byte(), input.byte(), input.byte(),
                          input.byte(), input.byte(), input.byte(), input.byte(), input.byte()};
    const Kind kind = kindOf(choices.kind);
    MadePng made;
    made.width = 1 + choices.width % 64;
    made.height = 1 + choices.height % 64;

    std::vector<std::uint8_t> header;
    appendBigEndian(header, made.width);
    appendBigEndian(header, made.height);
    header.insert(header.end(), {std::uint8_t(kind.depth), std::uint8_t(kind.colourType), 0, 0,
                                 std::uint8_t(kind.interlaced)});
    std::vector<Chunk> chunks = {{"IHDR", header}};
    if (kind.colourType == 3) {
        std::vector<std::uint8_t> palette(3 * (1 + size_t(choices.paletteSize)));
        for (std::uint8_t& entry : palette) {
            entry = input.byte();
        }
        chunks.push_back({"PLTE", palette});
    }
    if (choices.damage & chunkBeforeImageData) {
        chunks.push_back(otherChunk(choices.before, input, kind.colourType, header));
    }
    const size_t firstImageData = chunks.size();
    const std::vector<std::uint8_t> stream = imageStream(input, choices, kind, made);
    made.damaged = appendImageData(chunks, stream, choices, input, kind.colourType) || made.damaged;
    chunks.push_back({"IEND", {}});

    const int crcFails = choices.damage & badCrc ? int(choices.crcTarget % chunks.size()) : -1;
    made.damaged = made.damaged ||
                   (crcFails >= int(firstImageData) && chunks[size_t(crcFails)].type == "IDAT");
    made.lengthLies = (choices.damage & damagedEnd) && (choices.endDamage & 0x80);
    const int lying = made.lengthLies ? int(choices.endPlace % chunks.size()) : -1;
    const std::uint32_t lies[] = {0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                  lying < 0 ? 0
                                            : std::uint32_t(chunks[size_t(lying)].data.size()) + 1 +
                                                  (choices.endDamage & 0x0F)};
    made.bytes = fileOf(chunks, crcFails, lying, lies[(choices.endDamage >> 4) % 4]);
    if ((choices.damage & damagedEnd) && !made.lengthLies) {
        made.bytes.resize(size_t(choices.endPlace) * made.bytes.size() / 256);
        made.cutBeforeEnd = made.bytes.size() < endOfFirstEnd(chunks);
        made.damaged = true;
    }
    made.damaged = made.damaged || made.lengthLies;
    return made;
}

} // namespace kanvo::fuzz
