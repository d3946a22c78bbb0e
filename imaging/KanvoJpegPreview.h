#pragma once

#include <QImage>
#include <span>

// A reduced decode of a baseline JPEG whose Huffman decoding, sequential in a
// scan without restart markers, is nevertheless spread over several threads.
//
// The coded data is cut into `pieces` pieces at byte offsets (at most eight). The first
// piece is decoded from its start; every other from wherever its first byte
// falls, as if an MCU began there, with DC predictors of zero. Huffman codes
// resynchronise: after some garbage MCUs (a code no table holds restarts the
// guess one bit further on), a later piece's MCU boundaries are the true
// ones. The piece before runs on past its own end until one of its MCUs
// starts at a bit where the later piece also started one; from there the
// later piece's decode is exactly right but for its MCUs' numbers and its DC
// predictors, which are off by a constant per component, both known at that
// meeting point. Every piece keeps its blocks' samples without the DC share
// until then.
//
// The samples are those of libjpeg's reduced inverse DCT and its YCbCr
// conversion, give or take a few levels of rounding. The result is null for
// a layout outside KanvoJpegScan's, and for coded data that has a code no
// table holds or ends before the last MCU: such damage is left to libjpeg,
// which decides what it shows. Where every code is valid, libjpeg decodes
// the same MCUs, damaged or not.
namespace KanvoJpegPreview {

QImage decode(std::span<const uchar> file, int reduction, int pieces);

} // namespace KanvoJpegPreview
