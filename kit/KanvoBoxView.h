#pragma once

#include <QColor>
#include <QWidget>

// A flat decorative rectangle: a fill, an optional border and optional rounded
// corners. It takes no input of its own, so presses fall through to its parent.
class KanvoBoxView : public QWidget {
    Q_OBJECT
public:
    struct Look {
        QColor fill;
        QColor border = Qt::transparent;
        double borderWidth = 0.0;
        double cornerRadius = 0.0;
    };

    // The frame is in the parent's y-up coordinates.
    KanvoBoxView(const QRectF& frame, const Look& look, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Look look_;
};
