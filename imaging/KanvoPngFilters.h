#pragma once

#include <cstdint>
#include <cstdlib>

// The five filter types a PNG row may be stored with, and the Paeth
// predictor, shared by the whole-image unfilter and the one of rows.
namespace KanvoPngFilters {

enum Filter : std::uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

inline int paethPredictor(int left, int above, int aboveLeft) {
    const int estimate = left + above - aboveLeft;
    const int toLeft = std::abs(estimate - left);
    const int toAbove = std::abs(estimate - above);
    const int toAboveLeft = std::abs(estimate - aboveLeft);
    if (toLeft <= toAbove && toLeft <= toAboveLeft) {
        return left;
    }
    return toAbove <= toAboveLeft ? above : aboveLeft;
}

} // namespace KanvoPngFilters
