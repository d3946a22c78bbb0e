#include "imaging/KanvoPngSamples.h"

#include <cstring>

namespace {

int channelsOf(int colourType) {
    switch (colourType) {
    case SPNG_COLOR_TYPE_TRUECOLOR:
        return 3;
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
        return 2;
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
        return 4;
    default:
        return 1;
    }
}

// Sample `index` of a row of `depth`-bit samples, packed from the high bit.
inline unsigned sampleAt(const std::uint8_t* row, std::size_t index, int depth) {
    switch (depth) {
    case 16:
        return unsigned(row[2 * index] << 8 | row[2 * index + 1]);
    case 8:
        return row[index];
    default: {
        const std::size_t bit = index * unsigned(depth);
        const unsigned shift = 8 - unsigned(depth) - unsigned(bit % 8);
        return (row[bit / 8] >> shift) & ((1u << depth) - 1);
    }
    }
}

// A sample as 8 bits: the high byte of 16, lower depths scaled to 0-255.
inline std::uint8_t eightBits(unsigned sample, int depth) {
    if (depth >= 8) {
        return std::uint8_t(sample >> (depth - 8));
    }
    return std::uint8_t(sample * 255 / ((1u << depth) - 1));
}

} // namespace

std::optional<KanvoPngSamples> KanvoPngSamples::of(spng_ctx* decoder, const spng_ihdr& header) {
    if (header.interlace_method != 0) {
        return std::nullopt;
    }
    KanvoPngSamples samples;
    samples.colourType_ = header.color_type;
    samples.depth_ = header.bit_depth;
    const int bitsPerPixel = channelsOf(header.color_type) * header.bit_depth;
    // libspng keeps the width within 2^31 - 1: at most 64 bits a pixel, no
    // overflow in 64 bits.
    samples.rowBytes_ = (std::size_t(header.width) * unsigned(bitsPerPixel) + 7) / 8;
    samples.filterDistance_ = bitsPerPixel < 8 ? 1 : bitsPerPixel / 8;

    spng_trns transparency{};
    const bool hasTrns = spng_get_trns(decoder, &transparency) == 0;
    samples.hasAlpha_ = hasTrns || header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                        header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    if (header.color_type == SPNG_COLOR_TYPE_INDEXED) {
        spng_plte palette{};
        if (spng_get_plte(decoder, &palette) != 0 || palette.n_entries > 256) {
            return std::nullopt;
        }
        samples.palette_.fill({0, 0, 0, 255});
        for (std::uint32_t i = 0; i < palette.n_entries; ++i) {
            const spng_plte_entry& entry = palette.entries[i];
            const bool seeThrough = hasTrns && i < transparency.n_type3_entries && i < 256;
            samples.palette_[i] = {entry.red, entry.green, entry.blue,
                                   seeThrough ? transparency.type3_alpha[i] : std::uint8_t(255)};
        }
    } else if (hasTrns) {
        samples.keyed_ = true;
        // As libspng matches a key wider than the samples: a grey one whole
        // (so never), an 8-bit colour one by its low byte.
        const unsigned mask = header.bit_depth == 8 ? 0xFFU : 0xFFFFU;
        if (header.color_type == SPNG_COLOR_TYPE_GRAYSCALE) {
            samples.key_[0] = transparency.gray;
        } else {
            samples.key_[0] = transparency.red & mask;
            samples.key_[1] = transparency.green & mask;
            samples.key_[2] = transparency.blue & mask;
        }
    }
    return samples;
}

void KanvoPngSamples::toRgba(const std::uint8_t* row, int first, int count,
                             std::uint8_t* out) const {
    switch (colourType_) {
    case SPNG_COLOR_TYPE_GRAYSCALE:
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
        greyToRgba(row, first, count, out);
        break;
    case SPNG_COLOR_TYPE_INDEXED:
        paletteToRgba(row, first, count, out);
        break;
    default:
        colourToRgba(row, first, count, out);
        break;
    }
}

void KanvoPngSamples::greyToRgba(const std::uint8_t* row, int first, int count,
                                 std::uint8_t* out) const {
    const bool withAlpha = colourType_ == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA;
    const std::size_t step = withAlpha ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        const std::size_t sample = (std::size_t(first) + std::size_t(i)) * step;
        const unsigned grey = sampleAt(row, sample, depth_);
        std::uint8_t alpha = 255;
        if (withAlpha) {
            alpha = eightBits(sampleAt(row, sample + 1, depth_), depth_);
        } else if (keyed_ && grey == key_[0]) {
            alpha = 0;
        }
        const std::uint8_t level = eightBits(grey, depth_);
        out[4 * i] = out[4 * i + 1] = out[4 * i + 2] = level;
        out[4 * i + 3] = alpha;
    }
}

void KanvoPngSamples::paletteToRgba(const std::uint8_t* row, int first, int count,
                                    std::uint8_t* out) const {
    for (int i = 0; i < count; ++i) {
        const unsigned index = sampleAt(row, std::size_t(first) + std::size_t(i), depth_);
        std::memcpy(out + 4 * i, palette_[index].data(), 4);
    }
}

void KanvoPngSamples::colourToRgba(const std::uint8_t* row, int first, int count,
                                   std::uint8_t* out) const {
    const bool withAlpha = colourType_ == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    const std::size_t channels = withAlpha ? 4 : 3;
    if (depth_ == 8 && withAlpha) {
        std::memcpy(out, row + std::size_t(first) * 4, std::size_t(count) * 4);
        return;
    }
    if (depth_ == 8 && !keyed_) {
        const std::uint8_t* in = row + std::size_t(first) * 3;
        for (int i = 0; i < count; ++i) {
            out[4 * i] = in[3 * i];
            out[4 * i + 1] = in[3 * i + 1];
            out[4 * i + 2] = in[3 * i + 2];
            out[4 * i + 3] = 255;
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        const std::size_t sample = (std::size_t(first) + std::size_t(i)) * channels;
        unsigned values[4] = {0, 0, 0, 255};
        for (std::size_t c = 0; c < channels; ++c) {
            values[c] = sampleAt(row, sample + c, depth_);
        }
        std::uint8_t alpha = withAlpha ? eightBits(values[3], depth_) : 255;
        if (keyed_ && values[0] == key_[0] && values[1] == key_[1] && values[2] == key_[2]) {
            alpha = 0;
        }
        for (int c = 0; c < 3; ++c) {
            out[4 * i + c] = eightBits(values[c], depth_);
        }
        out[4 * i + 3] = alpha;
    }
}
