#pragma once

#include "kanvo/ui/document.h"

namespace kanvo::ui {

// Moves `layer` (an element of document.layers) by (dx, dy) document pixels,
// snaps it to an 8-pixel grid, the canvas centre and the edges and centres of
// the other layers, and replaces document.align_guides with the guides found.
void moveLayerWithSnapping(Document& document, Layer& layer, double dx, double dy);

} // namespace kanvo::ui
