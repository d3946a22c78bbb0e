#pragma once

#include "imaging/jpeg/KanvoJpegPlanes.h"
#include "imaging/jpeg/KanvoJpegScan.h"

#include <span>

// Huffman decoding of a scan without restart markers, spread over threads
// all the same.
//
// The coded data is cut into pieces at byte offsets, several a thread, which
// the threads take in turn. The first piece is decoded from its start; every
// other from wherever its first byte falls, as if an MCU began there, with
// DC predictors of zero. Huffman codes resynchronise: after some garbage MCUs
// (a code no table holds restarts the guess one bit further on), a later
// piece's MCU boundaries are the true ones. The piece before runs on past
// its own end until one of its MCUs starts at a bit where the later piece
// also started one; from there the later piece's decode is exactly right but
// for its MCUs' numbers and its DC predictors, which are off by a constant
// per component, both known at that meeting point. A piece no thread has
// taken when the one before reaches it is decoded on by that one. Every
// piece but the first keeps its blocks' samples without the DC share until
// then.
namespace KanvoJpegGuessedPieces {

// Every MCU of `scan` into `planes`, on `threads` threads, several pieces
// a thread; `rowsPlaced(firstMcuRow, endMcuRow)` is called for each band of
// rows once it is in place, on the thread that placed it. False for damage:
// a code no table holds, or coded data that ends before the last MCU.
bool decode(std::span<const uchar> file, const KanvoJpegScan::Scan& scan, int threads,
            KanvoJpegPlanes& planes, const std::function<void(qint64, qint64)>& rowsPlaced);

} // namespace KanvoJpegGuessedPieces
