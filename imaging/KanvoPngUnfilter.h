#pragma once

#include <cstdint>

// Undoes the per-row filters of 8-bit, non-interlaced RGB or RGBA PNG data,
// writing four-byte pixels (RGBX8888 or RGBA8888) in the same pass.
namespace KanvoPngUnfilter {

// Reconstructs one row: `filtered` is its filter byte followed by width x
// channels bytes, as inflated; `above` is the reconstructed row above in the
// four-byte layout, or null for the first row. Each pixel is read before it
// is written, so `out` may overlap `filtered` as long as no write reaches a
// byte not yet read: with four channels `out` may start anywhere up to
// `filtered`; with three, whose pixels each grow by a byte, it must start at
// least width - 2 bytes before it. False for a filter type that PNG does not
// define.
bool reconstructRow(const std::uint8_t* filtered, const std::uint8_t* above, std::uint8_t* out,
                    int width, int channels);

} // namespace KanvoPngUnfilter
