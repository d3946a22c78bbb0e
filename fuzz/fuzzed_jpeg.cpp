#include "fuzzed_jpeg.h"

#include <algorithm>
#include <array>
#include <optional>

namespace kanvo::fuzz {

namespace {

// A Huffman table as a DHT segment writes it, and the code of each symbol.
struct Table {
    std::array<std::uint8_t, 16> counts{}; // codes of each length, 1 to 16
    std::vector<std::uint8_t> symbols;     // in code order
    std::array<std::uint16_t, 256> code{};
    std::array<std::uint8_t, 256> length{}; // 0: the symbol has no code

    // Canonical codes, as decoders assign them; the first of a repeated
    // symbol is the one the encoder uses.
    void assignCodes() {
        unsigned next = 0;
        size_t index = 0;
        for (int bits = 1; bits <= 16; ++bits, next <<= 1) {
            for (int i = 0; i < counts[size_t(bits - 1)] && index < symbols.size(); ++i) {
                const std::uint8_t symbol = symbols[index++];
                if (length[symbol] == 0) {
                    code[symbol] = std::uint16_t(next);
                    length[symbol] = std::uint8_t(bits);
                }
                ++next;
            }
        }
    }
};

// Every symbol an AC table of 8-bit data may hold: end of block, sixteen
// zeros, and each run of up to fifteen zeros before a value of 1 to 10 bits.
std::vector<std::uint8_t> acSymbols() {
    std::vector<std::uint8_t> symbols{0x00, 0xF0};
    for (int size = 1; size <= 10; ++size) {
        for (int run = 0; run < 16; ++run) {
            symbols.push_back(std::uint8_t(run << 4 | size));
        }
    }
    return symbols;
}

// Tables every decoder takes: the standard tables' code lengths, over the
// symbols in an order of likelihood.
Table standardTable(bool ac) {
    Table table;
    if (ac) {
        table.counts = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};
        table.symbols = acSymbols();
    } else {
        table.counts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
        for (std::uint8_t size = 0; size < 12; ++size) {
            table.symbols.push_back(size);
        }
    }
    return table;
}

// A table made up by the input: code lengths that mostly fit (sometimes
// not), symbols that are mostly legal (sometimes not).
Table madeUpTable(FuzzInputBytes& input, bool ac) {
    Table table;
    const std::vector<std::uint8_t> legal =
        ac ? acSymbols() : std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const size_t wanted = input.inRange(1, std::uint32_t(legal.size()));
    const bool overfull = input.chance(5);
    unsigned free = 0; // codes left at the current length
    size_t total = 0;
    for (int bits = 1; bits <= 16 && total < wanted; ++bits) {
        free = 2 * free + (bits == 1 ? 2 : 0);
        const unsigned room = overfull ? 255 : std::min<unsigned>(free - (free > 1), 255);
        const unsigned count = std::min<unsigned>(input.inRange(0, room), unsigned(wanted - total));
        table.counts[size_t(bits - 1)] = std::uint8_t(count);
        free -= std::min(free, count);
        total += count;
    }
    for (size_t i = 0; i < total; ++i) {
        table.symbols.push_back(input.chance(3)
                                    ? input.byte()
                                    : legal[input.inRange(0, std::uint32_t(legal.size() - 1))]);
    }
    return table;
}

class ByteWriter {
public:
    void byte(std::uint8_t value) { bytes_.push_back(value); }
    void word(unsigned value) {
        byte(std::uint8_t(value >> 8));
        byte(std::uint8_t(value));
    }
    void marker(std::uint8_t code) {
        byte(0xFF);
        byte(code);
    }
    void bytes(std::span<const std::uint8_t> values) {
        bytes_.insert(bytes_.end(), values.begin(), values.end());
    }
    std::vector<std::uint8_t>& data() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Entropy-coded bits, with a zero stuffed after each 0xFF.
class BitWriter {
public:
    explicit BitWriter(ByteWriter& out) : out_(out) {}

    void put(unsigned bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            pending_ = std::uint8_t(pending_ << 1 | ((bits >> i) & 1));
            if (++filled_ == 8) {
                emit();
            }
        }
    }
    // Pads the last byte with ones, as encoders do before a marker.
    void flush() {
        while (filled_ != 0) {
            put(1, 1);
        }
    }

private:
    void emit() {
        out_.byte(pending_);
        if (pending_ == 0xFF) {
            out_.byte(0);
        }
        pending_ = 0;
        filled_ = 0;
    }

