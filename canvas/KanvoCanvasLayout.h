#pragma once

#include "kanvo/ui/align_guide.h"
#include "kanvo/ui/document.h"

#include <QPointF>
#include <QRectF>

// A guide line in view coordinates, with the anchor of its label.
struct KanvoGuideLine {
    QPointF from;
    QPointF to;
    QPointF labelAnchor;
};

// The rectangles and text anchors of one repaint, in y-up view coordinates.
// A text anchor is the lower-left corner of the text's line box.
class KanvoCanvasLayout {
public:
    // The path whose 2-point stroke covers the band just outside the layer.
    static QRectF layerFrameRect(const QRectF& layerRect);

    // origin is the image rectangle's origin: guides are measured from the
    // image, not from the moved layer.
    static KanvoGuideLine guideLine(const kanvo::ui::AlignGuide& guide, QPointF origin,
                                    double zoom);

    static QRectF cropFillRect(const kanvo::ui::CropBounds& crop);
    static QRectF cropOutlineRect(const kanvo::ui::CropBounds& crop);

    static QRectF nameTagRect(const QRectF& layerRect, double textWidth);
    static QPointF nameTagTextAnchor(const QRectF& layerRect);

    static QPointF emptyStateAnchor(const QRectF& bounds, double textWidth);
};
