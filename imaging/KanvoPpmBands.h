#pragma once

#include "imaging/KanvoBandDecoder.h"

#include <QByteArray>
#include <functional>
#include <memory>

// Random access into a binary PPM (P6): its rows lie at fixed offsets, so a
// region reads only its own. Pixels as Kanvo's decode of the file gives
// them, Qt's reader converted to RGBX8888: samples of any maxval scaled to
// 16 bits and rounded to 8 as Qt rounds.
class KanvoPpmBands final : public KanvoBandDecoder {
public:
    using RowHandler = std::function<void(int row, const uchar* pixels)>;

    // Passes every row to `eachRow`, top to bottom (its pixels valid during
    // the call only). Null for anything else than a P6 file Qt's reader
    // takes whole: ASCII or grey files, a header Qt would read otherwise,
    // a size beyond Qt's 32767 pixels a side, rows missing at the end, a
    // sample above the maxval.
    static std::unique_ptr<KanvoPpmBands> index(QByteArray file, const RowHandler& eachRow);

    int largestReduction() const override { return 1; }
    // Null for an area outside the image or a reduction other than 1.
    QImage region(QRect area, int reduction) const override;

private:
    KanvoPpmBands(QByteArray file, qsizetype dataStart, int width, int height, int maxval);
    const uchar* rowAt(int y) const;
    // False for a sample above the maxval.
    bool toRgbx(const uchar* row, int first, int count, uchar* out) const;

    QByteArray file_;
    qsizetype dataStart_ = 0;
    int width_ = 0;
    int height_ = 0;
    int maxval_ = 255;
    qsizetype rowBytes_ = 0;
};
