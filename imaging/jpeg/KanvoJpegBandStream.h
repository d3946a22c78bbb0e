#pragma once

#include "imaging/jpeg/KanvoJpegBandIndex.h"

#include <QByteArray>
#include <limits>
#include <span>

// A band of a JPEG's MCU rows as a JPEG of its own, for libjpeg to decode:
// the file's header with the frame's height (and width) cut to the band's,
// then the band's coded bits. Without restart markers the bits no longer
// start on a byte and the DC predictors no longer start from zero, so a
// priming MCU row comes first, flat blocks whose first DC differences bring
// each component's predictor to its value at the band: its bits are written
// with the file's own codes, the band's bits shifted after them. With
// markers, the band starts just after one, where predictors are zero and
// bits start on a byte, and its markers are renumbered from the first.
//
// A band of a file without markers may also be cut to some of its MCU
// columns: each row's bits between the column checkpoints, and beside them
// a priming MCU that brings the predictors from where one row's part ends
// to where the next one's starts. It stands on the left of the rows, where
// it also primes the first row, unless the band starts at the image's left
// edge, whose pixels it would change: there it stands on the right, and a
// priming row primes the first row if needed.
namespace KanvoJpegBandStream {

struct Band {
    int firstRow; // MCU rows [firstRow, endRow)
    int endRow;
    // MCU columns [firstColumn, endColumn): each 0, a multiple of the
    // index's columnStep, or (for the end) the MCUs across; the whole width
    // by default.
    int firstColumn = 0;
    int endColumn = std::numeric_limits<int>::max();
};

// The priming MCU rows and columns the band's stream holds above and to the
// left of the band's own.
struct Lead {
    int rows;
    int columns;
};
Lead lead(const KanvoJpegBandIndex::Index& index, Band band);

// Empty when a predictor's or a difference's category has no code in the
// file's DC table, or the cut band would be wider than a frame can be.
// `band` must lie within the index's rows, starting on a row just after a
// restart marker where the file has them, and be cut only where the file
// has none.
QByteArray build(std::span<const uchar> file, const KanvoJpegBandIndex::Index& index, Band band);

} // namespace KanvoJpegBandStream
