#include "kit/KanvoFrame.h"

#include <QWidget>

QRectF KanvoFrame::toQt(const QRectF& frame, double parentHeight) {
    return {frame.x(), parentHeight - frame.y() - frame.height(), frame.width(), frame.height()};
}

QPointF KanvoFrame::toQt(const QPointF& point, double parentHeight) {
    return {point.x(), parentHeight - point.y()};
}

QPointF KanvoFrame::fromQt(const QPointF& point, double parentHeight) {
    return toQt(point, parentHeight);
}

void KanvoFrame::place(QWidget* widget, const QRectF& frame) {
    if (QWidget* parent = widget->parentWidget()) {
        widget->setGeometry(toQt(frame, parent->height()).toRect());
    } else {
        widget->resize(frame.size().toSize());
    }
}
