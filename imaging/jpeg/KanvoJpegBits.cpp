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
    if (ac) {
        for (std::uint32_t bits = 0; bits < table.skip_.size(); ++bits) {
            table.skip_[bits] = table.skipOf(bits);
        }
    }
    return table;
}

std::optional<HuffmanTable::Symbol> HuffmanTable::symbolAt(std::uint32_t bits, int width,
                                                           int from) const {
    for (int length = 1; length <= 16 && from + length <= width; ++length) {
        const auto code = std::int32_t((bits >> (width - from - length)) & ((1U << length) - 1));
        if (code <= maxCode_[size_t(length)]) {
            return Symbol{symbols_[std::uint8_t(symbolOffset_[size_t(length)] + code)], length};
        }
    }
    return std::nullopt;
}

// The codes that lie wholly within `bits`, decoded one after another as a
// block's AC coefficients are, up to and with an end of block or a value
// that runs on past them, whose bits are passed over unread.
AcSkip HuffmanTable::skipOf(std::uint32_t bits) const {
    int taken = 0;
    int advance = 0;
    int lastStart = 0;
    while (taken < skipBits) {
        const std::optional<Symbol> code = symbolAt(bits, skipBits, taken);
        if (!code) {
            break;
        }
        const int run = code->symbol >> 4;
        const int size = code->symbol & 15;
        lastStart = advance;
        taken += code->length + size;
        if (size == 0 && run != 15) {
            return AcSkip::of(taken, advance, lastStart, true);
        }
        advance += size == 0 ? 16 : run + 1;
    }
    return taken == 0 ? AcSkip{} : AcSkip::of(taken, advance, lastStart, false);
}

} // namespace KanvoJpegBits
