#include "imaging/jpeg/KanvoJpegGuessedPieces.h"

#include "imaging/KanvoParallel.h"
#include "imaging/jpeg/KanvoJpegBlocks.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

using KanvoJpegBlocks::BitReader;
using KanvoJpegBlocks::Predictors;
using KanvoJpegScan::Component;
using KanvoJpegScan::Scan;

// A piece whose guess fails this often, or fails after this many MCUs (a
// true decode fails only on damage), stops; the piece before decodes on
// through its part.
constexpr int maximumRestarts = 64;
constexpr int longestGuess = 1024;

// Pieces a thread: a thread that gets less of the cores than the others
// (beside the window's own work) then leaves pieces to them rather than
// holding up the whole decode.
constexpr int piecesPerThread = 4;

// Where an MCU starts: its first bit in the coded data (stuffed bytes left
// out) and the DC predictors there.
struct Mark {
    std::int64_t bit;
    Predictors predictors;
};

struct Piece {
    const uchar* start = nullptr;
    std::int64_t startBit = 0;
    std::unique_ptr<Mark[]> marks;    // one per MCU decoded, and the one being decoded
    std::atomic<qint64> completed{0}; // marks before this are final
    std::atomic<bool> finished{false};
    // Taken by a thread to decode, or by the piece before as it reaches it.
    std::atomic<bool> taken{false};
    // Read once every thread has joined.
    qint64 guessStart = 0; // the first MCU of the latest guess
    bool failed = false;
    qint64 handoverAt = -1; // the MCU at which a later piece takes over
    int handoverTo = -1;
    qint64 handoverMark = -1; // that piece's MCU there
    // The samples of pieces after the first, until their place is known:
    // per MCU, each block's AC shares and its DC predictor.
    std::vector<std::int16_t> shares;
    std::vector<std::int32_t> blockPredictors;
};

class ParallelDecode {
public:
    ParallelDecode(std::span<const uchar> file, const Scan& scan, int threads,
                   KanvoJpegPlanes& planes, const std::function<void(qint64, qint64)>& rowsPlaced)
        : file_(file), scan_(scan), total_(scan.mcuCount()), threads_(threads),
          pieces_(size_t(threads > 1 ? threads * piecesPerThread : 1)), planes_(planes),
          rowsPlaced_(rowsPlaced) {}

    bool run();

private:
    bool placePieces();
    void decodePiece(int index);
    bool meetsLater(std::int64_t bit, int& target, qint64& mark);
    bool stitch();
    void placeRuns(qint64 firstMcu, qint64 endMcu);

    // A stretch of MCUs of one piece after the first, placed in the image.
    struct Run {
        const Piece* piece;
        qint64 firstMcu; // the piece's own numbering
        qint64 imageMcu;
        qint64 count;
        Predictors offsets; // to add to its DC predictors
    };

    std::span<const uchar> file_;
    const Scan& scan_;
    const qint64 total_;
    const int threads_;
    std::vector<Piece> pieces_;
    KanvoJpegPlanes& planes_;
    const std::function<void(qint64, qint64)>& rowsPlaced_;
    std::vector<Run> runs_;
};

// Cuts the coded data into pieces of equal bytes and numbers their first
// bits. A marker before the last piece's start ends the scan early, which is
// damage left to libjpeg.
bool ParallelDecode::placePieces() {
    const qsizetype first = scan_.dataOffset;
    const auto size = qsizetype(file_.size());
    const qsizetype length = size - first;
    if (first < 0 || length <= 0) {
        return false;
    }
    const auto count = qsizetype(pieces_.size());
    qsizetype stuffed = 0;     // stuffed zeros before `scanned`
    qsizetype scanned = first; // offsets before it have been looked at
    for (qsizetype k = 0; k < count; ++k) {
        // Within the data, and not between a 0xFF and its stuffed zero.
        qsizetype start = first + length * k / count;
        if (start > first && file_[size_t(start - 1)] == 0xFF) {
            ++start;
        }
        while (scanned < start) {
            const auto* found = static_cast<const uchar*>(
                std::memchr(file_.data() + scanned, 0xFF, size_t(start - scanned)));
            if (found == nullptr) {
                break;
            }
            const qsizetype at = found - file_.data();
            if (at + 1 >= size || file_[size_t(at + 1)] != 0) {
                return false;
            }
            ++stuffed;
            scanned = at + 2;
        }
        scanned = start;
        Piece& piece = pieces_[size_t(k)];
        piece.start = file_.data() + start;
        piece.startBit = 8 * (start - first - stuffed);
        piece.marks.reset(new Mark[size_t(total_) + 1]);
    }
    return true;
}

