#pragma once

#include "imaging/jpeg/KanvoJpegBits.h"

#include <QSize>
#include <QtGlobal>
#include <array>
#include <functional>
#include <optional>
#include <span>
#include <vector>

// What decoding a baseline JPEG's single scan at a reduction needs, read
// from the file's header by libjpeg: the code tables, each component's
// blocks in a minimum coded unit (MCU) and the samples each of its blocks
// gives at the reduction, and where the coded data begins.
//
// Only the layouts the decode in pieces implements are described: 8-bit,
// Huffman-coded, one interleaved scan, grey, or YCbCr with luma 1x1 (4:4:4),
// 2x1 (4:2:2) or 2x2 (4:2:0) over chroma 1x1; a reduction of 2, 4 or 8 (not
// 2 for 4:2:0, whose chroma would need whole 8 x 8 blocks); and only once
// libjpeg has accepted the header without a warning as it would for a full
// decode at that reduction. A block then gives the samples libjpeg's reduced
// inverse DCT gives: the means of the full-size block's pixels over squares
// of `reduction` (4:2:0 chroma over larger squares, so that it needs no
// upsampling; 4:2:2 chroma over the same squares, widened afterwards).
namespace KanvoJpegScan {

struct Component {
    const KanvoJpegBits::HuffmanTable* dcTable;
    const KanvoJpegBits::HuffmanTable* acTable;
    int blocksAcross; // blocks of this component in an MCU, across and down
    int blocksDown;
    int samplesAcross; // samples one block gives at the reduction, either way
    // 2 for chroma subsampled across only, whose plane is half as wide and
    // widened when converted; 1 for the others.
    int planeDivisor;
    int rowSamples; // samples in a row of its plane that are the image's
    // The DC coefficient's share of every sample: its quantiser over 8.
    float dcScale;
    // Per coefficient (natural order), its dequantised share of each sample
    // (samplesAcross squared, row by row); none for the DC coefficient.
    std::vector<float> shares;
    // Per coefficient (natural order), the largest magnitude whose
    // dequantised value 8-bit samples can give, with room for rounding.
    std::array<int, 64> largestAc;
};

struct Scan {
    std::vector<KanvoJpegBits::HuffmanTable> tables; // what the components point to
    std::vector<Component> components;               // in the scan's order
    int mcusAcross = 0;
    int mcusDown = 0;
    int samplesAcrossMcu = 0; // samples an MCU gives at the reduction, either way
    int samplesDownMcu = 0;
    QSize outputSize;         // libjpeg's output size at the reduction
    qsizetype dataOffset = 0; // within the file, found by a bounded walk of its markers
    int restartInterval = 0;  // MCUs between restart markers; 0 for none
    qint64 mcuCount() const { return qint64(mcusAcross) * mcusDown; }
    // Runs `work(firstMcuRow, endMcuRow)` for bands of MCU rows on
    // `threads` threads, several bands a thread, each taken by whichever
    // thread is free.
    void forEachBandInParallel(int threads, const std::function<void(qint64, qint64)>& work) const;
    int blocksPerMcu() const;
    int samplesPerMcu() const; // over all components
};

// Empty for a file outside the layouts above, one libjpeg refuses or warns
// about, or one whose first scan's header runs past its end.
std::optional<Scan> read(std::span<const uchar> file, int reduction);

} // namespace KanvoJpegScan
