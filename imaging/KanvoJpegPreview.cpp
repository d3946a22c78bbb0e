#include "imaging/KanvoJpegPreview.h"

#include "imaging/KanvoJpegBits.h"
#include "imaging/KanvoJpegPlanes.h"
#include "imaging/KanvoJpegScan.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using KanvoJpegBits::BitReader;
using KanvoJpegScan::Component;
using KanvoJpegScan::Scan;
using Predictors = std::array<int, 3>;

// The natural (row by row) index of each coefficient in coded order, with
// libjpeg's sixteen extra entries: a damaged block whose run passes its end
// lands on the last coefficient, as libjpeg lands it.
constexpr std::array<std::uint8_t, 80> naturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// A piece whose guess fails this often, or fails after this many MCUs (a
// true decode fails only on damage), stops; the piece before decodes on
// through its part.
constexpr int maximumRestarts = 64;
constexpr int longestGuess = 1024;
// Pieces hold at least this much coded data, enough for a guess to find
// its way.
constexpr qsizetype minimumPieceBytes = 256;

// Where an MCU starts: its first bit in the coded data (stuffed bytes left
// out) and the DC predictors there.
struct Mark {
    std::int64_t bit;
    Predictors predictors;
};

struct Piece {
    const uchar* start = nullptr;
    std::int64_t startBit = 0;
    std::unique_ptr<Mark[]> marks; // one per MCU decoded, and the one being decoded
    std::atomic<int> completed{0}; // marks before this are final
    std::atomic<bool> finished{false};
    // Read once every thread has joined.
    int guessStart = 0; // the first MCU of the latest guess
    bool failed = false;
    int handoverAt = -1; // the MCU at which a later piece takes over
    int handoverTo = -1;
    int handoverMark = -1; // that piece's MCU there
    // The samples of pieces after the first, until their place is known:
    // per MCU, each block's AC shares and its DC predictor.
    std::vector<std::int16_t> shares;
    std::vector<std::int32_t> blockPredictors;
};

// Rounded to the nearest, half away from zero up to a hair: a bias makes
// every value positive, so truncation rounds.
std::int16_t rounded(float share) {
    return std::int16_t(int(std::clamp(share, -32768.0F, 32767.0F) + 32768.5F) - 32768);
}

// A block's AC coefficients, added up into the shares of its `Samples`
// samples (1, 4 or 16). Every coefficient is added, its share zero or not:
// cheaper than a branch on which of them count.
template <int Samples>
Q_ALWAYS_INLINE bool decodeAc(BitReader& bits, const Component& component, float* shares) {
    const auto add = [&](int k, int value) {
        if constexpr (Samples > 1) {
            const float* share =
                component.shares.data() + size_t(naturalOrder[size_t(k)]) * Samples;
            for (int i = 0; i < Samples; ++i) {
                shares[i] += float(value) * share[i];
            }
        }
    };
    for (int k = 1; k < 64; ++k) {
        bits.prepare();
        if (const std::int32_t coefficient = bits.decodeShortCoefficient(*component.acTable)) {
            k += (coefficient >> 8) & 15;
            add(k, coefficient >> 16);
            continue;
        }
        const int symbol = bits.decode(*component.acTable);
        if (symbol < 0) {
            return false;
        }
        const int run = symbol >> 4;
        const int size = symbol & 15;
        if (size == 0) {
            if (run != 15) {
                return true; // end of block
            }
            k += 15;
            continue;
        }
        k += run;
        add(k, bits.receiveExtended(size));
    }
    return true;
}

// One block: its DC predictor updated, its samples' AC shares rounded.
template <int Samples>
Q_ALWAYS_INLINE bool decodeBlock(BitReader& bits, const Component& component, int& predictor,
                                 std::int16_t* roundedShares) {
    bits.prepare();
    const int dcSize = bits.decode(*component.dcTable);
    if (dcSize < 0 || dcSize > 15) {
        return false;
    }
    if (dcSize > 0) {
        // Wrapping: a wrong guess may add up anything.
        predictor = int(unsigned(predictor) + unsigned(bits.receiveExtended(dcSize)));
    }
    float shares[Samples] = {};
    if (!decodeAc<Samples>(bits, component, shares)) {
        return false;
    }
    std::transform(shares, shares + Samples, roundedShares, rounded);
    return true;
}

// One MCU: every block goes to `place(component, across, down, predictor,
// shares)`. False where no code of a table begins.
template <class Place>
Q_ALWAYS_INLINE bool decodeMcu(BitReader& bits, const Scan& scan, Predictors& predictors,
                               Place&& place) {
    for (size_t c = 0; c < scan.components.size(); ++c) {
        const Component& component = scan.components[c];
        for (int down = 0; down < component.blocksDown; ++down) {
            for (int across = 0; across < component.blocksAcross; ++across) {
                std::int16_t shares[16];
                bool decoded = false;
                switch (component.samplesAcross) {
                case 1:
                    decoded = decodeBlock<1>(bits, component, predictors[c], shares);
                    break;
                case 2:
                    decoded = decodeBlock<4>(bits, component, predictors[c], shares);
                    break;
                default:
                    decoded = decodeBlock<16>(bits, component, predictors[c], shares);
                    break;
                }
                if (!decoded) {
                    return false;
                }
                place(int(c), across, down, predictors[c], shares);
            }
        }
    }
    return true;
}

void forEachInParallel(int count, const std::function<void(int)>& work) {
    std::vector<std::jthread> helpers;
    for (int i = 1; i < count; ++i) {
        helpers.emplace_back(work, i);
    }
    work(0);
}

class ParallelDecode {
public:
    ParallelDecode(std::span<const uchar> file, const Scan& scan, int pieces)
        : file_(file), scan_(scan), total_(scan.mcusAcross * scan.mcusDown),
          pieces_(size_t(pieces)), planes_(scan) {}

