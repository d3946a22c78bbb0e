#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Where on screen an image's band of one colour shows, judged from RGB
// pixels read back from the X server; plain data, so the rules read apart
// from Xlib.
namespace ColourBand {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const Rect&) const = default;
};

// What counts as the band's colour: every channel within `tolerance` of
// `colour`, and a row shows the band when at least `share` of its pixels do.
struct Match {
    Rgb colour;
    int tolerance = 48;
    double share = 0.9;

    bool pixel(Rgb pixel) const;
    bool row(const std::vector<Rgb>& pixels) const;
};

// An RGB frame read from the screen, `width` pixels to a row.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
};

// The tallest run of rows, at least `minimumHeight` of them, in each of
// which the matching pixels span at least `minimumWidth` columns and fill
// `match.share` of that span; nullopt when there is none.
std::optional<Rect> locate(const Frame& frame, const Match& match, int minimumWidth = 64,
                           int minimumHeight = 8);

// The mean colour of some pixels: what a row showed instead of the band.
Rgb mean(const std::vector<Rgb>& pixels);

} // namespace ColourBand
