#pragma once

#include "imaging/KanvoRowSource.h"
#include "imaging/colour/KanvoIccProfile.h"

#include <QSize>

class QIODevice;

// Rows to a PNG stream through libspng, a row at a time: 8-bit grey, RGB or
// RGBA, with the profile in an iCCP chunk.
namespace KanvoPngEncoder {

enum class Channels { Grey, Rgb, Rgba };

// False when the rows fail, libspng refuses or `out` fails.
bool write(QIODevice& out, QSize size, Channels channels, const KanvoIccProfile& profile,
           const KanvoRowSource& rows);

} // namespace KanvoPngEncoder
