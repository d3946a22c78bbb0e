#include "kit/KanvoBoxView.h"

#include "kit/KanvoFrame.h"

#include <QPainter>

KanvoBoxView::KanvoBoxView(const QRectF& frame, const Look& look, QWidget* parent)
    : QWidget(parent), look_(look) {
    KanvoFrame::place(this, frame);
}

void KanvoBoxView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (look_.cornerRadius <= 0.0) {
        // Square boxes are filled twice so their border stays exactly on whole pixels.
        const int border = qRound(look_.borderWidth);
        if (border > 0) {
            painter.fillRect(rect(), look_.border);
        }
        painter.fillRect(rect().adjusted(border, border, -border, -border), look_.fill);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const double inset = look_.borderWidth / 2.0;
    painter.setBrush(look_.fill);
    painter.setPen(look_.borderWidth > 0.0 ? QPen(look_.border, look_.borderWidth)
                                           : QPen(Qt::NoPen));
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset),
                            look_.cornerRadius, look_.cornerRadius);
}