    ByteWriter& out_;
    std::uint8_t pending_ = 0;
    int filled_ = 0;
};

struct Component {
    int across;
    int down;
    int quantiser; // table number
    int dcTable;
    int acTable;
};

// Sampling: the common layouts mostly, any factors of 1 to 4 sometimes, and
// now and then a factor no decoder takes.
std::vector<Component> components(FuzzInputBytes& input) {
    static constexpr std::array<std::array<int, 2>, 6> lumaLayouts = {
        {{1, 1}, {2, 1}, {2, 2}, {1, 2}, {4, 1}, {3, 3}}};
    const std::uint8_t kind = input.byte();
    const int count = kind < 96 ? 1 : kind < 240 ? 3 : kind < 248 ? 2 : 4;
    std::vector<Component> made;
    const bool common = input.chance(80);
    const auto& luma = lumaLayouts[input.inRange(0, lumaLayouts.size() - 1)];
    for (int i = 0; i < count; ++i) {
        Component component{1, 1, i > 0 ? 1 : 0, i > 0 ? 1 : 0, i > 0 ? 1 : 0};
        if (!common) {
            const int limit = input.chance(3) ? 15 : 4;
            component.across = int(input.inRange(input.chance(3) ? 0 : 1, std::uint32_t(limit)));
            component.down = int(input.inRange(input.chance(3) ? 0 : 1, std::uint32_t(limit)));
        } else if (i == 0 && count > 1) {
            component.across = luma[0];
            component.down = luma[1];
        }
        made.push_back(component);
    }
    return made;
}

// Mostly small frames, whose blocks the coded data can hold; sometimes any
// size up to the largest a JPEG can name.
unsigned frameSide(FuzzInputBytes& input) {
    return input.chance(85) ? input.inRange(1, 96) : input.inRange(input.chance(5) ? 0 : 1, 65535);
}

void writeQuantisers(ByteWriter& out, FuzzInputBytes& input) {
    for (int table = 0; table < 2; ++table) {
        const bool sixteenBit = input.chance(3);
        out.marker(0xDB);
        out.word(2 + 1 + 64 * (sixteenBit ? 2 : 1));
        out.byte(std::uint8_t((sixteenBit ? 0x10 : 0) | table));
        const bool flat = input.chance(50);
        const unsigned level = input.inRange(1, 255);
        for (int i = 0; i < 64; ++i) {
            const unsigned value = flat ? level : input.inRange(input.chance(2) ? 0 : 1, 255);
            if (sixteenBit) {
                out.word(value);
            } else {
                out.byte(std::uint8_t(value));
            }
        }
    }
}

void writeTable(ByteWriter& out, const Table& table, int number, bool ac) {
    out.marker(0xC4);
    out.word(unsigned(2 + 1 + 16 + table.symbols.size()));
    out.byte(std::uint8_t((ac ? 0x10 : 0) | number));
    for (const std::uint8_t count : table.counts) {
        out.byte(count);
    }
    for (const std::uint8_t symbol : table.symbols) {
        out.byte(symbol);
    }
}

// Mostly baseline; sometimes extended sequential, progressive or
// arithmetic-coded, which only libjpeg decodes.
std::uint8_t frameMarker(FuzzInputBytes& input) {
    static constexpr std::array<std::uint8_t, 4> others = {0xC1, 0xC2, 0xC9, 0xCA};
    return input.chance(90) ? 0xC0 : others[input.inRange(0, others.size() - 1)];
}

void writeFrame(ByteWriter& out, std::uint8_t marker, const std::vector<Component>& components,
                unsigned width, unsigned height) {
    out.marker(marker);
    out.word(unsigned(8 + 3 * components.size()));
    out.byte(8);
    out.word(height);
    out.word(width);
    out.byte(std::uint8_t(components.size()));
    for (size_t i = 0; i < components.size(); ++i) {
        out.byte(std::uint8_t(i + 1));
        out.byte(std::uint8_t((components[i].across & 15) << 4 | (components[i].down & 15)));
        out.byte(std::uint8_t(components[i].quantiser));
    }
}

// The scan lists the components in frame order, or now and then turned
// round by one.
void writeScanHeader(ByteWriter& out, const std::vector<Component>& components, size_t turn) {
    out.marker(0xDA);
    out.word(unsigned(6 + 2 * components.size()));
    out.byte(std::uint8_t(components.size()));
    for (size_t listed = 0; listed < components.size(); ++listed) {
        const size_t i = (listed + turn) % components.size();
        out.byte(std::uint8_t(i + 1));
        out.byte(std::uint8_t(components[i].dcTable << 4 | components[i].acTable));
    }
    out.byte(0);
    out.byte(63);
    out.byte(0);
}

// A symbol the table has a code for, chosen by the input, with its code
// written; empty for a table with none.
std::optional<std::uint8_t> putSymbol(BitWriter& bits, const Table& table, FuzzInputBytes& input) {
    if (table.symbols.empty()) {
        return std::nullopt;
    }
    const std::uint8_t symbol =
        table.symbols[input.inRange(0, std::uint32_t(table.symbols.size() - 1))];
    bits.put(table.code[symbol], table.length[symbol]);
    return symbol;
}

// One block: a DC difference and AC coefficients up to an end of block or
// the block's end, each a symbol of the tables and its value bits.
void putBlock(BitWriter& bits, const Table& dc, const Table& ac, FuzzInputBytes& input) {
    if (const auto size = putSymbol(bits, dc, input)) {
        bits.put(input.inRange(0, 0xFFFF), std::min<int>(*size, 16));
    }
    for (int k = 1; k < 64;) {
        const auto symbol = putSymbol(bits, ac, input);
        if (!symbol || *symbol == 0x00) {
            break;
        }
        bits.put(input.inRange(0, 0xFFFF), *symbol & 15);
        k += (*symbol >> 4) + 1;
    }
}

struct Tables {
    std::array<Table, 2> dc;
    std::array<Table, 2> ac;
};

// The coded data of every MCU (up to a bound), with a restart marker after
// every `interval` MCUs, now and then one with the wrong number.
void writeBlocks(ByteWriter& out, FuzzInputBytes& input, const std::vector<Component>& components,
                 unsigned width, unsigned height, unsigned interval, const Tables& tables) {
    int maxAcross = 1;
    int maxDown = 1;
    for (const Component& component : components) {
        maxAcross = std::max(maxAcross, component.across);
        maxDown = std::max(maxDown, component.down);
    }
    const bool single = components.size() == 1;
    const std::uint64_t mcus =
        std::uint64_t((width + 8 * unsigned(single ? 1 : maxAcross) - 1) /
                      (8 * unsigned(single ? 1 : maxAcross))) *
        ((height + 8 * unsigned(single ? 1 : maxDown) - 1) / (8 * unsigned(single ? 1 : maxDown)));
    constexpr std::uint64_t mostMcus = 2048;
    BitWriter bits(out);
    unsigned restarts = 0;
    for (std::uint64_t mcu = 0; mcu < std::min(mcus, mostMcus); ++mcu) {
        if (interval > 0 && mcu > 0 && mcu % interval == 0) {
            bits.flush();
            const unsigned number = input.chance(1) ? input.byte() : restarts;
            out.marker(std::uint8_t(0xD0 + (number & 7)));
            ++restarts;
        }
        for (const Component& component : components) {
            const int blocks =
                single ? 1 : std::max(component.across, 0) * std::max(component.down, 0);
            for (int block = 0; block < std::min(blocks, 16); ++block) {
                putBlock(bits, tables.dc[size_t(component.dcTable)],
                         tables.ac[size_t(component.acTable)], input);
            }
        }
    }
    bits.flush();
}

} // namespace

