#include "kit/KanvoPanelView.h"

#include "kit/KanvoColors.h"

KanvoPanelView::KanvoPanelView(const QRectF& frame, QWidget* parent)
    : KanvoBoxView(frame, {KanvoColors::panelBackground(), KanvoColors::panelStroke(), 1.0},
                   parent) {}
