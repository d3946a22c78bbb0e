#include "kit/KanvoPanelView.h"

#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"

#include <QPainter>

KanvoPanelView::KanvoPanelView(const QRectF& frame, QWidget* parent) : QWidget(parent) {
    KanvoFrame::place(this, frame);
}

void KanvoPanelView::paintEvent(QPaintEvent*) {
    // Filling twice keeps the border exactly one point wide at every pixel ratio.
    QPainter painter(this);
    painter.fillRect(rect(), KanvoColors::panelStroke());
    painter.fillRect(rect().adjusted(1, 1, -1, -1), KanvoColors::panelBackground());
}
