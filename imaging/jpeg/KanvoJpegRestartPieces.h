#pragma once

#include "imaging/jpeg/KanvoJpegPlanes.h"
#include "imaging/jpeg/KanvoJpegScan.h"

#include <span>

// Huffman decoding of a scan with restart markers, spread over threads: the
// coded data is cut into `pieces` pieces at the first restart marker past
// each even share of its bytes. DC predictors start again from zero after a
// marker, and the markers before a piece give its first MCU, so each piece
// decodes its own MCUs straight into place.
namespace KanvoJpegRestartPieces {

// Every MCU of `scan` into `planes`, in at most `pieces` pieces, then
// `rowsPlaced(firstMcuRow, endMcuRow)` for bands of the rows on as many
// threads. False for damage: a code no table holds, coded data that ends
// early, or restart markers out of their order or with bytes before them.
bool decode(std::span<const uchar> file, const KanvoJpegScan::Scan& scan, int pieces,
            KanvoJpegPlanes& planes, const std::function<void(qint64, qint64)>& rowsPlaced);

} // namespace KanvoJpegRestartPieces
