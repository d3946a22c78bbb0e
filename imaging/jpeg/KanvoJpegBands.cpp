#include "imaging/jpeg/KanvoJpegBands.h"

#include "imaging/KanvoReduction.h"
#include "imaging/colour/KanvoCmyk.h"
#include "imaging/jpeg/KanvoJpegBandStream.h"
#include "imaging/jpeg/KanvoJpegColour.h"
#include "imaging/jpeg/KanvoJpegCrop.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"
#include "imaging/jpeg/KanvoJpegFrame.h"
#include "imaging/jpeg/KanvoLibjpegReader.h"

#include <algorithm>

namespace {

std::span<const uchar> spanOf(const QByteArray& bytes) {
    return {reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size())};
}

} // namespace

std::unique_ptr<KanvoJpegBands> KanvoJpegBands::index(QByteArray file) {
    const KanvoJpegFrame frame = KanvoJpegFrame::read(spanOf(file));
    if (frame.storedSize.isEmpty()) {
        return nullptr;
    }
    std::unique_ptr<KanvoJpegBands> bands(new KanvoJpegBands);
    bands->file_ = std::move(file);
    bands->storedSize_ = frame.storedSize;
    bands->cmyk_ = frame.cmyk;
    bands->iccProfile_ = frame.iccProfile;
    bands->index_ = KanvoJpegBandIndex::build(spanOf(bands->file_));
    return bands;
}

QImage KanvoJpegBands::region(QRect area, int reduction) const {
    if (reduction != 1 && reduction != 2 && reduction != 4 && reduction != 8) {
        return {};
    }
    const QRect output({0, 0}, reducedSize(storedSize_, reduction));
    if (area.isEmpty() || !output.contains(area)) {
        return {};
    }
    QImage pixels = fromBand(area, reduction);
    if (pixels.isNull()) {
        bool warned = false;
        pixels = KanvoJpegCrop::decode(spanOf(file_), area, reduction, cmyk_, warned);
    }
    if (cmyk_ && !pixels.isNull()) {
        convertCmykToRgb32(pixels, iccProfile_);
    }
    return pixels;
}

// The band starts an MCU row above the area's and ends one below it, and
// where the file allows is cut to the columns around the area with one
// more MCU column either side, so that upsampling sees the same pixels
// around the area as in the whole image. A warning there (which a cleanly
// indexed file never gives) leaves the area to libjpeg's own skipping.
QImage KanvoJpegBands::fromBand(QRect area, int reduction) const {
    if (!index_) {
        return {};
    }
    const int rowsPerMcu = index_->mcuHeight / reduction;
    const int columnsPerMcu = std::max(1, index_->mcuWidth / reduction);
    int first = std::max(0, area.top() / rowsPerMcu - 1);
    first -= first % index_->restartRows;
    KanvoJpegBandStream::Band band{first,
                                   std::min(index_->mcusDown(), area.bottom() / rowsPerMcu + 2)};
    if (index_->hasColumns()) {
        constexpr int step = KanvoJpegBandIndex::Index::columnStep;
        const int left = std::max(0, area.left() / columnsPerMcu - 1);
        const int right = area.right() / columnsPerMcu + 2;
        band.firstColumn = left - left % step;
        band.endColumn = std::min(index_->mcusAcross, (right + step - 1) / step * step);
    }
    const QByteArray stream = KanvoJpegBandStream::build(spanOf(file_), *index_, band);
    if (stream.isEmpty()) {
        return {};
    }
    const KanvoJpegBandStream::Lead lead = KanvoJpegBandStream::lead(*index_, band);
    const QPoint shift((lead.columns - band.firstColumn) * columnsPerMcu,
                       (lead.rows - first) * rowsPerMcu);
    bool warned = false;
    QImage pixels =
        KanvoJpegCrop::decode(spanOf(stream), area.translated(shift), reduction, cmyk_, warned);
    return warned ? QImage() : pixels;
}
