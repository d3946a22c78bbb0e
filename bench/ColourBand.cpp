#include "ColourBand.h"

#include <algorithm>
#include <cstdlib>

namespace ColourBand {

bool Match::pixel(Rgb pixel) const {
    return std::abs(pixel.red - colour.red) <= tolerance &&
           std::abs(pixel.green - colour.green) <= tolerance &&
           std::abs(pixel.blue - colour.blue) <= tolerance;
}

bool Match::row(const std::vector<Rgb>& pixels) const {
    const auto matching =
        std::count_if(pixels.begin(), pixels.end(), [this](Rgb p) { return pixel(p); });
    return !pixels.empty() && double(matching) >= share * double(pixels.size());
}

std::optional<Rect> locate(const Frame& frame, const Match& match, int minimumWidth,
                           int minimumHeight) {
    // Each row's matching pixels: the first, the last and how many.
    struct Span {
        int first = -1;
        int last = -1;
        int count = 0;
        int width() const { return last - first + 1; }
    };
    std::vector<Span> spans(std::size_t(frame.height));
    int widest = 0;
    for (int y = 0; y < frame.height; ++y) {
        Span& span = spans[std::size_t(y)];
        for (int x = 0; x < frame.width; ++x) {
            if (match.pixel(frame.pixels[std::size_t(y) * frame.width + x])) {
                span.first = span.first < 0 ? x : span.first;
                span.last = x;
                ++span.count;
            }
        }
        if (span.count >= match.share * span.width()) {
            widest = std::max(widest, span.width());
        }
    }
    // A row of the band is filled across (nearly) the band's whole width, so
    // rows of the image where only some pixels come close to the colour are
    // not counted in.
    const auto inBand = [&](const Span& span) {
        return span.first >= 0 && span.width() >= std::max(minimumWidth, widest * 9 / 10) &&
               span.count >= match.share * span.width();
    };
    std::optional<Rect> tallest;
    for (int y = 0; y < frame.height;) {
        if (!inBand(spans[std::size_t(y)])) {
            ++y;
            continue;
        }
        Rect run{spans[std::size_t(y)].first, y, 0, 0};
        int right = spans[std::size_t(y)].last;
        for (; y < frame.height && inBand(spans[std::size_t(y)]); ++y) {
            run.x = std::min(run.x, spans[std::size_t(y)].first);
            right = std::max(right, spans[std::size_t(y)].last);
            ++run.height;
        }
        run.width = right - run.x + 1;
        if (run.height >= minimumHeight && (!tallest || run.height > tallest->height)) {
            tallest = run;
        }
    }
    return tallest;
}

Rgb mean(const std::vector<Rgb>& pixels) {
    long red = 0;
    long green = 0;
    long blue = 0;
    for (const Rgb p : pixels) {
        red += p.red;
        green += p.green;
        blue += p.blue;
    }
    const long n = std::max<long>(1, long(pixels.size()));
    return {std::uint8_t(red / n), std::uint8_t(green / n), std::uint8_t(blue / n)};
}

} // namespace ColourBand
