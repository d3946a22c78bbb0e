#include "imaging/jpeg/KanvoJpegBits.h"

#include <algorithm>

namespace KanvoJpegBits {

namespace {

// The coefficient a short code and the value bits after it give, where both
// fit in the lookahead; 0 otherwise (end of block, a run of sixteen zeros).
std::int32_t shortCoefficient(int index, int length, int symbol, int lookahead) {
    const int run = symbol >> 4;
    const int size = symbol & 15;
    if (size == 0 || length + size > lookahead) {
        return 0;
    }
    const int bits = (index >> (lookahead - length - size)) & ((1 << size) - 1);
    const int value = bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
    return std::int32_t(unsigned(value) << 16) | run << 8 | (length + size);
}

} // namespace

std::optional<HuffmanTable> HuffmanTable::build(const std::uint8_t (&counts)[16],
                                                const std::uint8_t* symbols, bool ac) {
    HuffmanTable table;
    table.maxCode_.fill(-1);
    int code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        const int count = counts[length - 1];
        if (index + count > 256) {
            return std::nullopt;
        }
        // Codes of a length must fit it, or the table describes no prefix code.
        if (code + count > (1 << length)) {
            return std::nullopt;
        }
        table.symbolOffset_[size_t(length)] = index - code;
        for (int i = 0; i < count; ++i, ++code, ++index) {
            table.symbols_[size_t(index)] = symbols[index];
            if (length > lookaheadBits) {
                continue;
            }
            const int shift = lookaheadBits - length;
            for (int ahead = code << shift; ahead < (code + 1) << shift; ++ahead) {
                table.fast_[size_t(ahead)] = std::uint16_t(length << 8 | symbols[index]);
                if (ac) {
                    table.fastCoefficient_[size_t(ahead)] =
                        shortCoefficient(ahead, length, symbols[index], lookaheadBits);
                }
            }
        }
        if (count > 0) {
            table.maxCode_[size_t(length)] = code - 1;
        }
        code <<= 1;
    }
    return table;
}

} // namespace KanvoJpegBits
