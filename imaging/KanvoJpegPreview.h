#pragma once

#include <QImage>
#include <span>

// A reduced decode of a baseline JPEG whose Huffman decoding, one sequence
// in libjpeg, is spread over `pieces` threads (at most eight): between
// restart markers where the file has them (KanvoJpegRestartPieces), from
// guessed MCU boundaries where it has none (KanvoJpegGuessedPieces).
//
// The samples are those of libjpeg's reduced inverse DCT, upsampling and
// YCbCr conversion, give or take a few levels of rounding. The result is
// null for a layout outside KanvoJpegScan's, and for coded data that has a
// code no table holds, ends before the last MCU or breaks the order of its
// restart markers: such damage is left to libjpeg, which decides what it
// shows. Where every code is valid, libjpeg decodes the same MCUs, damaged
// or not.
namespace KanvoJpegPreview {

QImage decode(std::span<const uchar> file, int reduction, int pieces);

} // namespace KanvoJpegPreview
