#include "image_bytes.h"
#include "kanvo/ui/document_session.h"
#include "temp_dir.h"

#include <climits>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;
using Ids = std::vector<std::uint64_t>;

// A session with a 640 x 480 PNG open.
class OpenSession : public testing::Test {
protected:
    void SetUp() override {
        image = dir.write("photo.png", pngBytes(640, 480));
        session.openImage(image);
    }

    // Starts over with a fresh session on the same image.
    void restart() {
        session = DocumentSession{};
        session.openImage(image);
    }

    const Document& doc() const { return *session.document(); }

    std::vector<std::uint64_t> layerIds() const {
        std::vector<std::uint64_t> ids;
        for (const auto& layer : doc().layers) {
            ids.push_back(layer.id);
        }
        return ids;
    }

    TempDir dir;
    std::filesystem::path image;
    DocumentSession session;
};

TEST(DocumentSession, StartsEmptyAndIgnoresEditsWithoutDocument) {
    DocumentSession session;
    const std::function<void()> edits[] = {
        [&] { session.setActiveLayer(1); },         [&] { session.renameLayer(1, "Sky"); },
        [&] { session.setLayerVisible(1, 0); },     [&] { session.setLayerOpacity(1, 0.5); },
        [&] { session.duplicateLayer(1); },         [&] { session.deleteLayer(1); },
        [&] { session.moveLayer(1, 1); },           [&] { session.panViewport(3, 4); },
        [&] { session.zoomViewport(2); },           [&] { session.fitViewport(); },
        [&] { session.setCropBounds(1, 1, 9, 9); }, [&] { session.clearCropBounds(); },
        [&] { session.moveActiveLayer(40, 40); },   [&] { session.clearAlignGuides(); },
    };
    for (const auto& edit : edits) {
        edit();
    }
    EXPECT_EQ(session.document(), nullptr);
    EXPECT_EQ(session.activeLayer(), nullptr);
    EXPECT_EQ(session.findLayer(1), nullptr);
    EXPECT_EQ(session.selectedToolId(), "move");
    EXPECT_EQ(session.nextLayerId(), 1u);
    EXPECT_EQ(session.nextLayerId(), 2u);

    session.selectTool("crop");
    session.selectTool("");
    EXPECT_EQ(session.selectedToolId(), "crop") << "an empty id keeps the selection";
}

TEST_F(OpenSession, OpenBuildsOneLayerDocumentWithDefaults) {
    Document expected;
    expected.path = image;
    expected.canvas = {640, 480};
    expected.layers = {{1, "Layer 1", image, 640, 480, true, 1.0, 0.0, 0.0}};
    expected.active_layer_id = 1;
    EXPECT_EQ(doc(), expected);
    EXPECT_EQ(session.activeLayer(), &doc().layers[0]);
}

TEST_F(OpenSession, SecondOpenResetsDocumentButNotToolOrCounter) {
    session.duplicateLayer(1);
    session.zoomViewport(2);
    session.panViewport(5, 5);
    session.setCropBounds(1, 1, 50, 50);
    session.moveActiveLayer(266, 0);
    session.selectTool("hand");

    const auto second = dir.write("second.ppm", ppmBytes("P6 20 10 255\n"));
    session.openImage(second);
    Document expected;
    expected.path = second;
    expected.canvas = {20, 10};
    expected.layers = {{3, "Layer 1", second, 20, 10, true, 1.0, 0.0, 0.0}};
    expected.active_layer_id = 3;
    EXPECT_EQ(doc(), expected);
    EXPECT_EQ(session.selectedToolId(), "hand");
}

TEST_F(OpenSession, FailedOpenLeavesSessionUntouched) {
    session.renameLayer(1, "Kept");
    const Document before = doc();
    EXPECT_THROW(session.openImage(dir.path() / "missing.png"), std::runtime_error);
    EXPECT_THROW(session.openImage(dir.write("bad.jpg", "not a jpeg")), std::runtime_error);
    EXPECT_EQ(doc(), before);
    EXPECT_EQ(session.nextLayerId(), 2u);
}

TEST_F(OpenSession, ZoomIgnoresNonPositiveFactorsAndClampsEachStep) {
    const struct {
        double factor;
        double zoom;
    } steps[] = {{0.0, 1.0},   {-2.0, 1.0},         {NAN, 1.0},   {1000.0, 16.0},
                 {1.08, 16.0}, {0.92, 16.0 * 0.92}, {0.001, 0.05}};
    for (const auto& step : steps) {
        session.zoomViewport(step.factor);
        EXPECT_DOUBLE_EQ(doc().viewport.zoom, step.zoom) << "factor " << step.factor;
    }
    session.fitViewport();
    for (int i = 0; i < 10; ++i) {
        session.zoomViewport(1.08);
    }
    EXPECT_NEAR(doc().viewport.zoom, std::pow(1.08, 10), 1e-12) << "steps compound";
}

TEST_F(OpenSession, PanAccumulatesAndFitResets) {
    session.zoomViewport(3);
    session.panViewport(10, -5);
    session.panViewport(10, -5);
    EXPECT_EQ(doc().viewport, (Viewport{3.0, 20.0, -10.0}));
    session.fitViewport();
    EXPECT_EQ(doc().viewport, Viewport{});
}

