#include "image_bytes.h"
#include "kanvo/ui/document_session.h"
#include "kanvo/ui/snapping.h"
#include "temp_dir.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <tuple>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;

TEST(DocumentSession, OpeningResetsTheDocumentButNotTheToolOrIdCounter) {
    TempDir dir;
    DocumentSession session;
    session.openImage(dir.write("first.png", pngBytes(640, 480)));
    session.deleteLayer(1); // the last layer stays, so the copy draws id 2
    session.duplicateLayer(1);
    session.setCropBounds(1, 1, 9, 9);
    session.selectTool("hand");
    session.selectTool("");
    EXPECT_THROW(session.openImage(dir.write("bad.jpg", "")), std::runtime_error);
    const auto image = dir.write("second.ppm", ppmBytes("P6\n20\n10\n255\n"));
    session.openImage(image);
    const Layer layer{3, "Layer 1", image, 20, 10, true, 1.0, 0, 0};
    EXPECT_EQ(*session.document(), (Document{image, {20, 10}, {}, {}, {}, {layer}, 3}));
    EXPECT_EQ(session.selectedToolId(), "hand");
}

// "1 3* 2 zoom 2 crop 3x3 on": layer ids in stack order with the active one
// starred, the zoom, and the crop size once one was set, "on" when active.
std::string describe(const Document& d) {
    std::ostringstream out;
    for (const Layer& layer : d.layers) {
        out << layer.id << (layer.id == d.active_layer_id ? "* " : " ");
    }
    out << "zoom " << d.viewport.zoom;
    if (d.crop != CropBounds{}) {
        out << " crop " << d.crop.width << 'x' << d.crop.height << (d.crop.active ? " on" : "");
    }
    return out.str();
}

using Edit = void (*)(DocumentSession&);

// Each edit runs first without a document, changing nothing, then on layers
// [1, 3, 2] at zoom 2 with `active` active; a failed open then changes nothing.
TEST(DocumentSession, EditsKeepIdsUniqueALayerActiveAndZoomInRange) {
    const std::tuple<const char*, std::uint64_t, Edit, const char*> cases[] = {
        {"follower_takes_over", 3, [](auto& s) { s.deleteLayer(3); }, "1 2* zoom 2"},
        {"new_last_takes_over", 2, [](auto& s) { s.deleteLayer(2); }, "1 3* zoom 2"},
        {"other_deletion_keeps_active", 1, [](auto& s) { s.deleteLayer(3); }, "1* 2 zoom 2"},
        {"unknown_id_not_activated", 3, [](auto& s) { s.setActiveLayer(9); }, "1 3* 2 zoom 2"},
        {"copy_after_source_new_id", 3, [](auto& s) { s.duplicateLayer(3); }, "1 3 4* 2 zoom 2"},
        {"move_swaps_not_rotates", 3, [](auto& s) { s.moveLayer(1, 2); }, "2 3* 1 zoom 2"},
        {"move_out_of_range_refused", 3, [](auto& s) { s.moveLayer(1, 3); }, "1 3* 2 zoom 2"},
        {"zoom_compounds", 3, [](auto& s) { s.zoomViewport(1.08); }, "1 3* 2 zoom 2.16"},
        {"zoom_clamped_above", 3, [](auto& s) { s.zoomViewport(1000); }, "1 3* 2 zoom 16"},
        {"zoom_clamped_below", 3, [](auto& s) { s.zoomViewport(0.001); }, "1 3* 2 zoom 0.05"},
        {"zoom_ignores_nan", 3, [](auto& s) { s.zoomViewport(NAN); }, "1 3* 2 zoom 2"},
        {"crop_2_off", 3, [](auto& s) { s.setCropBounds(0, 0, 2, 50); }, "1 3* 2 zoom 2 crop 2x50"},
        {"crop_on", 3, [](auto& s) { s.setCropBounds(0, 0, 3, 3); }, "1 3* 2 zoom 2 crop 3x3 on"},
    };
    TempDir dir;
    const auto image = dir.write("photo.png", pngBytes(640, 480));
    for (const auto& [fault, active, edit, state] : cases) {
        DocumentSession session;
        edit(session);
        session.openImage(image);
        session.duplicateLayer(1);
        session.duplicateLayer(1);
        session.zoomViewport(2);
        session.setActiveLayer(active);
        edit(session);
        EXPECT_THROW(session.openImage(image.parent_path() / "missing.png"), std::runtime_error);
        EXPECT_EQ(describe(*session.document()), state) << fault;
    }
}

// Every layer gets an id of its own, so only the moving one is skipped as itself.
Layer layer(std::size_t w, std::size_t h, double x, double y, bool visible = true) {
    static std::uint64_t nextId = 1;
    return {nextId++, "", "", w, h, visible, 1.0, x, y};
}

// "270,210 V320[0,480]center": where the moving layer ended, then each guide.
std::string snapResult(const Document& document) {
    std::ostringstream out;
    out << document.layers[0].x << ',' << document.layers[0].y;
    for (const auto& g : document.align_guides) {
        out << ' ' << (g.orientation == AlignGuideOrientation::Vertical ? 'V' : 'H') << g.position
            << '[' << g.start << ',' << g.end << ']' << g.label;
    }
    return out.str();
}

// Canvas 640 x 480; the first layer of each stack moves from (0, 0).
const Layer moving = layer(100, 60, 0, 0);
const std::vector<Layer> oddWidth{layer(101, 60, 0, 0)};
const std::vector<Layer> hiddenSquare{moving, layer(200, 200, 200, 100, false)};
const std::vector<Layer> sameSize{moving, layer(100, 60, 304, 0)};
const std::vector<Layer> twoInReach{moving, layer(40, 40, 100, 300), layer(40, 40, 108, 300)};
const std::vector<Layer> narrower{moving, layer(96, 40, 100, 300)};

const std::tuple<const char*, std::vector<Layer>, double, double, const char*> snaps[] = {
    {"grid_rounds_halves_away_from_zero", {moving}, 3, -4, "0,-8"},
    {"centre_on_half_pixel", oddWidth, 266, 208, "269.5,210 V320[0,480]center H240[0,640]center"},
    {"abut_after_a_hidden_layer", hiddenSquare, 400, 296, "400,300 V400[296,300] H300[400,400]"},
    {"abut_before", hiddenSquare, 104, 40, "100,40 V200[40,300] H100[104,400]"},
    {"exactly_8_from_an_edge_does_not_snap", {moving, layer(50, 50, 208, 100)}, 200, 0, "200,0"},
    {"same_size_layer_gives_every_guide_in_test_order", sameSize, 304, 0,
     "304,0 V304[0,60] V404[0,60] V354[0,60]center H0[304,404] H60[304,404] H30[304,404]center"},
    {"later_layer_wins", twoInReach, 104, 0, "108,0 V100[0,340] V108[0,340]"},
    {"centre_beats_edge_on_one_axis", narrower, 104, 0, "98,0 V100[0,340] V148[0,340]center"},
};

TEST(MoveLayerWithSnapping, PlacesLayerAndReplacesGuides) {
    for (const auto& [fault, layers, dx, dy, result] : snaps) {
        Document document{{}, {640, 480}, {}, {}, {AlignGuide{}}, layers, 0};
        moveLayerWithSnapping(document, document.layers[0], dx, dy);
        EXPECT_EQ(snapResult(document), result) << fault;
    }
}

} // namespace
} // namespace kanvo::ui
