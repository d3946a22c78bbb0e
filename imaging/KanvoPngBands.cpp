#include "imaging/KanvoPngBands.h"

#include "imaging/KanvoPngChunks.h"
#include "imaging/KanvoPngRowFilter.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <thread>

namespace {

using Result = KanvoPngInflate::Result;

// A row of four-byte pixels at this width takes a gigabyte: beyond any
// image whose rows are worth handing out one by one.
constexpr std::uint32_t widestImage = std::uint32_t(1) << 28;
// What the checkpoints may take together, and the least inflated data
// between two: below a megabyte, the checkpoints would cost more to keep
// than the rows they save cost to inflate again.
constexpr std::uint64_t checkpointsBytes = std::uint64_t(32) << 20;
constexpr std::uint64_t shortestInterval = std::uint64_t(1) << 20;
constexpr std::uint64_t windowBytes = std::uint64_t(32) << 10;
constexpr size_t batchBytes = size_t(4) << 20;

std::uint64_t automaticInterval(size_t rowBytes, int height) {
    const std::uint64_t perCheckpoint = windowBytes + rowBytes;
    const std::uint64_t count = std::max<std::uint64_t>(1, checkpointsBytes / perCheckpoint);
    const std::uint64_t inflated = std::uint64_t(rowBytes + 1) * std::uint64_t(height);
    return std::max(shortestInterval, inflated / count);
}

// Inflates exactly `bytes` into `out`: whole rows, or the part of one before
// a checkpoint's first row.
bool inflateExactly(KanvoPngInflate& stream, uchar* out, size_t bytes) {
    size_t written = 0;
    const Result result = stream.inflate(out, bytes, written, false);
    return written == bytes && (result == Result::Progress || result == Result::End);
}

} // namespace

KanvoPngBands::KanvoPngBands(std::unique_ptr<QIODevice> file, std::uint64_t firstChunk,
                             KanvoPngSamples samples, int width, int height)
    : file_(std::move(file)), firstChunk_(firstChunk), samples_(samples), width_(width),
      height_(height) {}

std::unique_ptr<KanvoPngBands> KanvoPngBands::index(std::unique_ptr<QIODevice> file,
                                                    const RowHandler& eachRow,
                                                    qint64 checkpointInterval, int rowsPerBatch) {
    const QByteArray head = KanvoPngChunks::readHead(*file);
    const std::span<const uchar> bytes(reinterpret_cast<const uchar*>(head.constData()),
                                       size_t(head.size()));
    spng_ihdr header{};
    const KanvoPngChunks::SpngContext decoder = KanvoPngChunks::headerReader(bytes, header);
    if (head.isEmpty() || !decoder || spng_decode_chunks(decoder.get()) != 0 ||
        header.width > widestImage) {
        return nullptr;
    }
    // libspng draws a palette image with two PLTE chunks from both at once,
    // the later over the earlier; such a file is left to the whole decode.
    if (header.color_type == SPNG_COLOR_TYPE_INDEXED &&
        KanvoPngChunks::countBeforeImageData(bytes, "PLTE") > 1) {
        return nullptr;
    }
    const std::optional<KanvoPngSamples> samples = KanvoPngSamples::of(decoder.get(), header);
    if (!samples) {
        return nullptr;
    }
    // The head ends with the first IDAT chunk's length and type.
    std::unique_ptr<KanvoPngBands> bands(new KanvoPngBands(std::move(file),
                                                           std::uint64_t(head.size() - 8), *samples,
                                                           int(header.width), int(header.height)));
    if (!bands->readRows(eachRow, checkpointInterval, rowsPerBatch)) {
        return nullptr;
    }
    return bands;
}

// A batch of the pass's rows as inflated, before their filters are undone.
struct KanvoPngBands::InflatedRows {
    std::vector<uchar> bytes; // each row after its filter byte
    int firstRow = 0;
    int rows = 0;
    std::vector<Checkpoint> checkpoints;
    bool failed = false; // the stream fails here: no rows follow
};

