#include "imaging/KanvoOverviewBuilder.h"

#include "imaging/KanvoImageHalving.h"
#include "imaging/KanvoReduction.h"

#include <cstring>

namespace {

constexpr int reduction = 8;
// Rows a band gathers before it is halved: a multiple of the reduction.
constexpr int bandHeight = 8 * reduction;

} // namespace

KanvoOverviewBuilder::KanvoOverviewBuilder(int width, int height, QImage::Format format)
    : height_(height), band_(width, bandHeight, format) {}

bool KanvoOverviewBuilder::addRow(const uchar* pixels) {
    if (band_.isNull() || rowsAdded_ >= height_) {
        return false;
    }
    std::memcpy(band_.scanLine(bandRows_), pixels, size_t(band_.width()) * 4);
    ++bandRows_;
    ++rowsAdded_;
    return bandRows_ < bandHeight || flush();
}

// Halves the rows gathered so far three times into the overview's next rows.
bool KanvoOverviewBuilder::flush() {
    QImage halved = band_.copy(0, 0, band_.width(), bandRows_);
    for (int step = 0; step < 3 && !halved.isNull(); ++step) {
        halved = KanvoImageHalving::halved(halved);
    }
    if (halved.isNull()) {
        band_ = {};
        return false;
    }
    if (overview_.isNull()) {
        overview_ = QImage(reducedSize(QSize(band_.width(), height_), reduction), halved.format());
        if (overview_.isNull()) {
            band_ = {};
            return false;
        }
    }
    for (int y = 0; y < halved.height() && overviewRows_ < overview_.height(); ++y) {
        std::memcpy(overview_.scanLine(overviewRows_++), halved.constScanLine(y),
                    size_t(halved.bytesPerLine()));
    }
    bandRows_ = 0;
    return true;
}

QImage KanvoOverviewBuilder::finish() {
    if (band_.isNull() || rowsAdded_ != height_ || (bandRows_ > 0 && !flush())) {
        return {};
    }
    return overview_;
}

QImage KanvoOverviewBuilder::sofar() const {
    if (overview_.isNull()) {
        return {};
    }
    // An opaque overview's rows are the same bytes with alpha.
    QImage image(overview_.size(),
                 overview_.hasAlphaChannel() ? overview_.format() : QImage::Format_RGBA8888);
    if (image.isNull()) {
        return {};
    }
    const qsizetype made = qsizetype(overview_.bytesPerLine()) * overviewRows_;
    std::memcpy(image.bits(), overview_.constBits(), size_t(made));
    std::memset(image.bits() + made, 0, size_t(image.sizeInBytes() - made));
    return image;
}
