#include "canvas/KanvoImageFit.h"

QRectF KanvoImageFit::canvasRect(const QRectF& bounds) {
    return {bounds.x() + 80.0, bounds.y() + 72.0, bounds.width() - 160.0, bounds.height() - 144.0};
}

QRectF KanvoImageFit::rectFor(QSizeF imageSize, QRectF rect, double zoom, QPointF offset) {
    const double a = rect.width() / imageSize.width();
    const double b = rect.height() / imageSize.height();
    const double scale = a < b ? a : b;
    const double width = zoom * (imageSize.width() * scale);
    const double height = zoom * (imageSize.height() * scale);
    const double x = offset.x() + ((rect.x() + rect.width() * 0.5) - width * 0.5);
    const double y = offset.y() + ((rect.y() + rect.height() * 0.5) - height * 0.5);
    return {x, y, width, height};
}

QRectF KanvoImageFit::layerRect(const QRectF& imageRect, double layerX, double layerY,
                                double zoom) {
    return imageRect.translated(layerX * zoom, layerY * zoom);
}