void KanvoPngBands::inflateRows(KanvoHandoff<std::vector<uchar>>& emptyBuffers,
                                KanvoHandoff<InflatedRows>& inflated, std::uint64_t interval,
                                int rowsPerBatch) const {
    const size_t stride = samples_.rowBytes() + 1; // the filter byte first
    KanvoPngInflate stream(file_, firstChunk_);
    bool ended = false;
    int lastCheckpointRow = -1;
    std::uint64_t lastCheckpointOutput = 0;
    for (int y = 0; y < height_;) {
        std::optional<std::vector<uchar>> buffer = emptyBuffers.take();
        if (!buffer) {
            return; // the rows are no longer wanted
        }
        InflatedRows batch{std::move(*buffer), y, std::min(rowsPerBatch, height_ - y), {}, false};
        const size_t wanted = size_t(batch.rows) * stride;
        size_t filled = 0;
        while (filled < wanted && !batch.failed) {
            // zlib stops at block boundaries only once the next checkpoint
            // is due: each stop costs it a copy of its window.
            const std::uint64_t before = std::uint64_t(y) * stride + filled;
            const std::uint64_t due = lastCheckpointRow < 0 ? 0 : lastCheckpointOutput + interval;
            const size_t room =
                before >= due ? wanted - filled
                              : size_t(std::min<std::uint64_t>(wanted - filled, due - before));
            const Result result =
                ended ? Result::Failed
                      : stream.inflate(batch.bytes.data() + filled, room, filled, before >= due);
            batch.failed = result == Result::Failed;
            ended = result == Result::End;
            const std::uint64_t output = std::uint64_t(y) * stride + filled;
            // The first row wholly after the boundary.
            const std::uint64_t next = (output + stride - 1) / stride;
            if (result == Result::Boundary && next < std::uint64_t(height_) &&
                int(next) > lastCheckpointRow &&
                (lastCheckpointRow < 0 || output - lastCheckpointOutput >= interval)) {
                batch.checkpoints.push_back({stream.point(), int(next), {}});
                lastCheckpointRow = int(next);
                lastCheckpointOutput = output;
            }
        }
        y += batch.rows;
        if (y == height_ && !batch.failed) {
            // The stream must end, checksum and all, with the last row, and
            // the chunks after it be whole.
            uchar beyond = 0;
            size_t extra = 0;
            batch.failed = (!ended && (stream.inflate(&beyond, 1, extra, false) != Result::End ||
                                       extra != 0)) ||
                           !stream.restIntact();
        }
        const bool failed = batch.failed;
        if (!inflated.put(std::move(batch)) || failed) {
            return;
        }
    }
}

