#include "kanvo/ui/snapping.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace kanvo::ui {

namespace {

constexpr double gridSpacing = 8.0;
constexpr double snapDistance = 8.0;
constexpr const char* centerLabel = "center";

bool near(double a, double b) {
    return std::abs(a - b) < snapDistance;
}

// std::round takes halves away from zero, so -4 from a grid line goes to -8.
double toGrid(double v) {
    return gridSpacing * std::round(v / gridSpacing);
}

// One axis of a move against one other layer: the grid position g of the
// moving layer's origin edge and its extent, against the other layer's origin
// edge and extent. Makes the five tests of that axis in order (origin edges,
// far edges, abutting twice, centres), appending a guide for each that holds
// and moving `snapped` to it. The same code serves x and y.
void snapAxisToLayer(std::vector<AlignGuide>& guides, AlignGuideOrientation orientation, double g,
                     double extent, double origin, double otherExtent, double from, double to,
                     double& snapped) {
    const double far = origin + otherExtent;
    const double centre = origin + otherExtent / 2;
    const auto snap = [&](double moving, double target, double result, const char* label) {
        if (near(moving, target)) {
            guides.push_back({orientation, target, from, to, label});
            snapped = result;
        }
    };
    snap(g, origin, origin, "");
    snap(g + extent, far, far - extent, "");
    snap(g, far, far, "");
    snap(g + extent, origin, origin - extent, "");
    snap(g + extent / 2, centre, centre - extent / 2, centerLabel);
}

} // namespace

void moveLayerWithSnapping(Document& document, Layer& layer, double dx, double dy) {
    const double canvasW = static_cast<double>(document.canvas.width);
    const double canvasH = static_cast<double>(document.canvas.height);
    const double w = static_cast<double>(layer.width);
    const double h = static_cast<double>(layer.height);

    // Every test compares the grid position, never a position an earlier
    // snap produced, so the last test that holds decides each axis.
    const double gx = toGrid(layer.x + dx);
    const double gy = toGrid(layer.y + dy);
    double newX = gx;
    double newY = gy;
    std::vector<AlignGuide> guides;

    // The canvas centre is the only canvas snap target; its edges are
    // reached through the grid.
    if (near(gx + w / 2, canvasW / 2)) {
        guides.push_back({AlignGuideOrientation::Vertical, canvasW / 2, 0, canvasH, centerLabel});
        newX = canvasW / 2 - w / 2;
    }
    if (near(gy + h / 2, canvasH / 2)) {
        guides.push_back({AlignGuideOrientation::Horizontal, canvasH / 2, 0, canvasW, centerLabel});
        newY = canvasH / 2 - h / 2;
    }

    for (const Layer& other : document.layers) {
        if (other.id == layer.id) {
            continue;
        }
        const double otherW = static_cast<double>(other.width);
        const double otherH = static_cast<double>(other.height);
        // Vertical guides span from the moving layer's grid y to the other
        // layer's far y edge; horizontal ones likewise along x.
        const double otherY2 = other.y + otherH;
        const double otherX2 = other.x + otherW;
        snapAxisToLayer(guides, AlignGuideOrientation::Vertical, gx, w, other.x, otherW,
                        std::min(gy, otherY2), std::max(gy, otherY2), newX);
        snapAxisToLayer(guides, AlignGuideOrientation::Horizontal, gy, h, other.y, otherH,
                        std::min(gx, otherX2), std::max(gx, otherX2), newY);
    }

    layer.x = newX;
    layer.y = newY;
    document.align_guides = std::move(guides);
}

} // namespace kanvo::ui
