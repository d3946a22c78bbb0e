#include "kanvo/ui/snapping.h"

#include <gtest/gtest.h>
#include <sstream>

namespace kanvo::ui {
namespace {

// Every layer gets an id of its own, so only the moving one is skipped as itself.
Layer layer(std::size_t w, std::size_t h, double x, double y, bool visible = true) {
    static std::uint64_t nextId = 1;
    return {nextId++, "", "", w, h, visible, 1.0, x, y};
}

// "V320[0,480]center H100[200,250]": one word per guide, in list order.
std::string describe(const std::vector<AlignGuide>& guides) {
    std::ostringstream out;
    for (const auto& g : guides) {
        out << (out.tellp() > 0 ? " " : "")
            << (g.orientation == AlignGuideOrientation::Vertical ? "V" : "H") << g.position << '['
            << g.start << ',' << g.end << ']' << g.label;
    }
    return out.str();
}

struct SnapCase {
    const char* fault;
    std::vector<Layer> others;
    double dx, dy, x, y;
    const char* guides;
    std::size_t width = 100;
};

// Canvas 640 x 480; the moving layer is 100 x 60 (unless `width` says
// otherwise) and starts at (0, 0). Against the 200 x 200 layer at (200, 100)
// each row makes exactly one of the five tests hold on each axis.
const std::vector<Layer> tall{layer(200, 200, 200, 100)};
const std::vector<Layer> hiddenSquare{layer(50, 50, 200, 100, false)};
const std::vector<Layer> sameSize{layer(100, 60, 304, 0)};
const std::vector<Layer> twoInReach{layer(40, 40, 100, 300), layer(40, 40, 108, 300)};
const std::vector<Layer> narrower{layer(96, 40, 100, 300)};
const std::vector<Layer> nearCanvasCentre{layer(40, 40, 260, 300)};

const SnapCase cases[] = {
    {"grid_rounds_halves_away_from_zero", {}, 3, -4, 0, -8, ""},
    {"canvas_centre", {}, 266, 208, 270, 210, "V320[0,480]center H240[0,640]center"},
    {"odd_width_centres_on_half_pixel", {}, 266, 0, 269.5, 0, "V320[0,480]center", 101},
    {"origin_edges", tall, 200, 104, 200, 100, "V200[104,300] H100[200,400]"},
    {"far_edges", tall, 304, 240, 300, 240, "V400[240,300] H300[304,400]"},
    {"abut_after", tall, 400, 296, 400, 300, "V400[296,300] H300[400,400]"},
    {"abut_before", tall, 104, 40, 100, 40, "V200[40,300] H100[104,400]"},
    {"centres", tall, 248, 168, 250, 170, "V300[168,300]center H200[248,400]center"},
    {"hidden_layer_still_snaps", hiddenSquare, 196, 104, 200, 100, "V200[104,150] H100[200,250]"},
    {"exactly_8_from_an_edge_does_not_snap", {layer(50, 50, 208, 100)}, 200, 0, 200, 0, ""},
    {"same_size_layer_gives_every_guide_in_test_order", sameSize, 304, 0, 304, 0,
     "V304[0,60] V404[0,60] V354[0,60]center H0[304,404] H60[304,404] H30[304,404]center"},
    {"later_layer_wins", twoInReach, 104, 0, 108, 0, "V100[0,340] V108[0,340]"},
    {"centre_beats_edge_on_one_axis", narrower, 104, 0, 98, 0, "V100[0,340] V148[0,340]center"},
    {"layer_beats_canvas_centre", nearCanvasCentre, 264, 0, 260, 0,
     "V320[0,480]center V260[0,340]"},
};

TEST(MoveLayerWithSnapping, PlacesLayerAndReplacesGuides) {
    for (const SnapCase& c : cases) {
        Document document;
        document.canvas = {640, 480};
        document.layers.push_back(layer(c.width, 60, 0, 0));
        document.layers.insert(document.layers.end(), c.others.begin(), c.others.end());
        document.align_guides = {{AlignGuideOrientation::Vertical, 1, 2, 3, "stale"}};

        moveLayerWithSnapping(document, document.layers[0], c.dx, c.dy);

        EXPECT_EQ(document.layers[0].x, c.x) << c.fault;
        EXPECT_EQ(document.layers[0].y, c.y) << c.fault;
        EXPECT_EQ(describe(document.align_guides), c.guides) << c.fault;
    }
}

} // namespace
} // namespace kanvo::ui
