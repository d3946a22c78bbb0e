#include "imaging/KanvoPngRowFilter.h"

#include "imaging/KanvoPngFilters.h"

#include <cstdlib>

namespace {

using namespace KanvoPngFilters;

// The pixel distance is a template argument, so that each one compiles to
// its own loop. The first pixel has no left neighbours: they count as zero.
template <int distance>
void reconstructAs(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above,
                   std::size_t length) {
    const std::size_t first = length < distance ? length : distance;
    switch (filter) {
    case Sub:
        for (std::size_t i = distance; i < length; ++i) {
            row[i] = std::uint8_t(row[i] + row[i - distance]);
        }
        break;
    case Up:
        for (std::size_t i = 0; i < length; ++i) {
            row[i] = std::uint8_t(row[i] + above[i]);
        }
        break;
    case Average:
        for (std::size_t i = 0; i < first; ++i) {
            row[i] = std::uint8_t(row[i] + (above[i] >> 1));
        }
        for (std::size_t i = distance; i < length; ++i) {
            row[i] = std::uint8_t(row[i] + ((row[i - distance] + above[i]) >> 1));
        }
        break;
    case Paeth:
        for (std::size_t i = 0; i < first; ++i) {
            row[i] = std::uint8_t(row[i] + above[i]);
        }
        for (std::size_t i = distance; i < length; ++i) {
            row[i] = std::uint8_t(row[i] +
                                  paethPredictor(row[i - distance], above[i], above[i - distance]));
        }
        break;
    default: // None
        break;
    }
}

} // namespace

bool KanvoPngRowFilter::reconstruct(std::uint8_t filter, std::uint8_t* row,
                                    const std::uint8_t* above, std::size_t length,
                                    int bytesPerPixel) {
    if (filter > Paeth) {
        return false;
    }
    switch (bytesPerPixel) {
    case 1:
        reconstructAs<1>(filter, row, above, length);
        return true;
    case 2:
        reconstructAs<2>(filter, row, above, length);
        return true;
    case 3:
        reconstructAs<3>(filter, row, above, length);
        return true;
    case 4:
        reconstructAs<4>(filter, row, above, length);
        return true;
    case 6:
        reconstructAs<6>(filter, row, above, length);
        return true;
    case 8:
        reconstructAs<8>(filter, row, above, length);
        return true;
    default:
        return false;
    }
}
