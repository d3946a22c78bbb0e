#include "session_fixture.h"

#include <climits>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;
using Ids = std::vector<std::uint64_t>;

class LayerStack : public OpenSession {
protected:
    // Layers [1, 2, 3], layer 3 active.
    void makeThreeLayers() {
        session.duplicateLayer(1);
        session.duplicateLayer(2);
    }
};

TEST_F(LayerStack, DuplicateInsertsActiveCopyAfterSource) {
    session.setLayerOpacity(1, 0.4);
    session.moveActiveLayer(96, 96);
    session.duplicateLayer(1);
    EXPECT_EQ(layerIds(), (Ids{1, 2}));
    const Layer& copy = *session.activeLayer();
    EXPECT_EQ(copy.id, 2u);
    EXPECT_EQ(copy.name, "Layer 1 copy");
    EXPECT_EQ(copy.opacity, 0.4);
    EXPECT_EQ(copy.x, 96.0);
    EXPECT_EQ(copy.y, 96.0);
    EXPECT_EQ(copy.source_path, image);

    session.duplicateLayer(1);
    EXPECT_EQ(layerIds(), (Ids{1, 3, 2}));
    session.duplicateLayer(2);
    EXPECT_EQ(session.activeLayer()->name, "Layer 1 copy copy");
    session.duplicateLayer(99);
    EXPECT_EQ(layerIds(), (Ids{1, 3, 2, 4}));
    EXPECT_EQ(session.nextLayerId(), 5u);
}

TEST_F(LayerStack, DeleteRepairsActiveLayer) {
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

TEST_F(LayerStack, LastLayerCannotBeDeleted) {
    session.deleteLayer(1);
    EXPECT_EQ(layerIds(), Ids{1});
}

TEST_F(LayerStack, MoveSwapsWithinRangeAndRefusesOutside) {
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
        makeThreeLayers();
        session.moveLayer(c.id, c.delta);
        EXPECT_EQ(layerIds(), c.layers) << "moveLayer(" << c.id << ", " << c.delta << ")";
        EXPECT_EQ(doc().active_layer_id, 3u) << "the active layer travels with its id";
    }
}

TEST_F(LayerStack, PropertyEditsValidateTheirArguments) {
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
