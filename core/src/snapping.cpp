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

    const auto vertical = [&](double at, double from, double to, const char* label = "") {
        guides.push_back({AlignGuideOrientation::Vertical, at, from, to, label});
    };
    const auto horizontal = [&](double at, double from, double to, const char* label = "") {
        guides.push_back({AlignGuideOrientation::Horizontal, at, from, to, label});
    };

    if (near(gx + w / 2, canvasW / 2)) {
        vertical(canvasW / 2, 0, canvasH, centerLabel);
        newX = canvasW / 2 - w / 2;
    }
    if (near(gy + h / 2, canvasH / 2)) {
        horizontal(canvasH / 2, 0, canvasW, centerLabel);
        newY = canvasH / 2 - h / 2;
    }

    for (const Layer& other : document.layers) {
        if (other.id == layer.id) {
            continue;
        }
        const double ox = other.x;
        const double ox2 = other.x + static_cast<double>(other.width);
        const double ocx = other.x + static_cast<double>(other.width) / 2;
        const double oy = other.y;
        const double oy2 = other.y + static_cast<double>(other.height);
        const double ocy = other.y + static_cast<double>(other.height) / 2;
        const double vFrom = std::min(gy, oy2);
        const double vTo = std::max(gy, oy2);
        const double hFrom = std::min(gx, ox2);
        const double hTo = std::max(gx, ox2);

        if (near(gx, ox)) {
            vertical(ox, vFrom, vTo);
            newX = ox;
        }
        if (near(gx + w, ox2)) {
            vertical(ox2, vFrom, vTo);
            newX = ox2 - w;
        }
        if (near(gx, ox2)) {
            vertical(ox2, vFrom, vTo);
            newX = ox2;
        }
        if (near(gx + w, ox)) {
            vertical(ox, vFrom, vTo);
            newX = ox - w;
        }
        if (near(gx + w / 2, ocx)) {
            vertical(ocx, vFrom, vTo, centerLabel);
            newX = ocx - w / 2;
        }

        if (near(gy, oy)) {
            horizontal(oy, hFrom, hTo);
            newY = oy;
        }
        if (near(gy + h, oy2)) {
            horizontal(oy2, hFrom, hTo);
            newY = oy2 - h;
        }
        if (near(gy, oy2)) {
            horizontal(oy2, hFrom, hTo);
            newY = oy2;
        }
        if (near(gy + h, oy)) {
            horizontal(oy, hFrom, hTo);
            newY = oy - h;
        }
        if (near(gy + h / 2, ocy)) {
            horizontal(ocy, hFrom, hTo, centerLabel);
            newY = ocy - h / 2;
        }
    }

    layer.x = newX;
    layer.y = newY;
    document.align_guides = std::move(guides);
}

} // namespace kanvo::ui
