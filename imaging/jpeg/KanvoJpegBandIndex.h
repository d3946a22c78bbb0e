#pragma once

#include "imaging/jpeg/KanvoJpegBits.h"

#include <QtGlobal>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Where each MCU row of a baseline JPEG's single scan begins, found by one
// pass of Huffman decoding over the scan (coefficients read and dropped),
// so that a band of rows can later be decoded without the rows above it.
//
// Only files whose coded data the pass reads through cleanly are indexed:
// 8-bit, Huffman-coded, one scan holding every component in frame order
// (grey only with 1x1 sampling); libjpeg accepts the header without a
// warning; every code is in its table, restart markers come in order where
// they belong, the data holds every MCU, and DC predictors stay within what
// a 16-bit difference reaches. libjpeg then decodes the same bits the same
// way, so a band's bits give its rows exactly.
namespace KanvoJpegBandIndex {

// A Huffman code as the encoder writes it; length 0 where the table has none.
struct Code {
    std::uint16_t bits = 0;
    int length = 0;
};

// What a component needs to write an MCU row of flat blocks: the DC codes
// by category (0 to 15) and the AC table's end of block.
struct Component {
    int blocks; // in an MCU
    std::array<Code, 16> dcCodes;
    Code endOfBlock;
};

// Where an MCU row begins: its first bit (file byte * 8 + bit within it)
// and the DC predictor of each component there.
struct Checkpoint {
    qint64 bit;
    std::array<std::int16_t, 4> predictors;
};

struct Index {
    // Without restart markers, a checkpoint every this many MCUs along each
    // row as well, so that a band can be cut to the columns around a region.
    static constexpr int columnStep = 16;

    qsizetype frameHeight = 0; // offset of the frame header's height field (its width follows)
    qsizetype dataOffset = 0;  // where the coded data begins
    int imageWidth = 0;
    int imageHeight = 0;
    int mcuWidth = 0; // in stored pixels
    int mcuHeight = 0;
    int mcusAcross = 0;
    int restartInterval = 0; // MCUs between restart markers; 0 for none
    // MCU rows between rows that start just after a restart marker (1 when
    // there are no markers): a band of a file with markers starts on one.
    int restartRows = 1;
    std::vector<Component> components;
    // One per MCU row, then the end of the last MCU.
    std::vector<Checkpoint> rows;
    // Row by row, at MCU columns columnStep, 2 columnStep and on within the
    // row; none where the file has restart markers.
    std::vector<Checkpoint> columns;
    int mcusDown() const { return int(rows.size()) - 1; }
    bool hasColumns() const { return restartInterval == 0; }
    // Where MCU `column` of MCU row `row` begins: column 0, a multiple of
    // columnStep, or mcusAcross (the next row's start). Columns only where
    // hasColumns().
    const Checkpoint& at(int row, int column) const;
};

// Empty for a file outside what is indexed (above).
std::optional<Index> build(std::span<const uchar> file);

} // namespace KanvoJpegBandIndex
