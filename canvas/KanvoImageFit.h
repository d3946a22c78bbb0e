#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

// Where the image goes on the canvas, in the canvas's y-up view coordinates.
// Zoom 1 fits the image into the canvas rectangle; layer positions, guides and
// drags are scaled by the zoom alone, so a dragged layer follows the pointer.
class KanvoImageFit {
public:
    // The area kept free of the surround: the bounds inset by 80 points left and
    // right and 72 points top and bottom. Not clamped for tiny views.
    static QRectF canvasRect(const QRectF& bounds);

    // The image fitted into rect keeping its aspect ratio, scaled by zoom about
    // the rectangle's centre and moved by offset. Nothing is rounded.
    static QRectF rectFor(QSizeF imageSize, QRectF rect, double zoom, QPointF offset);

    // The image rectangle moved by the layer's position times the zoom.
    static QRectF layerRect(const QRectF& imageRect, double layerX, double layerY, double zoom);
};
