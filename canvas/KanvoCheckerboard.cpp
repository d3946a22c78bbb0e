#include "canvas/KanvoCheckerboard.h"

#include "kit/KanvoColors.h"

#include <QImage>
#include <QPainter>

namespace {

QImage makeTile() {
    QImage tile(20, 20, QImage::Format_RGB32);
    tile.fill(Qt::white);
    const QColor dark = KanvoColors::white(0.88);
    // The dark squares sit at the lower left and upper right of the y-up tile.
    QPainter painter(&tile);
    painter.fillRect(QRect(0, 10, 10, 10), dark);
    painter.fillRect(QRect(10, 0, 10, 10), dark);
    return tile;
}

} // namespace

const QBrush& KanvoCheckerboard::patternBrush() {
    static const QBrush brush(makeTile());
    return brush;
}

void KanvoCheckerboard::draw(QPainter& painter, const QRectF& rect) {
    painter.fillRect(rect, patternBrush());
}