bool KanvoPngBands::readRows(const RowHandler& eachRow, qint64 checkpointInterval,
                             int rowsPerBatch) {
    const size_t rowBytes = samples_.rowBytes();
    const size_t stride = rowBytes + 1;
    const std::uint64_t interval = checkpointInterval > 0 ? std::uint64_t(checkpointInterval)
                                                          : automaticInterval(rowBytes, height_);
    // A few megabytes a batch, so that handing one over costs nothing next
    // to inflating it, and three in flight.
    rowsPerBatch = std::clamp(
        rowsPerBatch > 0 ? rowsPerBatch : int(std::min<size_t>(batchBytes / stride, INT_MAX)), 1,
        height_);
    constexpr int batchesInFlight = 3;
    KanvoHandoff<std::vector<uchar>> emptyBuffers(batchesInFlight);
    KanvoHandoff<InflatedRows> inflated(batchesInFlight);
    for (int i = 0; i < batchesInFlight; ++i) {
        emptyBuffers.put(std::vector<uchar>(size_t(rowsPerBatch) * stride));
    }
    std::thread inflater([&] {
        inflateRows(emptyBuffers, inflated, interval, rowsPerBatch);
        inflated.close();
    });
    const auto stop = [&](bool complete) {
        emptyBuffers.close();
        inflated.close();
        inflater.join();
        return complete;
    };

    const std::vector<uchar> zeros(rowBytes, 0);
    std::vector<uchar> lastRow(rowBytes); // of the batch before, reconstructed
    std::vector<uchar> pixels(size_t(width_) * 4);
    size_t waitingForAbove = 0; // the first checkpoint whose row above is not yet known
    int y = 0;
    while (std::optional<InflatedRows> batch = inflated.take()) {
        if (batch->failed) {
            return stop(false);
        }
        std::move(batch->checkpoints.begin(), batch->checkpoints.end(),
                  std::back_inserter(checkpoints_));
        for (int i = 0; i < batch->rows; ++i, ++y) {
            uchar* row = batch->bytes.data() + size_t(i) * stride;
            const uchar* above = y == 0 ? zeros.data() : i == 0 ? lastRow.data() : row - stride + 1;
            for (; waitingForAbove < checkpoints_.size() && checkpoints_[waitingForAbove].row == y;
                 ++waitingForAbove) {
                if (y > 0) {
                    checkpoints_[waitingForAbove].rowAbove.assign(above, above + rowBytes);
                }
            }
            if (!KanvoPngRowFilter::reconstruct(row[0], row + 1, above, rowBytes,
                                                samples_.filterDistance())) {
                return stop(false);
            }
            samples_.toRgba(row + 1, 0, width_, pixels.data());
            eachRow(y, pixels.data());
        }
        const uchar* last = batch->bytes.data() + size_t(batch->rows - 1) * stride + 1;
        std::copy(last, last + rowBytes, lastRow.begin());
        emptyBuffers.put(std::move(batch->bytes));
    }
    return stop(y == height_);
}

QImage KanvoPngBands::region(QRect area, int reduction) const {
    if (reduction != 1 || area.isEmpty() || !QRect(0, 0, width_, height_).contains(area)) {
        return {};
    }
    QImage image(area.size(),
                 samples_.hasAlpha() ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (image.isNull()) {
        return {};
    }
    // The last checkpoint at or above the top row; the first is at row 0.
    const auto after = std::upper_bound(
        checkpoints_.begin(), checkpoints_.end(), area.top(),
        [](int top, const Checkpoint& checkpoint) { return top < checkpoint.row; });
    if (after == checkpoints_.begin()) {
        return {};
    }
    const Checkpoint& from = *(after - 1);
    const size_t rowBytes = samples_.rowBytes();
    const size_t stride = rowBytes + 1;
    const std::uint64_t start = std::uint64_t(from.row) * stride;
    std::vector<uchar> rows(2 * stride);
    const std::vector<uchar> zeros(from.rowAbove.empty() ? rowBytes : 0, 0);
    const uchar* above = from.rowAbove.empty() ? zeros.data() : from.rowAbove.data();

    KanvoPngInflate stream(file_, from.point);
    if (start < from.point.output || start - from.point.output > stride ||
        !inflateExactly(stream, rows.data(), size_t(start - from.point.output))) {
        return {};
    }
    for (int y = from.row; y <= area.bottom(); ++y) {
        uchar* row = rows.data() + size_t(y % 2) * stride;
        if (!inflateExactly(stream, row, stride) ||
            !KanvoPngRowFilter::reconstruct(row[0], row + 1, above, rowBytes,
                                            samples_.filterDistance())) {
            return {};
        }
        if (y >= area.top()) {
            samples_.toRgba(row + 1, area.left(), area.width(), image.scanLine(y - area.top()));
        }
        above = row + 1;
    }
    return image;
}

qint64 KanvoPngBands::indexBytes() const {
    qint64 bytes = qint64(checkpoints_.capacity() * sizeof(Checkpoint));
    for (const Checkpoint& checkpoint : checkpoints_) {
        bytes += qint64(checkpoint.point.window.capacity() + checkpoint.rowAbove.capacity());
    }
    return bytes;
}
