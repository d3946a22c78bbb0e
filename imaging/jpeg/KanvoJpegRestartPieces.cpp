#include "imaging/jpeg/KanvoJpegRestartPieces.h"

#include "imaging/KanvoParallel.h"
#include "imaging/jpeg/KanvoJpegBlocks.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct Piece {
    const uchar* start;
    qint64 firstMcu;
    qint64 markersBefore; // restart markers before its start
};

// The pieces' starts: the data's own, then just past the first restart
// marker at or after each further share of the bytes. Empty when the
// markers are out of order or there are more of them than the MCUs allow;
// fewer pieces when another marker ends the scan before the last share.
std::vector<Piece> placePieces(std::span<const uchar> file, const KanvoJpegScan::Scan& scan,
                               int count) {
    const uchar* data = file.data() + scan.dataOffset;
    const uchar* end = file.data() + file.size();
    std::vector<Piece> pieces{{data, 0, 0}};
    qint64 markers = 0;
    for (const uchar* at = data; int(pieces.size()) < count;) {
        const auto* found = static_cast<const uchar*>(std::memchr(at, 0xFF, size_t(end - at)));
        if (found == nullptr || end - found < 2) {
            break; // fewer pieces, then
        }
        at = found + 2;
        if (found[1] == 0) {
            continue; // a stuffed zero
        }
        if (found[1] != 0xD0 + (markers & 7)) {
            return found[1] >= 0xD0 && found[1] <= 0xD7 ? std::vector<Piece>() : pieces;
        }
        ++markers;
        const qint64 firstMcu = markers * scan.restartInterval;
        if (firstMcu >= scan.mcuCount()) {
            return {};
        }
        const uchar* share = data + (end - data) * qsizetype(pieces.size()) / count;
        if (found >= share) {
            pieces.push_back({at, firstMcu, markers});
        }
    }
    return pieces;
}

// Decodes MCUs [piece.firstMcu, endMcu) into place; the marker that starts
// the next piece must follow.
bool decodePiece(std::span<const uchar> file, const KanvoJpegScan::Scan& scan, const Piece& piece,
                 qint64 endMcu, bool last, KanvoJpegPlanes& planes) {
    KanvoJpegBlocks::BitReader bits(piece.start, file.data() + file.size());
    KanvoJpegBlocks::Predictors predictors{};
    qint64 markers = piece.markersBefore;
    for (qint64 mcu = piece.firstMcu; mcu < endMcu; ++mcu) {
        if (mcu > piece.firstMcu && mcu % scan.restartInterval == 0) {
            if (!bits.restart(int(markers++ & 7))) {
                return false;
            }
            predictors = {};
        }
        const bool decoded = KanvoJpegBlocks::decodeMcu(
            bits, scan, predictors,
            [&, place = planes.placeOf(mcu)](int component, int across, int down, int predictor,
                                             const std::int16_t* shares) {
                planes.writeBlock(place, component, across, down, std::int16_t(predictor), shares);
            });
        if (!decoded || !bits.withinData()) {
            return false;
        }
    }
    return last || bits.restart(int(markers & 7));
}

} // namespace

bool KanvoJpegRestartPieces::decode(std::span<const uchar> file, const KanvoJpegScan::Scan& scan,
                                    int pieces, KanvoJpegPlanes& planes,
                                    const std::function<void(qint64, qint64)>& rowsPlaced) {
    if (scan.restartInterval <= 0) {
        return false;
    }
    const std::vector<Piece> placed = placePieces(file, scan, pieces);
    if (placed.empty()) {
        return false;
    }
    std::vector<char> decoded(placed.size(), false); // not bool: one element per thread
    forEachInParallel(int(placed.size()), [&](int index) {
        const bool last = size_t(index) + 1 == placed.size();
        decoded[size_t(index)] =
            decodePiece(file, scan, placed[size_t(index)],
                        last ? scan.mcuCount() : placed[size_t(index) + 1].firstMcu, last, planes);
    });
    if (!std::all_of(decoded.begin(), decoded.end(), [](char value) { return value != 0; })) {
        return false;
    }
    scan.forEachBandInParallel(pieces, rowsPlaced);
    return true;
}
