#include "kanvo/ui/document_session.h"
#include "kanvo/ui/snapping.h"

#include <algorithm>

namespace kanvo::ui {

namespace {
constexpr double minimumZoom = 0.05;
constexpr double maximumZoom = 16.0;
// A crop narrower than this in either direction is a click, not a rectangle.
constexpr double minimumCropExtent = 2.0;
} // namespace

void DocumentSession::panViewport(double dx, double dy) {
    if (!document_) {
        return;
    }
    document_->viewport.offset_x += dx;
    document_->viewport.offset_y += dy;
}

void DocumentSession::zoomViewport(double factor) {
    if (!(factor > 0.0) || !document_) {
        return;
    }
    // Clamping after every step keeps a zoom held at a limit from drifting:
    // the next step the other way starts from the limit itself.
    double& zoom = document_->viewport.zoom;
    zoom = std::clamp(zoom * factor, minimumZoom, maximumZoom);
}

void DocumentSession::fitViewport() {
    if (document_) {
        document_->viewport = Viewport{};
    }
}

void DocumentSession::setCropBounds(double x, double y, double width, double height) {
    if (!document_) {
        return;
    }
    const bool active = width > minimumCropExtent && height > minimumCropExtent;
    document_->crop = CropBounds{x, y, width, height, active};
}

void DocumentSession::clearCropBounds() {
    if (document_) {
        document_->crop = CropBounds{};
    }
}

void DocumentSession::moveActiveLayer(double dx, double dy) {
    if (!document_) {
        return;
    }
    if (Layer* layer = findLayer(document_->active_layer_id)) {
        moveLayerWithSnapping(*document_, *layer, dx, dy);
    }
}

void DocumentSession::clearAlignGuides() {
    if (document_) {
        document_->align_guides.clear();
    }
}

} // namespace kanvo::ui
