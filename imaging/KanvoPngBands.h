#pragma once

#include "imaging/KanvoBandDecoder.h"
#include "imaging/KanvoHandoff.h"
#include "imaging/KanvoPngInflate.h"
#include "imaging/KanvoPngSamples.h"
#include "imaging/KanvoSharedFile.h"

#include <functional>
#include <memory>
#include <vector>

// Random access into a PNG's rows without holding the image, nor the file:
// its image data is read from the file as it inflates. One sequential
// pass inflates the image data row by row, hands each row out as the whole
// decode gives it (KanvoPngDecoder: RGBX8888 when opaque, RGBA8888
// otherwise) and keeps checkpoints on the way: where a deflate block starts,
// with the 32 KiB window and the row before the next whole one, which that
// row's filter may read. The pass inflates on a thread of its own while the
// calling thread unfilters, converts and hands out the rows before: zlib
// alone takes most of the pass. A region inflates again from the checkpoint
// at or above its top row, down to its bottom row.
class KanvoPngBands final : public KanvoBandDecoder {
public:
    using RowHandler = std::function<void(int row, const uchar* pixels)>;

    // Passes every row of `file`, top to bottom, to `eachRow` (its pixels
    // are valid during the call only). Null when the rows cannot be read one
    // by one and the whole decode must decide: interlaced, a header or chunk
    // before the image data libspng refuses, damaged image data (an IDAT
    // failing its CRC, a broken or short stream, image data beyond the last
    // row, a filter PNG does not define). Rows already
    // handed out before such damage are to be dropped. Checkpoints are kept
    // at least `checkpointInterval` inflated bytes apart, or, when 0, far
    // enough apart that they take a few tens of megabytes at most. Rows pass
    // between the threads `rowsPerBatch` at a time, or, when 0, a few
    // megabytes' worth.
    // `file` is open for reading, and kept open by the bands.
    static std::unique_ptr<KanvoPngBands> index(std::unique_ptr<QIODevice> file,
                                                const RowHandler& eachRow,
                                                qint64 checkpointInterval = 0,
                                                int rowsPerBatch = 0);

    int largestReduction() const override { return 1; }
    // Null for an area outside the image, a reduction other than 1, or when
    // memory runs out.
    QImage region(QRect area, int reduction) const override;

    // The memory the checkpoints take.
    qint64 indexBytes() const;
    int checkpointCount() const { return int(checkpoints_.size()); }

private:
    struct Checkpoint {
        KanvoPngInflate::Point point;
        int row = 0;                 // the first row wholly after the point
        std::vector<uchar> rowAbove; // row - 1 reconstructed, as stored; empty for row 0
    };

    struct InflatedRows;

    KanvoPngBands(std::unique_ptr<QIODevice> file, std::uint64_t firstChunk,
                  KanvoPngSamples samples, int width, int height);
    bool readRows(const RowHandler& eachRow, qint64 checkpointInterval, int rowsPerBatch);
    // The producing side of the pass: the rows' stored bytes with their
    // filter bytes, in batches, with the checkpoints found among them (their
    // rows above still to be filled in).
    void inflateRows(KanvoHandoff<std::vector<uchar>>& emptyBuffers,
                     KanvoHandoff<InflatedRows>& inflated, std::uint64_t interval,
                     int rowsPerBatch) const;

    KanvoSharedFile file_;
    std::uint64_t firstChunk_ = 0; // the first IDAT chunk's offset in the file
    KanvoPngSamples samples_;
    int width_ = 0;
    int height_ = 0;
    std::vector<Checkpoint> checkpoints_;
};
