#pragma once

#include <QImage>
#include <functional>

// Rows [first, end) of an upright image, a band at a time, in any of the
// formats the decoders give: what an encoder reads, so that an image held in
// tiles is written without ever being whole in memory. Null on failure.
using KanvoRowSource = std::function<QImage(int first, int end)>;
