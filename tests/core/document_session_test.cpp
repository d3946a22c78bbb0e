#include "image_bytes.h"
#include "kanvo/ui/document_session.h"
#include "temp_dir.h"

#include <climits>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;
using Ids = std::vector<std::uint64_t>;

// The document a successful open builds: one layer of the image's size, all defaults.
Document fresh(const std::filesystem::path& image, std::size_t w, std::size_t h, std::uint64_t id) {
    return {image, {w, h}, {}, {}, {}, {{id, "Layer 1", image, w, h, true, 1.0, 0, 0}}, id};
}

TEST(DocumentSession, EditsNeedADocumentAndOpeningReplacesItButNotToolOrCounter) {
    TempDir dir;
    DocumentSession session;
    // Ordered so that, with a document, every part of it ends up changed.
    const std::function<void()> edits[] = {
        [&] { session.fitViewport(); },         [&] { session.clearCropBounds(); },
        [&] { session.clearAlignGuides(); },    [&] { session.deleteLayer(1); },
        [&] { session.duplicateLayer(1); },     [&] { session.moveLayer(1, 1); },
        [&] { session.setActiveLayer(1); },     [&] { session.renameLayer(1, "Sky"); },
        [&] { session.setLayerVisible(1, 0); }, [&] { session.setLayerOpacity(1, 0.5); },
        [&] { session.panViewport(3, 4); },     [&] { session.zoomViewport(2); },
        [&] { session.moveActiveLayer(3, 3); }, [&] { session.setCropBounds(1, 1, 9, 9); },
    };
    const auto editEverything = [&] {
        for (const auto& edit : edits) {
            edit();
        }
    };
    editEverything();
    EXPECT_EQ(session.document(), nullptr);
    EXPECT_EQ(session.activeLayer(), nullptr);
    session.selectTool("hand");
    session.selectTool("");

    const auto first = dir.write("first.png", pngBytes(640, 480));
    session.openImage(first);
    EXPECT_EQ(*session.document(), fresh(first, 640, 480, 1)) << "the edits drew no layer id";

    editEverything();
    const Document edited = *session.document();
    EXPECT_THROW(session.openImage(dir.path() / "missing.png"), std::runtime_error);
    EXPECT_THROW(session.openImage(dir.write("bad.jpg", "not a jpeg")), std::runtime_error);
    EXPECT_EQ(*session.document(), edited) << "a failed open changes nothing";

    const auto second = dir.write("second.ppm", ppmBytes("P6 20 10 255\n"));
    session.openImage(second);
    EXPECT_EQ(*session.document(), fresh(second, 20, 10, 3)) << "failed opens drew no layer id";
    EXPECT_EQ(session.selectedToolId(), "hand") << "an empty id keeps the selection";
}

// A session with a 640 x 480 PNG open.
class OpenSession : public testing::Test {
protected:
    void SetUp() override { restart(); }

    void restart() {
        session = DocumentSession{};
        session.openImage(image);
    }

    const Document& doc() const { return *session.document(); }

    Ids layerIds() const {
        Ids ids;
        for (const auto& layer : doc().layers) {
            ids.push_back(layer.id);
        }
        return ids;
    }

    TempDir dir;
    const std::filesystem::path image = dir.write("photo.png", pngBytes(640, 480));
    DocumentSession session;
};

TEST_F(OpenSession, ZoomIgnoresNonPositiveFactorsAndClampsEachStep) {
    const std::pair<double, double> steps[] = {{0.0, 1.0},   {-2.0, 1.0},         {NAN, 1.0},
                                               {1.08, 1.08}, {1.08, 1.08 * 1.08}, {1000.0, 16.0},
                                               {1.08, 16.0}, {0.92, 14.72},       {0.001, 0.05}};
    for (const auto& [factor, zoom] : steps) {
        session.zoomViewport(factor);
        EXPECT_DOUBLE_EQ(doc().viewport.zoom, zoom) << "factor " << factor;
    }
}

TEST_F(OpenSession, CropIsStoredAsGivenAndActiveOnlyWhenBothSidesExceedTwo) {
    const std::tuple<double, double, bool> crops[] = {
        {2, 50, false}, {50, 2, false}, {2.5, 2.5, true}, {-10, 20, false}};
    for (const auto& [width, height, active] : crops) {
        session.setCropBounds(5, 6, width, height);
        EXPECT_EQ(doc().crop, (CropBounds{5, 6, width, height, active}))
            << width << " x " << height;
    }
}

TEST_F(OpenSession, DuplicateCopiesTheClampedLayerAfterItAndMakesItActive) {
    const std::pair<double, double> opacities[] = {{1.5, 1.0}, {-0.2, 0.0}, {0.35, 0.35}};
    for (const auto& [requested, stored] : opacities) {
        session.setLayerOpacity(1, requested);
        EXPECT_EQ(doc().layers[0].opacity, stored) << requested;
    }
    session.moveActiveLayer(96, 96);
    session.duplicateLayer(1);
    EXPECT_EQ(doc().layers[1], (Layer{2, "Layer 1 copy", image, 640, 480, true, 0.35, 96, 96}));
    session.moveActiveLayer(-96, 0);
    EXPECT_EQ(doc().layers[1].x, 0.0) << "the copy is active and moves, wherever it stands";
    EXPECT_EQ(doc().layers[0].x, 96.0);
    session.duplicateLayer(99);
    EXPECT_EQ(session.nextLayerId(), 3u) << "an unknown id copies nothing";
}

TEST_F(OpenSession, DeleteRepairsActiveLayer) {
    session.deleteLayer(1);
    EXPECT_EQ(layerIds(), Ids{1}) << "the last layer stays";

    const std::tuple<const char*, std::uint64_t, std::uint64_t, Ids, std::uint64_t> cases[] = {
        {"active layer's follower takes over", 3, 3, {1, 2}, 2},
        {"deleting the active last layer picks the new last", 2, 2, {1, 3}, 3},
        {"deleting another layer keeps the active one", 3, 1, {3, 2}, 3},
        {"unknown ids neither activate nor delete", 9, 9, {1, 3, 2}, 3},
    };
    for (const auto& [fault, active, deleted, layers, activeAfter] : cases) {
        restart();
        session.duplicateLayer(1);
        session.duplicateLayer(1); // [1, 3, 2], 3 active
        session.setActiveLayer(active);
        session.deleteLayer(deleted);
        EXPECT_EQ(layerIds(), layers) << fault;
        EXPECT_EQ(doc().active_layer_id, activeAfter) << fault;
    }
}

TEST_F(OpenSession, MoveSwapsWithinRangeAndRefusesOutside) {
    const std::tuple<std::uint64_t, int, Ids> cases[] = {
        {1, 2, {3, 2, 1}}, {1, 3, {1, 2, 3}},  {1, -1, {1, 2, 3}},      {2, -1, {2, 1, 3}},
        {7, 1, {1, 2, 3}}, {3, -2, {3, 2, 1}}, {1, INT_MIN, {1, 2, 3}}, {3, INT_MAX, {1, 2, 3}},
    };
    for (const auto& [id, delta, layers] : cases) {
        restart();
        session.duplicateLayer(1);
        session.duplicateLayer(2); // [1, 2, 3]
        session.moveLayer(id, delta);
        EXPECT_EQ(layerIds(), layers) << "moveLayer(" << id << ", " << delta << ")";
        EXPECT_EQ(doc().active_layer_id, 3u) << "the active layer travels with its id";
    }
}

} // namespace
} // namespace kanvo::ui
