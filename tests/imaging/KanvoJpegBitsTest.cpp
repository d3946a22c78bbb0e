// Passing over a block's AC coefficients several codes at a time, against
// the one-code-at-a-time decoding the JPEG standard describes, on the
// standard tables and on random ones: both must take the same bits and end
// the block at the same place, or both call the data damaged.
#include "imaging/jpeg/KanvoJpegBlocks.h"

#include <cstdio> // jpeglib.h uses FILE without including it
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <numeric>
#include <random>
#include <vector>

namespace {

using KanvoJpegBits::BitReader;
using KanvoJpegBits::HuffmanTable;

struct TableSource {
    std::uint8_t counts[16];
    std::vector<std::uint8_t> symbols;
};

// The standard AC tables (luma, chroma) as libjpeg's encoder sets them.
std::vector<TableSource> standardTables() {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    info.in_color_space = JCS_YCbCr;
    info.input_components = 3;
    jpeg_set_defaults(&info);
    std::vector<TableSource> tables;
    for (const JHUFF_TBL* table : {info.ac_huff_tbl_ptrs[0], info.ac_huff_tbl_ptrs[1]}) {
        TableSource& source = tables.emplace_back();
        std::copy(table->bits + 1, table->bits + 17, source.counts);
        const int total = std::accumulate(table->bits + 1, table->bits + 17, 0);
        source.symbols.assign(table->huffval, table->huffval + total);
    }
    jpeg_destroy_compress(&info);
    return tables;
}

// Code lengths drawn at random within the code space, for distinct symbols
// drawn at random.
TableSource randomTable(std::mt19937& random) {
    TableSource source{};
    std::vector<std::uint8_t> symbols(256);
    std::iota(symbols.begin(), symbols.end(), 0);
    std::shuffle(symbols.begin(), symbols.end(), random);
    int available = 2; // codes of the current length not yet prefixes of shorter ones
    int total = 0;
    for (int length = 1; length <= 16; ++length) {
        const int most = std::min(available - 1, 256 - total);
        const int count = most > 0 ? int(random() % unsigned(most + 1)) : 0;
        source.counts[length - 1] = std::uint8_t(count);
        total += count;
        available = 2 * (available - count);
    }
    source.symbols.assign(symbols.begin(), symbols.begin() + total);
    return source;
}

// Decoding a block's AC codes one at a time, values passed over.
bool skipOneAtATime(BitReader& bits, const HuffmanTable& table) {
    for (int k = 1; k < 64; ++k) {
        bits.prepare();
        const KanvoJpegBlocks::AcStep step =
            KanvoJpegBlocks::decodeOneCode(bits, table, k, [&bits](int, int size) {
                bits.pass(size);
                return true;
            });
        if (step != KanvoJpegBlocks::AcStep::next) {
            return step == KanvoJpegBlocks::AcStep::endOfBlock;
        }
    }
    return true;
}

void expectSameBlocks(const HuffmanTable& table, const std::vector<std::uint8_t>& data) {
    BitReader several(data.data(), data.data() + data.size());
    BitReader single(data.data(), data.data() + data.size());
    for (int block = 0; block < 400 && single.withinData(); ++block) {
        const bool skipped = KanvoJpegBlocks::skipAc(several, table);
        const bool decoded = skipOneAtATime(single, table);
        ASSERT_EQ(skipped, decoded) << "block " << block;
        ASSERT_EQ(several.consumed(), single.consumed()) << "block " << block;
        if (!decoded) {
            return;
        }
    }
}

} // namespace

TEST(KanvoJpegBits, skipsTheBitsOfOneCodeAtATime) {
    std::mt19937 random(19);
    std::vector<TableSource> tables = standardTables();
    for (int i = 0; i < 300; ++i) {
        tables.push_back(randomTable(random));
    }
    for (const TableSource& source : tables) {
        const std::optional<HuffmanTable> table =
            HuffmanTable::build(source.counts, source.symbols.data(), true);
        ASSERT_TRUE(table.has_value());
        // Random coded data, a byte 0xFF now and then with its stuffed zero.
        std::vector<std::uint8_t> data;
        for (int i = 0; i < 4096; ++i) {
            const auto byte = std::uint8_t(random());
            data.push_back(byte);
            if (byte == 0xFF) {
                data.push_back(0);
            }
        }
        expectSameBlocks(*table, data);
    }
}