    QImage run();

private:
    bool placePieces();
    void decodePiece(int index);
    bool meetsLater(std::int64_t bit, int& target, int& mark);
    bool stitch();
    void placeRuns(int firstMcu, int endMcu);

    // A stretch of MCUs of one piece after the first, placed in the image.
    struct Run {
        const Piece* piece;
        int firstMcu; // the piece's own numbering
        int imageMcu;
        int count;
        Predictors offsets; // to add to its DC predictors
    };

    std::span<const uchar> file_;
    const Scan& scan_;
    const int total_;
    std::vector<Piece> pieces_;
    KanvoJpegPlanes planes_;
    std::vector<Run> runs_;
};

// Cuts the coded data into pieces of equal bytes and numbers their first
// bits. A marker before the last piece's start ends the scan early, which is
// damage left to libjpeg.
bool ParallelDecode::placePieces() {
    const uchar* data = file_.data() + scan_.dataOffset;
    const qsizetype length = qsizetype(file_.size()) - scan_.dataOffset;
    const auto count = qsizetype(pieces_.size());
    qsizetype stuffed = 0;
    const uchar* scanned = data;
    for (qsizetype k = 0; k < count; ++k) {
        const uchar* start = data + length * k / count;
        if (k > 0 && start[-1] == 0xFF) {
            ++start; // not between a 0xFF and its stuffed zero
        }
        while (const auto* found =
                   static_cast<const uchar*>(std::memchr(scanned, 0xFF, size_t(start - scanned)))) {
            if (found[1] != 0) {
                return false;
            }
            ++stuffed;
            scanned = found + 2;
        }
        scanned = start;
        Piece& piece = pieces_[size_t(k)];
        piece.start = start;
        piece.startBit = 8 * (start - data - stuffed);
        piece.marks.reset(new Mark[size_t(total_) + 1]);
    }
    return true;
}

// Whether an MCU starting at `bit` starts where a later piece started one:
// `target` and `mark` follow the later pieces' MCUs as the decode goes on.
// Waits while the later piece has not decoded that far.
bool ParallelDecode::meetsLater(std::int64_t bit, int& target, int& mark) {
    while (size_t(target) < pieces_.size()) {
        const Piece& later = pieces_[size_t(target)];
        if (bit < later.startBit) {
            return false;
        }
        const bool finished = later.finished.load(std::memory_order_acquire);
        const int available = later.completed.load(std::memory_order_acquire);
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
        const size_t expected =
            size_t(total_) * (pieces_.size() - size_t(index)) / pieces_.size() + 64;
        piece.shares.reserve(expected * sharesPerMcu);
        piece.blockPredictors.reserve(expected * blocksPerMcu);
    }
    BitReader bits(piece.start, end);
    Predictors predictors{};
    int mcu = 0;
    int restarts = 0;
    int target = index + 1;
    int mark = 0;
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
            first ? decodeMcu(bits, scan_, predictors,
                              [&](int component, int across, int down, int predictor,
                                  const std::int16_t* shares) {
                                  planes_.writeBlock(mcu, component, across, down,
                                                     std::int16_t(predictor), shares);
                              })
                  : decodeMcu(
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
        if (decoded || !bits.withinData() || ++restarts > maximumRestarts ||
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
    int entry = 0;
    int placed = 0;
    Predictors offsets{};
    if (pieces_[0].failed) {
        return false;
    }
    for (;;) {
        const Piece& piece = pieces_[size_t(index)];
        const int end = piece.handoverAt >= 0 ? piece.handoverAt : piece.completed.load();
        const int count = std::min(end - entry, total_ - placed);
        if (entry < piece.guessStart || count < 0) {
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
void ParallelDecode::placeRuns(int firstMcu, int endMcu) {
    const auto sharesPerMcu = size_t(scan_.samplesPerMcu());
    const auto blocksPerMcu = size_t(scan_.blocksPerMcu());
    for (const Run& run : runs_) {
        const int from = std::max(firstMcu, run.imageMcu);
        const int to = std::min(endMcu, run.imageMcu + run.count);
        for (int mcu = from; mcu < to; ++mcu) {
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

QImage ParallelDecode::run() {
    QImage image(scan_.outputSize, QImage::Format_RGB32);
    if (image.isNull() || !placePieces()) {
        return {};
    }
    const int threads = int(pieces_.size());
    forEachInParallel(threads, [this](int index) { decodePiece(index); });
    if (!stitch()) {
        return {};
    }
    // Bands of MCU rows: each thread places the later pieces' blocks in its
    // band, then converts the band's rows.
    forEachInParallel(threads, [&](int band) {
        const int firstRow = scan_.mcusDown * band / threads;
        const int endRow = scan_.mcusDown * (band + 1) / threads;
        placeRuns(firstRow * scan_.mcusAcross, endRow * scan_.mcusAcross);
        planes_.convertRows(image, std::min(firstRow * scan_.samplesDownMcu, image.height()),
                            std::min(endRow * scan_.samplesDownMcu, image.height()));
    });
    return planes_.overflowed() ? QImage() : image;
}

} // namespace

QImage KanvoJpegPreview::decode(std::span<const uchar> file, int reduction, int pieces) {
    const std::optional<Scan> scan = KanvoJpegScan::read(file, reduction);
    if (!scan) {
        return {};
    }
    const qsizetype dataBytes = qsizetype(file.size()) - scan->dataOffset;
    const auto used = int(
        std::clamp<qsizetype>(std::min<qsizetype>(pieces, dataBytes / minimumPieceBytes), 1, 8));
    return ParallelDecode(file, *scan, used).run();
}
