#include "session_fixture.h"

#include <cmath>
#include <functional>
#include <stdexcept>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;
using Ids = std::vector<std::uint64_t>;

// Every operation that edits a document, applied to a session.
const std::vector<std::function<void(DocumentSession&)>> documentEdits = {
    [](auto& s) { s.setActiveLayer(1); },         [](auto& s) { s.renameLayer(1, "Sky"); },
    [](auto& s) { s.setLayerVisible(1, false); }, [](auto& s) { s.setLayerOpacity(1, 0.5); },
    [](auto& s) { s.duplicateLayer(1); },         [](auto& s) { s.deleteLayer(1); },
    [](auto& s) { s.moveLayer(1, 1); },           [](auto& s) { s.panViewport(3, 4); },
    [](auto& s) { s.zoomViewport(2); },           [](auto& s) { s.fitViewport(); },
    [](auto& s) { s.setCropBounds(1, 1, 9, 9); }, [](auto& s) { s.clearCropBounds(); },
    [](auto& s) { s.moveActiveLayer(40, 40); },   [](auto& s) { s.clearAlignGuides(); },
};

TEST(DocumentSession, StartsEmptyAndIgnoresEditsWithoutDocument) {
    DocumentSession session;
    for (const auto& edit : documentEdits) {
        edit(session);
    }
    EXPECT_EQ(session.document(), nullptr);
    EXPECT_EQ(session.activeLayer(), nullptr);
    EXPECT_EQ(session.findLayer(1), nullptr);
    EXPECT_EQ(session.selectedToolId(), "move");
    EXPECT_EQ(session.nextLayerId(), 1u);
    EXPECT_EQ(session.nextLayerId(), 2u);
}

TEST(DocumentSession, EmptyToolIdKeepsSelectionAndUnknownIdsAreTaken) {
    DocumentSession session;
    session.selectTool("crop");
    session.selectTool("");
    EXPECT_EQ(session.selectedToolId(), "crop");
    session.selectTool("no-such-tool");
    EXPECT_EQ(session.selectedToolId(), "no-such-tool");
}

TEST_F(OpenSession, OpenBuildsOneLayerDocumentWithDefaults) {
    ASSERT_EQ(doc().layers.size(), 1u);
    const Layer& layer = doc().layers[0];
    EXPECT_EQ(layer.id, 1u);
    EXPECT_EQ(layer.name, "Layer 1");
    EXPECT_EQ(layer.source_path, image);
    EXPECT_EQ(layer.width, 640u);
    EXPECT_EQ(layer.height, 480u);
    EXPECT_TRUE(layer.visible);
    EXPECT_EQ(layer.opacity, 1.0);
    EXPECT_EQ(layer.x, 0.0);
    EXPECT_EQ(layer.y, 0.0);

    EXPECT_EQ(doc().path, image);
    EXPECT_EQ(doc().canvas.width, 640u);
    EXPECT_EQ(doc().canvas.height, 480u);
    EXPECT_EQ(doc().viewport.zoom, 1.0);
    EXPECT_EQ(doc().viewport.offset_x, 0.0);
    EXPECT_EQ(doc().viewport.offset_y, 0.0);
    EXPECT_FALSE(doc().crop.active);
    EXPECT_TRUE(doc().align_guides.empty());
    EXPECT_EQ(doc().active_layer_id, 1u);
    EXPECT_EQ(session.activeLayer(), &doc().layers[0]);
}

TEST_F(OpenSession, SecondOpenResetsDocumentButNotToolOrCounter) {
    session.duplicateLayer(1);
    session.zoomViewport(2);
    session.panViewport(5, 5);
    session.setCropBounds(1, 1, 50, 50);
    session.moveActiveLayer(266, 0);
    session.selectTool("hand");
    ASSERT_FALSE(doc().align_guides.empty());

    session.openImage(dir.write("second.ppm", ppmBytes("P6 20 10 255\n")));
    EXPECT_EQ(layerIds(), Ids{3});
    EXPECT_EQ(doc().canvas.width, 20u);
    EXPECT_EQ(doc().viewport.zoom, 1.0);
    EXPECT_EQ(doc().viewport.offset_x, 0.0);
    EXPECT_EQ(doc().crop.width, 0.0);
    EXPECT_FALSE(doc().crop.active);
    EXPECT_TRUE(doc().align_guides.empty());
    EXPECT_EQ(doc().active_layer_id, 3u);
    EXPECT_EQ(session.selectedToolId(), "hand");
}

TEST_F(OpenSession, FailedOpenLeavesSessionUntouched) {
    session.renameLayer(1, "Kept");
    EXPECT_THROW(session.openImage(dir.path() / "missing.png"), std::runtime_error);
    EXPECT_THROW(session.openImage(dir.write("bad.jpg", "not a jpeg")), std::runtime_error);
    EXPECT_EQ(doc().path, image);
    EXPECT_EQ(doc().layers[0].name, "Kept");
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
}

TEST_F(OpenSession, ZoomStepsCompound) {
    for (int i = 0; i < 10; ++i) {
        session.zoomViewport(1.08);
    }
    EXPECT_NEAR(doc().viewport.zoom, std::pow(1.08, 10), 1e-12);
}

TEST_F(OpenSession, PanAccumulatesAndFitResets) {
    session.zoomViewport(3);
    session.panViewport(10, -5);
    session.panViewport(10, -5);
    EXPECT_EQ(doc().viewport.offset_x, 20.0);
    EXPECT_EQ(doc().viewport.offset_y, -10.0);
    session.fitViewport();
    EXPECT_EQ(doc().viewport.zoom, 1.0);
    EXPECT_EQ(doc().viewport.offset_x, 0.0);
    EXPECT_EQ(doc().viewport.offset_y, 0.0);
}

TEST_F(OpenSession, CropIsActiveOnlyWhenBothSidesExceedTwo) {
    const struct {
        double x, y, width, height;
        bool active;
    } crops[] = {{10, 10, 2, 50, false},
                 {10, 10, 50, 2, false},
                 {10, 10, 2.5, 2.5, true},
                 {5, 5, -10, 20, false}};
    for (const auto& c : crops) {
        session.setCropBounds(c.x, c.y, c.width, c.height);
        const CropBounds& crop = doc().crop;
        EXPECT_EQ(crop.active, c.active) << c.width << " x " << c.height;
        EXPECT_EQ(crop.width, c.width) << "stored unnormalised";
        EXPECT_EQ(crop.height, c.height);
        EXPECT_EQ(crop.x, c.x);
    }
    session.clearCropBounds();
    EXPECT_EQ(doc().crop.x, 0.0);
    EXPECT_EQ(doc().crop.height, 0.0);
    EXPECT_FALSE(doc().crop.active);
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

} // namespace
} // namespace kanvo::ui
