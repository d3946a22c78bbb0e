#include "imaging/jpeg/KanvoJpegPreview.h"

#include "imaging/KanvoHugePages.h"
#include "imaging/jpeg/KanvoJpegGuessedPieces.h"
#include "imaging/jpeg/KanvoJpegPlanes.h"
#include "imaging/jpeg/KanvoJpegRestartPieces.h"
#include "imaging/jpeg/KanvoJpegScan.h"

#include <algorithm>

namespace {

// Every block takes at least two bits: a DC code and an end of block. Data
// too short for the frame's blocks is damage, told before anything the
// frame's size claims is allocated.
bool codedDataCanHold(const KanvoJpegScan::Scan& scan, qsizetype dataBytes) {
    return dataBytes > 0 && dataBytes * 8 >= 2 * scan.mcuCount() * scan.blocksPerMcu();
}

} // namespace

QImage KanvoJpegPreview::decode(std::span<const uchar> file, int reduction, int pieces) {
    const std::optional<KanvoJpegScan::Scan> scan = KanvoJpegScan::read(file, reduction);
    if (!scan) {
        return {};
    }
    const qsizetype dataBytes = qsizetype(file.size()) - scan->dataOffset;
    if (!codedDataCanHold(*scan, dataBytes)) {
        return {};
    }
    QImage image = KanvoHugePages::image(scan->outputSize, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    const int threads = std::clamp(pieces, 1, 8);
    KanvoJpegPlanes planes(*scan);
    const auto convert = [&](qint64 firstMcuRow, qint64 endMcuRow) {
        const auto row = [&](qint64 mcuRow) {
            return int(std::min<qint64>(mcuRow * scan->samplesDownMcu, image.height()));
        };
        planes.convertRows(image, row(firstMcuRow), row(endMcuRow));
    };
    const bool decoded =
        scan->restartInterval > 0
            ? KanvoJpegRestartPieces::decode(file, *scan, threads, planes, convert)
            : KanvoJpegGuessedPieces::decode(file, *scan, threads, planes, convert);
    if (!decoded || planes.damaged()) {
        return {};
    }
    return image;
}
