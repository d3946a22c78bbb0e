#include "imaging/jpeg/KanvoJpegGuessedPieces.h"

#include "imaging/KanvoHugePages.h"
#include "imaging/KanvoParallel.h"
#include "imaging/jpeg/KanvoJpegBlocks.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
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

// DC predictors as kept: to 16 bits, as every sum that reaches a pixel is
// taken, so that the sums come out the same.
using KeptPredictors = std::array<std::int16_t, 3>;

KeptPredictors kept(const Predictors& predictors) {
    return {std::int16_t(predictors[0]), std::int16_t(predictors[1]), std::int16_t(predictors[2])};
}

// Where an MCU starts: its first bit in the coded data (stuffed bytes left
// out) and the DC predictors there.
struct Mark {
    std::int64_t bit;
    KeptPredictors predictors;
};

// An array of `count` elements left unset, on huge pages where it is large:
// a piece sets only the part it decodes.
template <class T> std::unique_ptr<T[]> unsetArray(qint64 count) {
    auto array = std::make_unique_for_overwrite<T[]>(size_t(count));
    KanvoHugePages::advise(array.get(), size_t(count) * sizeof(T));
    return array;
}

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
    // per MCU of the piece's own numbering, each block's DC predictor and,
    // where a block gives more than one sample, the AC shares of each.
    std::unique_ptr<std::int16_t[]> blockPredictors;
    std::unique_ptr<std::int16_t[]> shares;
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
    // Whether a block gives more than its DC share: not at an eighth.
    bool keepsShares() const { return scan_.samplesPerMcu() > scan_.blocksPerMcu(); }
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

// The stuffed zeros in bytes [from, to) of `file`: one after each 0xFF.
// Empty where a 0xFF is followed by anything else, a marker.
std::optional<qsizetype> stuffedZeros(std::span<const uchar> file, qsizetype from, qsizetype to) {
    const uchar* bytes = file.data();
    const auto size = qsizetype(file.size());
    qsizetype count = 0;
    qsizetype at = from;
    const auto byteAt = [&](qsizetype i) -> bool {
        if (bytes[i] != 0xFF) {
            return true;
        }
        ++count;
        return i + 1 < size && bytes[i + 1] == 0;
    };
    // Eight bytes at a time: most words of coded data hold no 0xFF.
    for (; at + 8 <= to; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + at, sizeof word);
        const std::uint64_t inverted = ~word; // a 0xFF byte becomes zero
        if (((inverted - 0x0101010101010101) & ~inverted & 0x8080808080808080) == 0) {
            continue;
        }
        for (qsizetype i = at; i < at + 8; ++i) {
            if (!byteAt(i)) {
                return std::nullopt;
            }
        }
    }
    for (; at < to; ++at) {
        if (!byteAt(at)) {
            return std::nullopt;
        }
    }
    return count;
}

// Cuts the coded data into pieces of equal bytes and numbers their first
// bits, counting the stuffed zeros before each start on every thread. A
// marker before the last piece's start ends the scan early, which is damage
// left to libjpeg.
bool ParallelDecode::placePieces() {
    const qsizetype first = scan_.dataOffset;
    const auto size = qsizetype(file_.size());
    const qsizetype length = size - first;
    if (first < 0 || length <= 0) {
        return false;
    }
    const auto count = qsizetype(pieces_.size());
    std::vector<qsizetype> starts(static_cast<size_t>(count));
    for (qsizetype k = 0; k < count; ++k) {
        // Within the data, and not between a 0xFF and its stuffed zero.
        qsizetype start = first + length * k / count;
        if (start > first && file_[size_t(start - 1)] == 0xFF) {
            ++start;
        }
        starts[size_t(k)] = std::max(start, k > 0 ? starts[size_t(k - 1)] : first);
    }
    // Per piece, the stuffed zeros between its start and the next piece's.
    std::vector<std::optional<qsizetype>> stuffed(static_cast<size_t>(count));
    forEachTakenInParallel(threads_, int(count - 1), [&](int k) {
        stuffed[size_t(k)] = stuffedZeros(file_, starts[size_t(k)], starts[size_t(k) + 1]);
    });
    qsizetype stuffedBefore = 0;
    for (qsizetype k = 0; k < count; ++k) {
        if (k > 0) {
            if (!stuffed[size_t(k - 1)]) {
                return false;
            }
            stuffedBefore += *stuffed[size_t(k - 1)];
        }
        Piece& piece = pieces_[size_t(k)];
        piece.start = file_.data() + starts[size_t(k)];
        piece.startBit = 8 * (starts[size_t(k)] - first - stuffedBefore);
        // A piece may decode on to the last MCU: room for all, touched
        // only as far as it goes.
        piece.marks = unsetArray<Mark>(total_ + 1);
        if (k > 0) {
            piece.blockPredictors = unsetArray<std::int16_t>(total_ * scan_.blocksPerMcu());
            if (keepsShares()) {
                piece.shares = unsetArray<std::int16_t>(total_ * scan_.samplesPerMcu());
            }
        }
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
    BitReader bits(piece.start, end);
    Predictors predictors{};
    qint64 mcu = 0;
    int restarts = 0;
    int target = index + 1;
    qint64 mark = 0;
    while (mcu < total_) {
        const std::int64_t bit = piece.startBit + bits.consumed();
        piece.marks[size_t(mcu)] = {bit, kept(predictors)};
        if (meetsLater(bit, target, mark)) {
            piece.handoverAt = mcu;
            piece.handoverTo = target;
            piece.handoverMark = mark;
            break;
        }
        const bool decoded =
            first
                ? KanvoJpegBlocks::decodeMcu(
                      bits, scan_, predictors,
                      [&, place = planes_.placeOf(mcu)](int component, int across, int down,
                                                        int predictor, const std::int16_t* shares) {
                          planes_.writeBlock(place, component, across, down,
                                             std::int16_t(predictor), shares);
                      })
                : KanvoJpegBlocks::decodeMcu(
                      bits, scan_, predictors,
                      [&, block = piece.blockPredictors.get() + size_t(mcu) * blocksPerMcu,
                       share =
                           piece.shares.get() + (piece.shares ? size_t(mcu) * sharesPerMcu : 0)](
                          int component, int, int, int predictor,
                          const std::int16_t* shares) mutable {
                          *block++ = std::int16_t(predictor);
                          if (share != nullptr) {
                              const int samples = scan_.components[size_t(component)].samplesAcross;
                              share = std::copy(shares, shares + samples * samples, share);
                          }
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
        // A later piece's stretch must lie within the MCUs it decoded.
        if (entry < piece.guessStart || count < 0 ||
            (index > 0 && entry + count > piece.completed.load())) {
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
            const std::int16_t* predictor = run.piece->blockPredictors.get() + own * blocksPerMcu;
            // At an eighth a block's one sample has no AC share.
            const std::int16_t noShare = 0;
            const std::int16_t* shares =
                run.piece->shares ? run.piece->shares.get() + own * sharesPerMcu : &noShare;
            const KanvoJpegPlanes::McuPlace place = planes_.placeOf(mcu);
            for (size_t c = 0; c < scan_.components.size(); ++c) {
                const Component& component = scan_.components[c];
                const int samples = component.samplesAcross * component.samplesAcross;
                for (int down = 0; down < component.blocksDown; ++down) {
                    for (int across = 0; across < component.blocksAcross; ++across) {
                        const auto dc =
                            std::int16_t(unsigned(*predictor++) + unsigned(run.offsets[c]));
                        planes_.writeBlock(place, int(c), across, down, dc, shares);
                        if (run.piece->shares) {
                            shares += samples;
                        }
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
