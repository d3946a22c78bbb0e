#include "imaging/KanvoPngUnfilter.h"

#include "imaging/KanvoPngFilters.h"

#include <cstdlib>
#include <vector>

namespace {

using namespace KanvoPngFilters;

// The channel count and the predictor are template arguments, so that each
// combination compiles to its own loop with the neighbours held in registers.
template <int channels, typename Predictor>
void reconstruct(const std::uint8_t* in, const std::uint8_t* above, std::uint8_t* out, int width,
                 Predictor predict) {
    int left[channels] = {};
    int aboveLeft[channels] = {};
    for (int x = 0; x < width; ++x) {
        int filtered[channels];
        for (int c = 0; c < channels; ++c) {
            filtered[c] = in[channels * x + c];
        }
        for (int c = 0; c < channels; ++c) {
            const int up = above[4 * x + c];
            left[c] = (filtered[c] + predict(left[c], up, aboveLeft[c])) & 0xFF;
            aboveLeft[c] = up;
            out[4 * x + c] = std::uint8_t(left[c]);
        }
        if constexpr (channels == 3) {
            out[4 * x + 3] = 0xFF;
        }
    }
}

template <int channels>
bool reconstructAs(std::uint8_t filter, const std::uint8_t* in, const std::uint8_t* above,
                   std::uint8_t* out, int width) {
    switch (filter) {
    case None:
        reconstruct<channels>(in, above, out, width, [](int, int, int) { return 0; });
        return true;
    case Sub:
        reconstruct<channels>(in, above, out, width, [](int left, int, int) { return left; });
        return true;
    case Up:
        reconstruct<channels>(in, above, out, width, [](int, int up, int) { return up; });
        return true;
    case Average:
        reconstruct<channels>(in, above, out, width,
                              [](int left, int up, int) { return (left + up) >> 1; });
        return true;
    case Paeth:
        reconstruct<channels>(in, above, out, width, paethPredictor);
        return true;
    default:
        return false;
    }
}

} // namespace

bool KanvoPngUnfilter::reconstructRow(const std::uint8_t* filtered, const std::uint8_t* above,
                                      std::uint8_t* out, int width, int channels) {
    // The row above the first is all zeros.
    std::vector<std::uint8_t> zeros;
    if (above == nullptr) {
        zeros.assign(size_t(width) * 4, 0);
        above = zeros.data();
    }
    return channels == 3 ? reconstructAs<3>(filtered[0], filtered + 1, above, out, width)
                         : reconstructAs<4>(filtered[0], filtered + 1, above, out, width);
}
