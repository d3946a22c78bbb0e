#pragma once

#include "imaging/jpeg/KanvoJpegBits.h"
#include "imaging/jpeg/KanvoJpegScan.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

// Decoding a scan's blocks straight into the samples of a reduced decode:
// each block gives its DC predictor and the rounded AC share of each of its
// samples, which KanvoJpegPlanes places. Inline, so that a decoding loop
// keeps the bit reader in registers.
namespace KanvoJpegBlocks {

using KanvoJpegBits::BitReader;
using Predictors = std::array<int, 3>; // DC predictors, by component

// The natural (row by row) index of each coefficient in coded order, with
// libjpeg's sixteen extra entries: a damaged block whose run passes its end
// lands on the last coefficient, as libjpeg lands it.
inline constexpr std::array<std::uint8_t, 80> naturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// Rounded to the nearest, half away from zero up to a hair: a bias makes
// every value positive, so truncation rounds.
inline std::int16_t rounded(float share) {
    return std::int16_t(int(std::clamp(share, -32768.0F, 32767.0F) + 32768.5F) - 32768);
}

// What decoding one AC code left the block at.
enum class AcStep { next, endOfBlock, damaged };

// One AC code of `table` after prepare(), one at a time as the standard
// decodes them: `k` moved on past its run of zeros, and for a coefficient
// `value(k, size)` takes its value bits (false for damage).
template <class Value>
Q_ALWAYS_INLINE AcStep decodeOneCode(BitReader& bits, const KanvoJpegBits::HuffmanTable& table,
                                     int& k, Value&& value) {
    const int symbol = bits.decode(table);
    if (symbol < 0) {
        return AcStep::damaged;
    }
    const int run = symbol >> 4;
    const int size = symbol & 15;
    if (size == 0) {
        if (run != 15) {
            return AcStep::endOfBlock;
        }
        k += 15;
        return AcStep::next;
    }
    k += run;
    return value(k, size) ? AcStep::next : AcStep::damaged;
}

// A block's AC coefficients passed over where only its DC coefficient
// counts: several codes a step while they lie wholly within the lookahead
// and the block, one at a time otherwise.
Q_ALWAYS_INLINE bool skipAc(BitReader& bits, const KanvoJpegBits::HuffmanTable& table) {
    for (int k = 1; k < 64; ++k) {
        bits.prepare();
        if (const KanvoJpegBits::AcSkip skip = bits.peekSkip(table);
            !skip.empty() && k + skip.lastStart() < 64) {
            bits.pass(skip.bits());
            if (skip.endsBlock()) {
                return true;
            }
            k += skip.advance() - 1;
            continue;
        }
        const AcStep step = decodeOneCode(bits, table, k, [&bits](int, int size) {
            bits.pass(size); // the value, not wanted
            return true;
        });
        if (step != AcStep::next) {
            return step == AcStep::endOfBlock;
        }
    }
    return true;
}

// A block's AC coefficients, added up into the shares of its `Samples`
// samples (1, 4 or 16). Every coefficient is added, its share zero or not:
// cheaper than a branch on which of them count. False for a coefficient
// larger than any from 8-bit samples (KanvoJpegScan::Component::largestAc):
// only damage gives one, and libjpeg's fixed-point arithmetic would not
// take it as these shares do.
template <int Samples>
Q_ALWAYS_INLINE bool decodeAc(BitReader& bits, const KanvoJpegScan::Component& component,
                              float* shares) {
    const auto add = [&](int k, int value) {
        const auto natural = size_t(naturalOrder[size_t(k)]);
        if (std::abs(value) > component.largestAc[natural]) {
            return false;
        }
        const float* share = component.shares.data() + natural * Samples;
        for (int i = 0; i < Samples; ++i) {
            shares[i] += float(value) * share[i];
        }
        return true;
    };
    for (int k = 1; k < 64; ++k) {
        bits.prepare();
        if (const std::int32_t coefficient = bits.decodeShortCoefficient(*component.acTable)) {
            k += (coefficient >> 8) & 15;
            if (!add(k, coefficient >> 16)) {
                return false;
            }
            continue;
        }
        const AcStep step = decodeOneCode(bits, *component.acTable, k, [&](int at, int size) {
            return add(at, bits.receiveExtended(size));
        });
        if (step != AcStep::next) {
            return step == AcStep::endOfBlock;
        }
    }
    return true;
}

// One block: its DC predictor updated, its samples' AC shares rounded.
template <int Samples>
Q_ALWAYS_INLINE bool decodeBlock(BitReader& bits, const KanvoJpegScan::Component& component,
                                 int& predictor, std::int16_t* roundedShares) {
    bits.prepare();
    const int dcSize = bits.decode(*component.dcTable);
    if (dcSize < 0 || dcSize > 15) {
        return false;
    }
    if (dcSize > 0) {
        // Wrapping: a decode that starts at a guess may add up anything.
        predictor = int(unsigned(predictor) + unsigned(bits.receiveExtended(dcSize)));
    }
    if constexpr (Samples == 1) {
        roundedShares[0] = 0; // the AC coefficients have no share in a block's mean
        return skipAc(bits, *component.acTable);
    } else {
        float shares[Samples] = {};
        if (!decodeAc<Samples>(bits, component, shares)) {
            return false;
        }
        std::transform(shares, shares + Samples, roundedShares, rounded);
        return true;
    }
}

// One MCU: every block goes to `place(component, across, down, predictor,
// shares)`. False where no code of a table begins.
template <class Place>
Q_ALWAYS_INLINE bool decodeMcu(BitReader& bits, const KanvoJpegScan::Scan& scan,
                               Predictors& predictors, Place&& place) {
    for (size_t c = 0; c < scan.components.size(); ++c) {
        const KanvoJpegScan::Component& component = scan.components[c];
        for (int down = 0; down < component.blocksDown; ++down) {
            for (int across = 0; across < component.blocksAcross; ++across) {
                std::int16_t shares[16];
                bool decoded = false;
                // Each case reads exactly the shares KanvoJpegScan made for
                // its samples; no other count is described.
                switch (component.samplesAcross) {
                case 1:
                    decoded = decodeBlock<1>(bits, component, predictors[c], shares);
                    break;
                case 2:
                    decoded = decodeBlock<4>(bits, component, predictors[c], shares);
                    break;
                case 4:
                    decoded = decodeBlock<16>(bits, component, predictors[c], shares);
                    break;
                default:
                    return false;
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

} // namespace KanvoJpegBlocks
