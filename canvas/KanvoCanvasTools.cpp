#include "canvas/KanvoCanvasTools.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace {

void moveLayer(kanvo::ui::DocumentSession& session, const KanvoDragStep& step) {
    // Layer positions are scaled by the zoom alone, so dividing by it keeps
    // the layer under the pointer.
    const double zoom = session.document()->viewport.zoom;
    session.moveActiveLayer(step.delta.x() / zoom, step.delta.y() / zoom);
}

void panByDrag(kanvo::ui::DocumentSession& session, const KanvoDragStep& step) {
    session.panViewport(step.delta.x(), step.delta.y());
}

void spanCrop(kanvo::ui::DocumentSession& session, const KanvoDragStep& step) {
    const QPointF s = step.dragStart;
    const QPointF p = step.point;
    session.setCropBounds(std::min(s.x(), p.x()), std::min(s.y(), p.y()), std::abs(p.x() - s.x()),
                          std::abs(p.y() - s.y()));
}

void panByScroll(kanvo::ui::DocumentSession& session, QPointF delta) {
    session.panViewport(delta.x(), -delta.y());
}

// One step per event, whatever the size of the delta.
void zoomByScroll(kanvo::ui::DocumentSession& session, QPointF delta) {
    session.zoomViewport(delta.y() > 0.0 ? 1.08 : 0.92);
}

struct ToolEntry {
    std::string_view id;
    KanvoCanvasTool tool;
};

constexpr std::array toolTable{
    ToolEntry{"move", {moveLayer, nullptr}},
    ToolEntry{"hand", {panByDrag, panByScroll}},
    ToolEntry{"crop", {spanCrop, nullptr}},
    ToolEntry{"zoom", {nullptr, zoomByScroll}},
};

constexpr KanvoCanvasTool noCanvasBehaviour{nullptr, nullptr};

} // namespace

const KanvoCanvasTool& KanvoCanvasTools::forId(const std::string& toolId) {
    const auto entry = std::ranges::find(toolTable, std::string_view(toolId), &ToolEntry::id);
    return entry == toolTable.end() ? noCanvasBehaviour : entry->tool;
}

const KanvoCanvasTool& KanvoCanvasTools::zoom() {
    return forId("zoom");
}
