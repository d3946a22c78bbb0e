#pragma once

#include <QImage>
#include <span>

// A reduced decode of a baseline JPEG whose Huffman decoding, one sequence
// in libjpeg, is spread over `pieces` threads (one to eight): between
// restart markers where the file has them (KanvoJpegRestartPieces), from
// guessed MCU boundaries where it has none (KanvoJpegGuessedPieces).
//
// The samples are those of libjpeg's reduced inverse DCT, upsampling and
// YCbCr conversion, give or take a few levels of rounding. The result is
// null for a header outside KanvoJpegScan's layouts or one libjpeg would not
// decode, and for coded data too short for the frame's blocks, with a code
// no table holds, ending before the last MCU or breaking the order of its
// restart markers: such damage is left to libjpeg, which decides what it
// shows. Where every code is valid, libjpeg decodes the same MCUs, damaged
// or not.
namespace KanvoJpegPreview {

QImage decode(std::span<const uchar> file, int reduction, int pieces);

} // namespace KanvoJpegPreview
