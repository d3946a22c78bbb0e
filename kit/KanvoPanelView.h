#pragma once

#include <QWidget>

// The background of every panel: a flat fill with a 1-point border and square
// corners. It handles no input, so presses fall through to its parent.
class KanvoPanelView : public QWidget {
    Q_OBJECT
public:
    KanvoPanelView(const QRectF& frame, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
