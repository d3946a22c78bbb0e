// The screen sampler's rules for "the image's band is shown", on frames drawn
// here as a viewer would leave the screen.
#include "ColourBand.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using ColourBand::Frame;
using ColourBand::Match;
using ColourBand::Rect;
using ColourBand::Rgb;

constexpr Rgb band{40, 184, 112};
constexpr Rgb grey{239, 239, 239};

// A 400 x 300 grey frame; `paint` colours rectangles of it.
struct Painter {
    Frame frame{400, 300, std::vector<Rgb>(400 * 300, grey)};

    Painter& fill(Rect area, Rgb colour) {
        for (int y = area.y; y < area.y + area.height; ++y) {
            for (int x = area.x; x < area.x + area.width; ++x) {
                frame.pixels[std::size_t(y) * frame.width + x] = colour;
            }
        }
        return *this;
    }
    // Grain of +-`amount` on every pixel of the area, as a noisy photo shows.
    Painter& grain(Rect area, int amount) {
        for (int y = area.y; y < area.y + area.height; ++y) {
            for (int x = area.x; x < area.x + area.width; ++x) {
                Rgb& p = frame.pixels[std::size_t(y) * frame.width + x];
                const int d = (x * 7 + y * 13) % (2 * amount + 1) - amount;
                p = {std::uint8_t(p.red + d), std::uint8_t(p.green - d), std::uint8_t(p.blue + d)};
            }
        }
        return *this;
    }
};

struct LocateCase {
    std::string name;
    Frame frame;
    std::optional<Rect> expected;
};

std::vector<LocateCase> locateCases() {
    const Rect shown{50, 100, 300, 60};
    return {
        {"empty screen", Painter().frame, std::nullopt},
        {"band", Painter().fill(shown, band).frame, shown},
        {"band with grain within tolerance", Painter().fill(shown, band).grain(shown, 20).frame,
         shown},
        // Rows next to the band where only the left part comes near the
        // colour (a gradient) are not the band.
        {"partial rows below",
         Painter().fill(shown, band).fill({50, 160, 100, 20}, {60, 170, 100}).frame, shown},
        {"too thin to be the image", Painter().fill({50, 100, 300, 4}, band).frame, std::nullopt},
        {"too narrow to be the image", Painter().fill({50, 100, 30, 60}, band).frame, std::nullopt},
        {"red panel is not the band", Painter().fill(shown, {239, 68, 68}).frame, std::nullopt},
        // The image's band and a smaller patch of the colour elsewhere: the
        // taller run wins.
        {"tallest run", Painter().fill(shown, band).fill({50, 20, 300, 30}, band).frame, shown},
    };
}

TEST(ColourBand, LocatesTheBandOnScreen) {
    const Match match{band};
    for (const LocateCase& c : locateCases()) {
        SCOPED_TRACE(c.name);
        const std::optional<Rect> found = ColourBand::locate(c.frame, match);
        ASSERT_EQ(found.has_value(), c.expected.has_value());
        if (found) {
            EXPECT_EQ(found->x, c.expected->x);
            EXPECT_EQ(found->y, c.expected->y);
            EXPECT_EQ(found->width, c.expected->width);
            EXPECT_EQ(found->height, c.expected->height);
        }
    }
}

TEST(ColourBand, ARowShowsTheBandWhenMostOfItMatches) {
    const Match match{band, 48, 0.9};
    const struct {
        std::string name;
        int matching;
        bool shown;
    } cases[] = {
        {"all", 100, true}, {"nine tenths", 90, true}, {"a half", 50, false}, {"none", 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Rgb> row(100, grey);
        std::fill_n(row.begin(), c.matching, Rgb{60, 200, 90});
        EXPECT_EQ(match.row(row), c.shown);
    }
    EXPECT_FALSE(match.row({}));
}

} // namespace
