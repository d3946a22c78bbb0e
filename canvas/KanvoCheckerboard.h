#pragma once

#include <QBrush>
#include <QRectF>

class QPainter;

// The transparency checkerboard: one 20 x 20 tile, built once per process and
// repeated from the painter's origin.
class KanvoCheckerboard {
public:
    // rect is in the painter's own coordinates.
    static void draw(QPainter& painter, const QRectF& rect);
    static const QBrush& patternBrush();
};
