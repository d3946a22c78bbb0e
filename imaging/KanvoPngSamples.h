#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <spng.h>

// One PNG row's stored samples, reconstructed, as the four-byte pixels the
// whole decode gives: RGBA bytes, the fourth opaque for an image without
// alpha or tRNS. Every colour type and bit depth as libspng converts them to
// 8-bit RGBA with tRNS applied: 16-bit samples keep their high byte, grey
// below 8 bits is scaled to 0-255, a palette index is looked up, a colour
// key matches the samples as stored, an index beyond the palette is opaque
// black.
class KanvoPngSamples {
public:
    // The layout `header` describes, with the palette and tRNS `decoder` has
    // read; none for an interlaced image or one without its palette.
    static std::optional<KanvoPngSamples> of(spng_ctx* decoder, const spng_ihdr& header);

    // Bytes of a stored row, without its filter byte.
    std::size_t rowBytes() const { return rowBytes_; }
    // The distance PNG's filters look back over: a pixel's bytes, at least 1.
    int filterDistance() const { return filterDistance_; }
    // RGBA8888 rather than RGBX8888: an alpha channel or a tRNS chunk.
    bool hasAlpha() const { return hasAlpha_; }

    // Writes `count` pixels of `row` from pixel `first` to `out`, four bytes
    // each; the caller keeps first + count within the width.
    void toRgba(const std::uint8_t* row, int first, int count, std::uint8_t* out) const;

private:
    void greyToRgba(const std::uint8_t* row, int first, int count, std::uint8_t* out) const;
    void paletteToRgba(const std::uint8_t* row, int first, int count, std::uint8_t* out) const;
    void colourToRgba(const std::uint8_t* row, int first, int count, std::uint8_t* out) const;

    int colourType_ = 0;
    int depth_ = 8;
    std::size_t rowBytes_ = 0;
    int filterDistance_ = 1;
    bool hasAlpha_ = false;
    bool keyed_ = false;        // tRNS on grey or RGB
    std::uint16_t key_[3] = {}; // its grey or red, green, blue
    // RGBA, tRNS applied; opaque black beyond the palette's entries.
    std::array<std::array<std::uint8_t, 4>, 256> palette_{};
};
