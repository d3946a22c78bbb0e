#pragma once

#include "imaging/jpeg/KanvoJpegBandIndex.h"

#include <QByteArray>
#include <span>

// A band of a JPEG's MCU rows as a JPEG of its own, for libjpeg to decode:
// the file's header with the frame's height cut to the band's, then the
// band's coded bits. Without restart markers the bits no longer start on a
// byte and the DC predictors no longer start from zero, so a priming MCU row
// comes first, flat blocks whose first DC differences bring each
// component's predictor to its value at the band: its bits are written with
// the file's own codes, the band's bits shifted after them. With markers,
// the band starts just after one, where predictors are zero and bits start
// on a byte, and its markers are renumbered from the first.
namespace KanvoJpegBandStream {

struct Band {
    int firstRow; // MCU rows [firstRow, endRow)
    int endRow;
};

// Whether a priming row precedes the band's rows: a band below the first
// row of a file without restart markers.
bool primed(const KanvoJpegBandIndex::Index& index, Band band);

// Empty when a predictor's category has no code in the file's DC table.
// `band` must lie within the index's rows, starting on a row just after a
// restart marker where the file has them.
QByteArray build(std::span<const uchar> file, const KanvoJpegBandIndex::Index& index, Band band);

} // namespace KanvoJpegBandStream
