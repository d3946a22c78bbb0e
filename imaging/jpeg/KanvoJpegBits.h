#pragma once

#include <QtEndian>
#include <QtGlobal>
#include <array>
#include <cstdint>
#include <optional>

// Reading the Huffman-coded data of a baseline JPEG scan from any byte of
// it: the bits with the stuffed zero after each 0xFF taken out, and the
// symbols of the scan's code tables. Used where decoding starts in the
// middle of a scan, which libjpeg cannot do. Everything a block's decoding
// calls is inline, so that the reader's state stays in registers.
namespace KanvoJpegBits {

// What a run of AC codes with their value bits gives when the values are
// dropped: the `bits` they take (at most 27: the codes lie within a
// lookahead of 12 bits, the last one's value may run on 15 bits past it),
// how far the coefficient index moves on (`advance`), how far it had moved
// before the last code (`lastStart`: a block decodes that code only while
// the index there is within the block) and whether that code ends the
// block. All zero for no code.
struct AcSkip {
    std::uint32_t entry = 0;

    static AcSkip of(int bits, int advance, int lastStart, bool endsBlock) {
        return {std::uint32_t(bits) | std::uint32_t(advance) << 5 | std::uint32_t(lastStart) << 13 |
                (endsBlock ? endOfBlockFlag : 0)};
    }
    bool empty() const { return entry == 0; }
    int bits() const { return int(entry & 31); }
    int advance() const { return int((entry >> 5) & 0xFF); }
    int lastStart() const { return int((entry >> 13) & 0xFF); }
    bool endsBlock() const { return (entry & endOfBlockFlag) != 0; }

private:
    static constexpr std::uint32_t endOfBlockFlag = 1U << 21;
};

// One Huffman table, as the file's DHT segment defines it.
class HuffmanTable {
public:
    // `counts[i]`: the number of codes of length i + 1; `symbols` in code
    // order. Empty for a table whose codes do not fit their lengths. An AC
    // table also decodes a short code and the value after it in one step,
    // and skips several in one step.
    static std::optional<HuffmanTable> build(const std::uint8_t (&counts)[16],
                                             const std::uint8_t* symbols, bool ac);

private:
    friend class BitReader;
    // The symbol of the code that starts at bit `from` of the `width` bits
    // of `bits`, with its length; nullopt where no code fits within them.
    struct Symbol {
        int symbol;
        int length;
    };
    std::optional<Symbol> symbolAt(std::uint32_t bits, int width, int from) const;
    AcSkip skipOf(std::uint32_t bits) const;

    static constexpr int lookaheadBits = 10;
    // Skipping AC coefficients whose values are not wanted takes as many
    // codes as lie wholly within this many bits, with their values.
    static constexpr int skipBits = 12;
    // (length << 8) | symbol for the codes of at most `lookaheadBits` bits,
    // indexed by the next bits; 0 where a longer code begins.
    std::array<std::uint16_t, 1 << lookaheadBits> fast_{};
    // For AC coefficients whose code and value fit in the lookahead:
    // value << 16 | run << 8 | bits taken; 0 for the others.
    std::array<std::int32_t, 1 << lookaheadBits> fastCoefficient_{};
    // For skipping AC coefficients, indexed by the next skipBits bits: the
    // codes that lie wholly within them with their values, up to and with an
    // end of block; empty where the first code is longer.
    std::array<AcSkip, 1 << skipBits> skip_{};
    // For longer codes, canonical decoding: the largest code of each length
    // (-1 for none) and where its symbols start.
    std::array<std::int32_t, 17> maxCode_{};
    std::array<std::int32_t, 17> symbolOffset_{};
    std::array<std::uint8_t, 256> symbols_{};
};

class BitReader {
public:
    BitReader(const std::uint8_t* data, const std::uint8_t* end)
        : start_(data), next_(data), end_(end) {}

    // Bits taken so far, counted without stuffed bytes.
    std::int64_t consumed() const { return loaded_ - count_; }
    // Whether every bit taken so far came from the scan, not from the zeros
    // that stand in after its end (a marker or the end of the file).
    bool withinData() const { return !ended_ || consumed() <= dataBits_; }
    // Whether no more than the padding of the scan's last byte is left: a
    // code that does not decode there is the end of the data, not damage or
    // a wrong guess.
    bool atPadding() const { return ended_ && dataBits_ - consumed() < 8; }

    // Where the next bit to take lies: the byte that holds it (the 0xFF of
    // a stuffed pair) and how many of that byte's bits, from the top, are
    // taken. While withinData(): loaded bytes are walked back over, each
    // stuffed pair counted as the one byte it gives.
    struct Position {
        const std::uint8_t* byte;
        int bit;
    };
    Position position() const {
        const std::int64_t left = ended_ ? dataBits_ - consumed() : count_;
        const std::uint8_t* at = next_;
        for (std::int64_t bytes = (left + 7) / 8; bytes > 0 && at > start_; --bytes) {
            at -= at - start_ >= 2 && at[-1] == 0 && at[-2] == 0xFF ? 2 : 1;
        }
        return {at, int((8 - left % 8) % 8)};
    }

