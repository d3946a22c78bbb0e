#pragma once

#include <QColor>

// The light grey theme with its one blue accent. Every call builds a new
// colour, so callers may adjust what they get without affecting anyone else.
class KanvoColors {
public:
    static QColor appBackground();
    static QColor panelBackground();
    static QColor panelStroke();
    static QColor canvasBackground();
    static QColor accent();
    static QColor label();
    static QColor muted();

    // The grey (w, w, w) with the given alpha, the way the theme gives greys.
    static QColor white(double level, double alpha = 1.0);
};