std::vector<std::uint8_t> fuzzedJpeg(FuzzInputBytes& input) {
    ByteWriter out;
    const std::vector<Component> layout = components(input);
    const unsigned width = frameSide(input);
    const unsigned height = frameSide(input);
    const unsigned interval = input.chance(60)   ? 0
                              : input.chance(90) ? input.inRange(1, 16)
                                                 : input.inRange(1, 65535);
    Tables tables;
    for (int i = 0; i < 2; ++i) {
        const bool standard = input.chance(70);
        tables.dc[size_t(i)] = standard ? standardTable(false) : madeUpTable(input, false);
        tables.ac[size_t(i)] = standard ? standardTable(true) : madeUpTable(input, true);
        tables.dc[size_t(i)].assignCodes();
        tables.ac[size_t(i)].assignCodes();
    }
    out.marker(0xD8);
    writeQuantisers(out, input);
    if (input.chance(3)) {
        // Stray bytes and fill before a marker, which libjpeg steps over.
        out.bytes(input.take(input.inRange(0, 3)));
        out.byte(0xFF);
    }
    writeFrame(out, frameMarker(input), layout, width, height);
    for (int i = 0; i < 2; ++i) {
        writeTable(out, tables.dc[size_t(i)], i, false);
        writeTable(out, tables.ac[size_t(i)], i, true);
    }
    if (interval > 0) {
        out.marker(0xDD);
        out.word(4);
        out.word(interval);
    }
    writeScanHeader(out, layout, input.chance(3) ? 1 : 0);
    const size_t dataStart = out.data().size();
    if (input.chance(85)) {
        writeBlocks(out, input, layout, width, height, interval, tables);
    } else {
        out.bytes(input.take(input.inRange(0, 4096)));
    }
    if (interval > 0 && input.chance(5)) {
        // More restart markers, in order, than any MCU count needs.
        for (unsigned number = 0, count = input.inRange(1, 64); number < count; ++number) {
            out.marker(std::uint8_t(0xD0 + (number & 7)));
        }
    }
    std::vector<std::uint8_t>& file = out.data();
    if (input.chance(5) && file.size() > dataStart) {
        // A marker inside the data.
        const size_t at = dataStart + input.inRange(0, std::uint32_t(file.size() - dataStart));
        const std::uint8_t marker[] = {0xFF, input.byte()};
        file.insert(file.begin() + std::ptrdiff_t(at), std::begin(marker), std::end(marker));
    }
    if (!input.chance(5)) {
        out.marker(0xD9);
    }
    if (input.chance(5)) {
        file.resize(input.inRange(0, std::uint32_t(file.size())));
    }
    return file;
}

} // namespace kanvo::fuzz
