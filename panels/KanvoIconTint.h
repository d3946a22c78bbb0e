#pragma once

#include <QColor>
#include <QIcon>
#include <QSize>

// Theme icons carry their own colours; the panels show them as one-colour glyphs in the
// colour of their surroundings instead.
QIcon tintedIcon(const QIcon& icon, const QColor& tint, QSize size);
