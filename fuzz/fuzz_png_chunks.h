#pragma once

// PNG chunks for the files fuzz_png_maker.h makes: the zlib streams they
// carry, the chunks other than the image data, valid or not, and the file's
// bytes with a CRC or a length field wrong where asked.

#include "fuzz_input_bytes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <libdeflate.h>
#include <string>
#include <string_view>
#include <vector>

namespace kanvo::fuzz {

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

inline void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(std::uint8_t(value >> shift));
    }
}

// `bytes` as a zlib stream in stored blocks, at the fastest level or at the
// default one, as `levelChoice` picks.
inline std::vector<std::uint8_t> zlibCompressed(const std::vector<std::uint8_t>& bytes,
                                                int levelChoice) {
    // Made once: each compressor is a few hundred kilobytes.
    static const std::array<libdeflate_compressor*, 3> compressors = {
        libdeflate_alloc_compressor(0), libdeflate_alloc_compressor(1),
        libdeflate_alloc_compressor(6)};
    libdeflate_compressor* compressor = compressors[size_t(levelChoice) % compressors.size()];
    std::vector<std::uint8_t> out(libdeflate_zlib_compress_bound(compressor, bytes.size()));
    out.resize(
        libdeflate_zlib_compress(compressor, bytes.data(), bytes.size(), out.data(), out.size()));
    return out;
}

inline int channelsOf(int colourType) {
    switch (colourType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

// One of the chunks a file may hold besides the image data, valid or not,
// for an image of `colourType` whose header chunk holds `header`.
inline Chunk otherChunk(std::uint8_t choice, FuzzInputBytes& input, int colourType,
                        const std::vector<std::uint8_t>& header) {
    const auto bytes = [&input](size_t count) {
        std::vector<std::uint8_t> out(count);
        for (std::uint8_t& byte : out) {
            byte = input.byte();
        }
        return out;
    };
    const auto literal = [](std::string_view text) {
        return std::vector<std::uint8_t>(text.begin(), text.end());
    };
    switch (choice % 16) {
    case 0:
        return {"tEXt", literal({"Comment\0said", 12})};
    case 1: {
        std::vector<std::uint8_t> data = literal({"Comment\0\0", 9});
        const std::vector<std::uint8_t> words = zlibCompressed(literal("said"), 1);
        data.insert(data.end(), words.begin(), words.end());
        return {"zTXt", data};
    }
    case 2: {
        // A profile whose header names RGB, grey or the input's colour space;
        // its stream now and then garbage.
        std::vector<std::uint8_t> profile(132 + input.byte());
        const char* const spaces[] = {"RGB ", "GRAY"};
        const std::uint8_t space = input.byte();
        if (space < 2) {
            std::memcpy(profile.data() + 16, spaces[space], 4);
        } else {
            std::fill_n(profile.begin() + 16, 4, space);
        }
        std::vector<std::uint8_t> data = literal({"icc\0\0", 5});
        const std::vector<std::uint8_t> stream =
            input.byte() < 16 ? bytes(8) : zlibCompressed(profile, 1);
        data.insert(data.end(), stream.begin(), stream.end());
        return {"iCCP", data};
    }
    case 3:
        return {"gAMA", bytes(4)};
    case 4:
        return {"sBIT", bytes(size_t(channelsOf(colourType)))};
    case 5: {
        // The length the colour type takes, or the input's.
        const std::uint8_t length = input.byte();
        const size_t right = colourType == 0 ? 2 : colourType == 2 ? 6 : 1 + length % 4;
        return {"tRNS", bytes(length < 224 ? right : length % 8)};
    }
    case 6:
        return {"PLTE", bytes(size_t(input.byte() % 9))};
    case 7:
        return {"bKGD", bytes(colourType == 2 || colourType == 6 ? 6 : 2)};
    case 8:
        return {"pHYs", bytes(9)};
    case 9:
        return {"prVt", bytes(3)};
    case 10:
        return {"CRIT", bytes(3)};
    case 11:
        return {"IHDR", header};
    case 12:
        return {"IEND", {}};
    case 13: // Exif data, which libspng keeps whole
        return {"eXIf", literal({"MM\0*\0\0\0\x08", 8})};
    case 14: // a suggested palette of one entry
        return {"sPLT", literal({"p\0\x08\0\0\0\0\0\0", 9})};
    default:
        return {"IDAT", {}};
    }
}

// The file: the signature and the chunks, chunk `badCrc` failing its CRC and
// chunk `lyingLength` claiming `lie` bytes (neither when negative).
inline std::vector<std::uint8_t> fileOf(const std::vector<Chunk>& chunks, int badCrc,
                                        int lyingLength, std::uint32_t lie) {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (size_t i = 0; i < chunks.size(); ++i) {
        const Chunk& chunk = chunks[i];
        appendBigEndian(out, int(i) == lyingLength ? lie : std::uint32_t(chunk.data.size()));
        const size_t typed = out.size();
        out.insert(out.end(), chunk.type.begin(), chunk.type.end());
        out.insert(out.end(), chunk.data.begin(), chunk.data.end());
        const std::uint32_t crc = libdeflate_crc32(0, out.data() + typed, out.size() - typed);
        appendBigEndian(out, int(i) == badCrc ? crc ^ 0x10 : crc);
    }
    return out;
}

} // namespace kanvo::fuzz
