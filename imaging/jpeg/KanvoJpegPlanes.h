#pragma once

#include "imaging/jpeg/KanvoJpegScan.h"

#include <QImage>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// The samples of a reduced decode, one plane per component over the whole
// grid of MCUs (chroma at the luma's resolution, or 4:2:2 chroma at half its
// width), and their conversion to RGB32 as libjpeg widens and converts them.
class KanvoJpegPlanes {
public:
    explicit KanvoJpegPlanes(const KanvoJpegScan::Scan& scan);

    // Where MCU `mcu` (in the scan's order) lies in the grid: found once
    // for all its blocks. Outside the grid for an MCU number beyond it.
    struct McuPlace {
        qint64 row;
        qint64 column;
    };
    McuPlace placeOf(qint64 mcu) const;

    // Places one block of the MCU at `place`: the DC coefficient `dc` and
    // the rounded AC share of each sample. A sample far outside 0 to 255,
    // which only damage gives, marks the planes `damaged`: libjpeg wraps
    // such values rather than clamping them. So does an MCU or block
    // outside the grid, which is then not written.
    void writeBlock(McuPlace place, int component, int blockAcross, int blockDown, std::int16_t dc,
                    const std::int16_t* acShares);

    // Converts output rows [first, end) into `image`, which has the scan's
    // output size.
    void convertRows(QImage& image, int first, int end) const;

    bool damaged() const { return damaged_.load(std::memory_order_relaxed); }

private:
    struct Plane {
        qsizetype stride;
        qsizetype mcuWidth; // samples an MCU gives across in this plane
        std::unique_ptr<std::uint8_t[]> samples;
    };
    const std::uint8_t* rowOf(size_t component, int y, std::vector<std::uint8_t>& widened) const;

    const KanvoJpegScan::Scan& scan_;
    std::vector<Plane> planes_;
    std::atomic<bool> damaged_{false};
};
