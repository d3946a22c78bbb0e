#pragma once

#include "imaging/KanvoImage.h"
#include "kanvo/ui/align_guide.h"
#include "kanvo/ui/document.h"

#include <QRectF>
#include <QString>
#include <vector>

class QPainter;

// Paints the whole canvas from its inputs; keeps no state between repaints.
// Geometry arrives in y-up view coordinates and is turned into the painter's
// y-down coordinates only at each paint call.
class KanvoCanvasDrawing {
public:
    // bounds are the view's own bounds; layer and document may be null, image
    // and status may be null/empty.
    static void drawIn(QPainter& painter, const QRectF& bounds, const KanvoImage& image,
                       const kanvo::ui::Layer* layer, const kanvo::ui::Document* document,
                       const QString& status);

    // canvasRect is the image rectangle: only its origin is used.
    static void drawGuides(QPainter& painter, double viewHeight,
                           const std::vector<kanvo::ui::AlignGuide>& guides,
                           const QRectF& canvasRect, double zoom);
};