// Whether an MCU starting at `bit` starts where a later piece started one:
// `target` and `mark` follow the later pieces' MCUs as the decode goes on.
// Waits while the later piece has not decoded that far.
bool ParallelDecode::meetsLater(std::int64_t bit, int& target, qint64& mark) {
    while (size_t(target) < pieces_.size()) {
        Piece& later = pieces_[size_t(target)];
        if (bit < later.startBit) {
            return false;
        }
        if (!later.taken.exchange(true)) {
            // Not begun: this piece decodes on through it, as does any other
            // that reaches it (after a wrong guess has taken it).
            later.finished.store(true, std::memory_order_release);
            ++target;
            mark = 0;
            continue;
        }
        const bool finished = later.finished.load(std::memory_order_acquire);
        const qint64 available = later.completed.load(std::memory_order_acquire);
        while (mark < available && later.marks[size_t(mark)].bit < bit) {
            ++mark;
        }
        if (mark < available) {
            return later.marks[size_t(mark)].bit == bit;
        }
        if (finished) {
            ++target; // passed all of it: look for the one after
            mark = 0;
        } else {
            std::this_thread::yield();
        }
    }
    return false;
}

void ParallelDecode::decodePiece(int index) {
    Piece& piece = pieces_[size_t(index)];
    const bool first = index == 0;
    const uchar* end = file_.data() + file_.size();
    const auto sharesPerMcu = size_t(scan_.samplesPerMcu());
    const auto blocksPerMcu = size_t(scan_.blocksPerMcu());
    if (!first) {
        // Its own share, and room for one it may take over.
        const size_t expected = 2 * size_t(total_) / pieces_.size() + 64;
        piece.shares.reserve(expected * sharesPerMcu);
        piece.blockPredictors.reserve(expected * blocksPerMcu);
    }
    BitReader bits(piece.start, end);
    Predictors predictors{};
    qint64 mcu = 0;
    int restarts = 0;
    int target = index + 1;
    qint64 mark = 0;
    while (mcu < total_) {
        const std::int64_t bit = piece.startBit + bits.consumed();
        piece.marks[size_t(mcu)] = {bit, predictors};
        if (meetsLater(bit, target, mark)) {
            piece.handoverAt = mcu;
            piece.handoverTo = target;
            piece.handoverMark = mark;
            break;
        }
        const bool decoded =
            first ? KanvoJpegBlocks::decodeMcu(bits, scan_, predictors,
                                               [&](int component, int across, int down,
                                                   int predictor, const std::int16_t* shares) {
                                                   planes_.writeBlock(mcu, component, across, down,
                                                                      std::int16_t(predictor),
                                                                      shares);
                                               })
                  : KanvoJpegBlocks::decodeMcu(
                        bits, scan_, predictors,
                        [&](int component, int, int, int predictor, const std::int16_t* shares) {
                            const int samples = scan_.components[size_t(component)].samplesAcross;
                            piece.blockPredictors.push_back(predictor);
                            piece.shares.insert(piece.shares.end(), shares,
                                                shares + samples * samples);
                        });
        if (decoded && bits.withinData()) {
            ++mcu;
            piece.completed.store(mcu, std::memory_order_release);
            continue;
        }
        if (first) {
            piece.failed = true;
            break;
        }
        piece.shares.resize(size_t(mcu) * sharesPerMcu);
        piece.blockPredictors.resize(size_t(mcu) * blocksPerMcu);
        if (decoded || !bits.withinData() || bits.atPadding() || ++restarts > maximumRestarts ||
            mcu - piece.guessStart > longestGuess) {
            break; // out of data, or damaged
        }
        // Guess again, one bit after where this MCU began.
        bits = BitReader(piece.start, end);
        bits.skip(bit + 1 - piece.startBit);
        predictors = {};
        piece.guessStart = mcu;
    }
    piece.finished.store(true, std::memory_order_release);
}

