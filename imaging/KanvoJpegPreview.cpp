#include "imaging/KanvoJpegPreview.h"

#include "imaging/KanvoJpegGuessedPieces.h"
#include "imaging/KanvoJpegPlanes.h"
#include "imaging/KanvoJpegRestartPieces.h"
#include "imaging/KanvoJpegScan.h"
#include "imaging/KanvoParallel.h"

#include <algorithm>

namespace {

// Pieces hold at least this much coded data, enough for a guess to find
// its way.
constexpr qsizetype minimumPieceBytes = 256;

} // namespace

QImage KanvoJpegPreview::decode(std::span<const uchar> file, int reduction, int pieces) {
    const std::optional<KanvoJpegScan::Scan> scan = KanvoJpegScan::read(file, reduction);
    if (!scan) {
        return {};
    }
    QImage image(scan->outputSize, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    const qsizetype dataBytes = qsizetype(file.size()) - scan->dataOffset;
    const auto threads = int(
        std::clamp<qsizetype>(std::min<qsizetype>(pieces, dataBytes / minimumPieceBytes), 1, 8));
    KanvoJpegPlanes planes(*scan);
    const bool decoded = scan->restartInterval > 0
                             ? KanvoJpegRestartPieces::decode(file, *scan, threads, planes)
                             : KanvoJpegGuessedPieces::decode(file, *scan, threads, planes);
    if (!decoded || planes.overflowed()) {
        return {};
    }
    // Bands of MCU rows, one a thread.
    forEachInParallel(threads, [&](int band) {
        const int firstRow = scan->mcusDown * band / threads * scan->samplesDownMcu;
        const int endRow = scan->mcusDown * (band + 1) / threads * scan->samplesDownMcu;
        planes.convertRows(image, std::min(firstRow, image.height()),
                           std::min(endRow, image.height()));
    });
    return image;
}
