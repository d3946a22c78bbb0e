#pragma once

#include <cstddef>
#include <cstdint>

// Undoes the filter of one PNG row of any colour type and bit depth, on the
// row's own bytes as stored (before any conversion of its samples).
namespace KanvoPngRowFilter {

// Reconstructs `row` (`length` bytes, without its filter byte) in place.
// `above` is the reconstructed row above, `length` bytes, all zeros for the
// first row. `bytesPerPixel` is PNG's filter distance: the bytes of a pixel
// rounded up to at least one (1 to 8). False for a filter type that PNG does
// not define.
bool reconstruct(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above,
                 std::size_t length, int bytesPerPixel);

} // namespace KanvoPngRowFilter