// Follows the handovers from the first piece, placing each later piece's
// stretch. True when they cover every MCU.
bool ParallelDecode::stitch() {
    int index = 0;
    qint64 entry = 0;
    qint64 placed = 0;
    Predictors offsets{};
    if (pieces_[0].failed) {
        return false;
    }
    for (;;) {
        const Piece& piece = pieces_[size_t(index)];
        const qint64 end = piece.handoverAt >= 0 ? piece.handoverAt : piece.completed.load();
        const qint64 count = std::min(end - entry, total_ - placed);
        // A later piece's stretch must lie within the blocks it kept.
        const auto kept = qint64(piece.blockPredictors.size()) / scan_.blocksPerMcu();
        if (entry < piece.guessStart || count < 0 || (index > 0 && entry + count > kept)) {
            return false;
        }
        if (index > 0) {
            runs_.push_back({&piece, entry, placed, count, offsets});
        }
        placed += count;
        if (placed == total_) {
            return true;
        }
        if (piece.handoverAt < 0) {
            return false; // stopped short of the last MCU
        }
        const Piece& later = pieces_[size_t(piece.handoverTo)];
        const Mark& here = piece.marks[size_t(piece.handoverAt)];
        const Mark& there = later.marks[size_t(piece.handoverMark)];
        for (size_t c = 0; c < offsets.size(); ++c) {
            offsets[c] = int(unsigned(here.predictors[c]) + unsigned(offsets[c]) -
                             unsigned(there.predictors[c]));
        }
        index = piece.handoverTo;
        entry = piece.handoverMark;
    }
}

// The later pieces' blocks of MCUs [firstMcu, endMcu), now that their DC
// predictors are known.
void ParallelDecode::placeRuns(qint64 firstMcu, qint64 endMcu) {
    const auto sharesPerMcu = size_t(scan_.samplesPerMcu());
    const auto blocksPerMcu = size_t(scan_.blocksPerMcu());
    for (const Run& run : runs_) {
        const qint64 from = std::max(firstMcu, run.imageMcu);
        const qint64 to = std::min(endMcu, run.imageMcu + run.count);
        for (qint64 mcu = from; mcu < to; ++mcu) {
            const auto own = size_t(mcu - run.imageMcu + run.firstMcu);
            const std::int16_t* shares = run.piece->shares.data() + own * sharesPerMcu;
            const std::int32_t* predictor = run.piece->blockPredictors.data() + own * blocksPerMcu;
            for (size_t c = 0; c < scan_.components.size(); ++c) {
                const Component& component = scan_.components[c];
                const int samples = component.samplesAcross * component.samplesAcross;
                for (int down = 0; down < component.blocksDown; ++down) {
                    for (int across = 0; across < component.blocksAcross; ++across) {
                        const auto dc =
                            std::int16_t(unsigned(*predictor++) + unsigned(run.offsets[c]));
                        planes_.writeBlock(mcu, int(c), across, down, dc, shares);
                        shares += samples;
                    }
                }
            }
        }
    }
}

bool ParallelDecode::run() {
    if (!placePieces()) {
        return false;
    }
    forEachTakenInParallel(threads_, int(pieces_.size()), [this](int index) {
        if (!pieces_[size_t(index)].taken.exchange(true)) {
            decodePiece(index);
        }
    });
    if (!stitch()) {
        return false;
    }
    scan_.forEachBandInParallel(threads_, [this](qint64 firstMcuRow, qint64 endMcuRow) {
        placeRuns(firstMcuRow * scan_.mcusAcross, endMcuRow * scan_.mcusAcross);
        rowsPlaced_(firstMcuRow, endMcuRow);
    });
    return true;
}

} // namespace

bool KanvoJpegGuessedPieces::decode(std::span<const uchar> file, const KanvoJpegScan::Scan& scan,
                                    int threads, KanvoJpegPlanes& planes,
                                    const std::function<void(qint64, qint64)>& rowsPlaced) {
    return ParallelDecode(file, scan, threads, planes, rowsPlaced).run();
}
