#pragma once

#include <QPointF>
#include <QRectF>

class QWidget;

// Frames and points are laid out with the origin at the lower left and y
// growing upwards; Qt puts the origin at the upper left. This is the one place
// that converts between the two.
class KanvoFrame {
public:
    // A y-up rectangle inside a parent of the given height, as a y-down rectangle.
    // The conversion is its own inverse.
    static QRectF toQt(const QRectF& frame, double parentHeight);
    static QPointF toQt(const QPointF& point, double parentHeight);
    static QPointF fromQt(const QPointF& point, double parentHeight);

    // Gives the widget the y-up frame inside its parent. A widget without a
    // parent is a window: it only takes the size, the window system places it.
    static void place(QWidget* widget, const QRectF& frame);
};