TEST_F(OpenSession, CropIsStoredAsGivenAndActiveOnlyWhenBothSidesExceedTwo) {
    const CropBounds crops[] = {{10, 10, 2, 50, false},
                                {10, 10, 50, 2, false},
                                {10, 10, 2.5, 2.5, true},
                                {5, 5, -10, 20, false}};
    for (const auto& crop : crops) {
        session.setCropBounds(crop.x, crop.y, crop.width, crop.height);
        EXPECT_EQ(doc().crop, crop) << crop.width << " x " << crop.height;
    }
    session.clearCropBounds();
    EXPECT_EQ(doc().crop, CropBounds{});
}

TEST_F(OpenSession, ActiveLayerMovesWithSnappingUntilGuidesAreCleared) {
    session.moveActiveLayer(4, 0);
    EXPECT_EQ(doc().layers[0].x, 8.0);
    const std::vector<AlignGuide> centre{
        {AlignGuideOrientation::Horizontal, 240, 0, 640, "center"}};
    EXPECT_EQ(doc().align_guides, centre);
    session.clearAlignGuides();
    EXPECT_TRUE(doc().align_guides.empty());
}

TEST_F(OpenSession, DuplicateInsertsActiveCopyAfterSource) {
    session.setLayerOpacity(1, 0.4);
    session.moveActiveLayer(96, 96);
    Layer copy = doc().layers[0];
    session.duplicateLayer(1);
    copy.id = 2;
    copy.name = "Layer 1 copy";
    EXPECT_EQ(doc().layers[1], copy);
    EXPECT_EQ(doc().active_layer_id, 2u);

    session.duplicateLayer(1);
    EXPECT_EQ(layerIds(), (Ids{1, 3, 2}));
    session.duplicateLayer(2);
    EXPECT_EQ(session.activeLayer()->name, "Layer 1 copy copy");
    session.duplicateLayer(99);
    EXPECT_EQ(layerIds(), (Ids{1, 3, 2, 4}));
    EXPECT_EQ(session.nextLayerId(), 5u);
}

TEST_F(OpenSession, DeleteRepairsActiveLayer) {
    const struct {
        const char* fault;
        std::uint64_t active;
        std::uint64_t deleted;
        Ids layers;
        std::uint64_t activeAfter;
    } cases[] = {
        {"active layer's follower takes over", 3, 3, {1, 2}, 2},
        {"deleting the active last layer picks the new last", 2, 2, {1, 3}, 3},
        {"deleting another layer keeps the active one", 3, 1, {3, 2}, 3},
        {"unknown id deletes nothing", 3, 9, {1, 3, 2}, 3},
    };
    for (const auto& c : cases) {
        restart();
        session.duplicateLayer(1);
        session.duplicateLayer(1); // [1, 3, 2]
        session.setActiveLayer(c.active);
        session.deleteLayer(c.deleted);
        EXPECT_EQ(layerIds(), c.layers) << c.fault;
        EXPECT_EQ(doc().active_layer_id, c.activeAfter) << c.fault;
    }
}

TEST_F(OpenSession, LastLayerCannotBeDeleted) {
    session.deleteLayer(1);
    EXPECT_EQ(layerIds(), Ids{1});
}

TEST_F(OpenSession, MoveSwapsWithinRangeAndRefusesOutside) {
    const struct {
        std::uint64_t id;
        int delta;
        Ids layers;
    } cases[] = {
        {1, 2, {3, 2, 1}},  {1, 3, {1, 2, 3}},       {1, -1, {1, 2, 3}},
        {2, -1, {2, 1, 3}}, {2, 0, {1, 2, 3}},       {7, 1, {1, 2, 3}},
        {3, -2, {3, 2, 1}}, {1, INT_MIN, {1, 2, 3}}, {3, INT_MAX, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        restart();
        session.duplicateLayer(1);
        session.duplicateLayer(2); // [1, 2, 3]
        session.moveLayer(c.id, c.delta);
        EXPECT_EQ(layerIds(), c.layers) << "moveLayer(" << c.id << ", " << c.delta << ")";
        EXPECT_EQ(doc().active_layer_id, 3u) << "the active layer travels with its id";
    }
}

TEST_F(OpenSession, PropertyEditsValidateTheirArguments) {
    session.renameLayer(1, "");
    EXPECT_EQ(doc().layers[0].name, "Layer 1");
    session.renameLayer(1, "Sky");
    EXPECT_EQ(doc().layers[0].name, "Sky");

    const struct {
        double requested;
        double stored;
    } opacities[] = {{1.5, 1.0}, {-0.2, 0.0}, {0.35, 0.35}};
    for (const auto& o : opacities) {
        session.setLayerOpacity(1, o.requested);
        EXPECT_EQ(doc().layers[0].opacity, o.stored) << o.requested;
    }

    session.setLayerVisible(1, false);
    EXPECT_FALSE(doc().layers[0].visible);
    session.setActiveLayer(42);
    EXPECT_EQ(doc().active_layer_id, 1u);
}

} // namespace
} // namespace kanvo::ui
