#include "kanvo/ui/snapping.h"

#include <gtest/gtest.h>
#include <ostream>

namespace kanvo::ui {

void PrintTo(const AlignGuide& g, std::ostream* os) {
    *os << (g.orientation == AlignGuideOrientation::Vertical ? "V" : "H") << "@" << g.position
        << " [" << g.start << ", " << g.end << "] '" << g.label << "'";
}

namespace {

using Guides = std::vector<AlignGuide>;

AlignGuide V(double at, double from, double to, const char* label = "") {
    return {AlignGuideOrientation::Vertical, at, from, to, label};
}

AlignGuide H(double at, double from, double to, const char* label = "") {
    return {AlignGuideOrientation::Horizontal, at, from, to, label};
}

Layer layerAt(std::uint64_t id, std::size_t w, std::size_t h, double x, double y,
              bool visible = true) {
    return {id, "", "", w, h, visible, 1.0, x, y};
}

struct SnapCase {
    const char* name;
    std::vector<Layer> others;
    double dx, dy;
    double x, y;
    Guides guides;
    std::size_t width = 100;
};

// Canvas 640 x 480; the moving layer is 100 x 60 (unless `width` says
// otherwise) and starts at (0, 0). The 200 x 200 layer at (200, 100) lets each
// of the ten layer tests hold on its own.
const Layer tall = layerAt(2, 200, 200, 200, 100);

const SnapCase cases[] = {
    {"below_half_a_cell_stays_and_self_is_no_target", {}, 3, 0, 0, 0, {}},
    {"half_a_cell_rounds_up", {}, 4, 0, 8, 0, {}},
    {"negative_half_rounds_away_from_zero", {}, -4, 0, -8, 0, {}},
    {"canvas_centre_x", {}, 266, 0, 270, 0, {V(320, 0, 480, "center")}},
    {"canvas_centre_y", {}, 0, 208, 0, 210, {H(240, 0, 640, "center")}},
    {"canvas_centre_exactly_8_away_does_not_snap", {}, 264, 0, 264, 0, {}, 96},
    {"odd_width_centres_on_half_pixel", {}, 266, 0, 269.5, 0, {V(320, 0, 480, "center")}, 101},

    {"x1_origin_edges", {tall}, 200, 0, 200, 0, {V(200, 0, 300)}},
    {"x2_far_edges", {tall}, 304, 0, 300, 0, {V(400, 0, 300)}},
    {"x3_abut_after", {tall}, 400, 0, 400, 0, {V(400, 0, 300)}},
    {"x4_abut_before", {tall}, 104, 0, 100, 0, {V(200, 0, 300)}},
    {"x5_centres", {tall}, 248, 0, 250, 0, {V(300, 0, 300, "center")}},
    {"y1_origin_edges", {tall}, 0, 104, 0, 100, {H(100, 0, 400)}},
    {"y2_far_edges", {tall}, 0, 240, 0, 240, {H(300, 0, 400)}},
    {"y3_abut_after", {tall}, 0, 296, 0, 300, {H(300, 0, 400)}},
    {"y4_abut_before", {tall}, 0, 40, 0, 40, {H(100, 0, 400)}},
    {"y5_centres", {tall}, 0, 168, 0, 170, {H(200, 0, 400, "center")}},

    {"edges_on_both_axes",
     {layerAt(2, 50, 50, 200, 100)},
     196,
     104,
     200,
     100,
     {V(200, 104, 150), H(100, 200, 250)}},
    {"hidden_layer_still_snaps",
     {layerAt(2, 50, 50, 200, 100, false)},
     196,
     104,
     200,
     100,
     {V(200, 104, 150), H(100, 200, 250)}},
    {"exactly_8_from_an_edge_does_not_snap", {layerAt(2, 50, 50, 208, 100)}, 200, 0, 200, 0, {}},
    {"same_size_layer_gives_every_guide_in_test_order",
     {layerAt(2, 100, 60, 304, 0)},
     304,
     0,
     304,
     0,
     {V(304, 0, 60), V(404, 0, 60), V(354, 0, 60, "center"), H(0, 304, 404), H(60, 304, 404),
      H(30, 304, 404, "center")}},
    {"later_layer_wins",
     {layerAt(2, 40, 40, 100, 300), layerAt(3, 40, 40, 108, 300)},
     104,
     0,
     108,
     0,
     {V(100, 0, 340), V(108, 0, 340)}},
    {"centre_beats_edge_on_one_axis",
     {layerAt(2, 96, 40, 100, 300)},
     104,
     0,
     98,
     0,
     {V(100, 0, 340), V(148, 0, 340, "center")}},
    {"layer_beats_canvas_centre",
     {layerAt(2, 40, 40, 260, 300)},
     264,
     0,
     260,
     0,
     {V(320, 0, 480, "center"), V(260, 0, 340)}},
};

void PrintTo(const SnapCase& c, std::ostream* os) {
    *os << c.name;
}

class MoveLayerWithSnapping : public testing::TestWithParam<SnapCase> {};

TEST_P(MoveLayerWithSnapping, PlacesLayerAndReportsGuides) {
    const SnapCase& c = GetParam();
    Document document;
    document.canvas = {640, 480};
    document.layers.push_back(layerAt(1, c.width, 60, 0, 0));
    document.layers.insert(document.layers.end(), c.others.begin(), c.others.end());
    document.align_guides = {V(1, 2, 3)};

    moveLayerWithSnapping(document, document.layers[0], c.dx, c.dy);

    EXPECT_EQ(document.layers[0].x, c.x);
    EXPECT_EQ(document.layers[0].y, c.y);
    EXPECT_EQ(document.align_guides, c.guides);
    for (std::size_t i = 0; i < c.others.size(); ++i) {
        EXPECT_EQ(document.layers[i + 1].x, c.others[i].x) << "other layers never move";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MoveLayerWithSnapping, testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kanvo::ui
