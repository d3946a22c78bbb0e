#pragma once

#include "kit/KanvoBoxView.h"

// The background of every panel: a flat fill with a 1-point border and square
// corners.
class KanvoPanelView : public KanvoBoxView {
    Q_OBJECT
public:
    KanvoPanelView(const QRectF& frame, QWidget* parent);
};