    // Makes sure a symbol and its value (at most 32 bits) can be taken.
    Q_ALWAYS_INLINE void prepare() {
        if (count_ < 32) {
            refill();
        }
    }

    // The next symbol of `table`, or -1 where no code of the table begins.
    // After prepare().
    Q_ALWAYS_INLINE int decode(const HuffmanTable& table) {
        const auto ahead = unsigned(buffer_ >> (64 - HuffmanTable::lookaheadBits));
        if (const std::uint16_t entry = table.fast_[ahead]; entry != 0) {
            take(entry >> 8);
            return entry & 0xFF;
        }
        const auto next16 = std::int32_t(buffer_ >> 48);
        for (int length = HuffmanTable::lookaheadBits + 1; length <= 16; ++length) {
            const std::int32_t code = next16 >> (16 - length);
            if (code <= table.maxCode_[length]) {
                take(length);
                return table.symbols_[std::uint8_t(table.symbolOffset_[length] + code)];
            }
        }
        return -1;
    }

    // An AC coefficient whose code and value are short, taken: value << 16 |
    // run << 8 | bits; 0 (nothing taken) for any other. After prepare().
    Q_ALWAYS_INLINE std::int32_t decodeShortCoefficient(const HuffmanTable& table) {
        const std::int32_t entry =
            table.fastCoefficient_[buffer_ >> (64 - HuffmanTable::lookaheadBits)];
        take(entry & 0xFF);
        return entry;
    }

    // The AC codes wholly within the next bits with their values, as
    // `table` decodes them, nothing taken. After prepare().
    Q_ALWAYS_INLINE AcSkip peekSkip(const HuffmanTable& table) const {
        return table.skip_[buffer_ >> (64 - HuffmanTable::skipBits)];
    }
    // Passes over `bits` bits (at most 32) after prepare(): an AcSkip's,
    // or a value's that is not wanted.
    Q_ALWAYS_INLINE void pass(int bits) { take(bits); }

    // The value of the `size` bits (1 to 16) that follow a symbol, as JPEG
    // extends it to a signed coefficient. After prepare() and one decode().
    Q_ALWAYS_INLINE int receiveExtended(int size) {
        const auto bits = int(buffer_ >> (64 - size));
        take(size);
        return bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
    }

    // After the last MCU before a restart marker: true when no more than
    // the padding of a byte is left before marker RSTn, `number` 0 to 7,
    // which is then passed, starting afresh after it. False for bytes before
    // the marker, another marker or none.
    bool restart(int number) {
        const std::int64_t left = ended_ ? dataBits_ - consumed() : count_;
        if (left < 0 || left >= 8 || end_ - next_ < 2 || next_[0] != 0xFF ||
            next_[1] != 0xD0 + number) {
            return false;
        }
        next_ += 2;
        loaded_ = consumed();
        buffer_ = 0;
        count_ = 0;
        ended_ = false;
        return true;
    }

    // Passes over `bits` bits.
    void skip(std::int64_t bits) {
        while (bits > 0) {
            prepare();
            const int step = int(qMin<std::int64_t>(bits, 32));
            take(step);
            bits -= step;
        }
    }

private:
    Q_ALWAYS_INLINE void take(int bits) {
        buffer_ <<= bits;
        count_ -= bits;
    }

    // Loads whole bytes until at least 57 bits are ready. A run of eight
    // plain bytes (no 0xFF among them) is loaded at once; a stuffed 0xFF 0x00
    // gives 0xFF; any other 0xFF is a marker, where the scan ends and zeros
    // follow.
    Q_ALWAYS_INLINE void refill() {
        if (!ended_ && end_ - next_ >= 8) {
            const auto word = qFromBigEndian<std::uint64_t>(next_);
            const std::uint64_t inverted = ~word; // a 0xFF byte becomes zero
            if (((inverted - 0x0101010101010101) & ~inverted & 0x8080808080808080) == 0) {
                const int bytes = (64 - count_) / 8;
                buffer_ |= (word >> (64 - 8 * bytes)) << (64 - count_ - 8 * bytes);
                count_ += 8 * bytes;
                loaded_ += 8 * bytes;
                next_ += bytes;
                return;
            }
        }
        refillByBytes();
    }

    void refillByBytes() {
        while (count_ <= 56) {
            std::uint64_t byte = 0;
            if (!ended_) {
                if (next_ < end_ && *next_ != 0xFF) {
                    byte = *next_++;
                } else if (end_ - next_ >= 2 && next_[1] == 0) {
                    byte = 0xFF;
                    next_ += 2;
                } else {
                    ended_ = true;
                    dataBits_ = loaded_;
                }
            }
            buffer_ |= byte << (56 - count_);
            count_ += 8;
            loaded_ += 8;
        }
    }

    const std::uint8_t* start_;
    const std::uint8_t* next_;
    const std::uint8_t* end_;
    std::uint64_t buffer_ = 0; // the next bits, from the top
    int count_ = 0;            // how many of buffer_'s bits are loaded
    std::int64_t loaded_ = 0;  // bits loaded since the start
    bool ended_ = false;
    std::int64_t dataBits_ = 0; // bits loaded before the end, once it is met
};

} // namespace KanvoJpegBits
