#pragma once

#include "imaging/KanvoBandDecoder.h"
#include "imaging/KanvoSharedFile.h"

#include <functional>
#include <memory>

// Random access into a binary PPM (P6): its rows lie at fixed offsets, so a
// region reads only its own, from the file on disk: the file is never held.
// Pixels as Kanvo's decode of the file gives
// them, Qt's reader converted to RGBX8888: samples of any maxval scaled to
// 16 bits and rounded to 8 as Qt rounds.
class KanvoPpmBands final : public KanvoBandDecoder {
public:
    using RowHandler = std::function<void(int row, const uchar* pixels)>;

    // Passes every row to `eachRow`, top to bottom (its pixels valid during
    // the call only). Null for anything else than a P6 file Qt's reader
    // takes whole: ASCII or grey files, a header Qt would read otherwise,
    // a size beyond Qt's 32767 pixels a side, a header over largestHeadBytes,
    // rows missing at the end, a sample above the maxval. `file` is open for
    // reading, and kept open by the bands.
    static constexpr qint64 largestHeadBytes = qint64(64) << 10;
    static std::unique_ptr<KanvoPpmBands> index(std::unique_ptr<QIODevice> file,
                                                const RowHandler& eachRow);

    int largestReduction() const override { return 1; }
    // Null for an area outside the image, a reduction other than 1, or a
    // read that fails.
    QImage region(QRect area, int reduction) const override;

private:
    KanvoPpmBands(std::unique_ptr<QIODevice> file, qint64 dataStart, int width, int height,
                  int maxval);
    // Reads `count` rows from row `first` into `out`, `count` rows' bytes.
    bool readRows(int first, int count, uchar* out) const;
    // False for a sample above the maxval.
    bool toRgbx(const uchar* row, int first, int count, uchar* out) const;

    KanvoSharedFile file_;
    qint64 dataStart_ = 0;
    int width_ = 0;
    int height_ = 0;
    int maxval_ = 255;
    qint64 rowBytes_ = 0;
};
