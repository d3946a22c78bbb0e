#include "canvas/KanvoCanvasLayout.h"

QRectF KanvoCanvasLayout::layerFrameRect(const QRectF& layerRect) {
    return layerRect.adjusted(-1.0, -1.0, 1.0, 1.0);
}

KanvoGuideLine KanvoCanvasLayout::guideLine(const kanvo::ui::AlignGuide& guide, QPointF origin,
                                            double zoom) {
    const double position = guide.position * zoom;
    const double start = guide.start * zoom;
    const double end = guide.end * zoom;
    if (guide.orientation == kanvo::ui::AlignGuideOrientation::Vertical) {
        const double x = origin.x() + position;
        return {{x, origin.y() + start}, {x, origin.y() + end}, {x + 6.0, origin.y() + end - 16.0}};
    }
    const double y = origin.y() + position;
    return {{origin.x() + start, y}, {origin.x() + end, y}, {origin.x() + end + 6.0, y + 4.0}};
}

QRectF KanvoCanvasLayout::cropFillRect(const kanvo::ui::CropBounds& crop) {
    return cropOutlineRect(crop).adjusted(-2.0, -2.0, 2.0, 2.0);
}

QRectF KanvoCanvasLayout::cropOutlineRect(const kanvo::ui::CropBounds& crop) {
    return {crop.x, crop.y, crop.width, crop.height};
}

QRectF KanvoCanvasLayout::nameTagRect(const QRectF& layerRect, double textWidth) {
    return {layerRect.x(), layerRect.y() + layerRect.height() + 8.0, textWidth + 18.0, 24.0};
}

QPointF KanvoCanvasLayout::nameTagTextAnchor(const QRectF& layerRect) {
    return {layerRect.x() + 9.0, layerRect.y() + layerRect.height() + 13.0};
}

QPointF KanvoCanvasLayout::emptyStateAnchor(const QRectF& bounds, double textWidth) {
    return {bounds.x() + bounds.width() * 0.5 - textWidth * 0.5,
            bounds.y() + bounds.height() * 0.5};
}
