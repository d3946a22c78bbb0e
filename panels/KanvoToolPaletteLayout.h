#pragma once

#include <QList>
#include <QRectF>

// Where the palette's buttons and separator lines go, in the palette's y-up coordinates.
struct KanvoToolPaletteLayout {
    QList<QRectF> buttons;    // one per tool, in palette order
    QList<QRectF> separators; // top to bottom
};

// The column is laid out once from the number of tools; separators depend only on positions,
// and buttons past the lower edge are simply not visible (there is no scrolling).
KanvoToolPaletteLayout layoutToolPalette(qsizetype toolCount, double paletteHeight);
