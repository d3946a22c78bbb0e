#include "imaging/jpeg/KanvoJpegBandIndex.h"

#include "imaging/jpeg/KanvoJpegBlocks.h"
#include "imaging/jpeg/KanvoJpegMarkers.h"
#include "imaging/jpeg/KanvoJpegScan.h"
#include "imaging/jpeg/KanvoLibjpegReader.h"

#include <cstdlib>
#include <numeric>

namespace {

using KanvoJpegBandIndex::Code;
using KanvoJpegBits::HuffmanTable;

// Rows between restart-aligned rows beyond which a band would decode too
// many rows above its own: such files are left to libjpeg's skipping.
constexpr int mostRestartRows = 16;
// A DC predictor a 16-bit difference (category 15) reaches from zero.
constexpr int largestPredictor = 32767;

// One scan of every component in frame order, 8-bit and Huffman-coded.
bool indexable(const jpeg_decompress_struct& info) {
    if (info.data_precision != 8 || info.arith_code || info.progressive_mode ||
        info.comps_in_scan != info.num_components || info.num_components > 4) {
        return false;
    }
    for (int i = 0; i < info.comps_in_scan; ++i) {
        if (info.cur_comp_info[i] != &info.comp_info[i]) {
            return false;
        }
    }
    // A single component's MCU is one block, a row of them an iMCU row only
    // at 1x1.
    return info.num_components > 1 ||
           (info.comp_info[0].h_samp_factor == 1 && info.comp_info[0].v_samp_factor == 1);
}

// libjpeg reads the header and, for an indexable file, checks it as for a
// decode (the tables the scan names, put in from the standard ones where a
// motion-JPEG frame relies on them); false for a refusal or a warning.
// Nothing after it can fail inside libjpeg, whose jump back needs the frame
// that set it.
bool accepted(KanvoLibjpegReader& reader, std::span<const uchar> file) {
    if (setjmp(reader.errors.exit) != 0) {
        jpeg_destroy_decompress(&reader.info);
        return false;
    }
    reader.start(file);
    jpeg_read_header(&reader.info, TRUE);
    // Checked before starting: libjpeg would read a file of several scans
    // whole into memory there.
    if (!indexable(reader.info)) {
        jpeg_destroy_decompress(&reader.info);
        return false;
    }
    reader.info.scale_num = 1;
    reader.info.scale_denom = 8; // the smallest buffers: only the header is wanted
    jpeg_start_decompress(&reader.info);
    if (reader.errors.warned) {
        jpeg_destroy_decompress(&reader.info);
        return false;
    }
    return true;
}

// The code of every symbol of a table, as an encoder assigns them.
std::array<Code, 256> codesOf(const JHUFF_TBL& table) {
    std::array<Code, 256> codes{};
    int code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < table.bits[length] && index < 256; ++i, ++code) {
            Code& symbol = codes[table.huffval[index++]];
            if (symbol.length == 0) {
                symbol = {std::uint16_t(code), length};
            }
        }
        code <<= 1;
    }
    return codes;
}

// What the pass and the bands need of the header libjpeg accepted.
struct Tables {
    std::vector<HuffmanTable> huffman; // what the components point to
    std::vector<KanvoJpegScan::Component> components;
};

std::optional<Tables> tablesOf(const jpeg_decompress_struct& info,
                               KanvoJpegBandIndex::Index& index) {
    Tables tables;
    tables.huffman.reserve(2 * size_t(info.num_components));
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& source = info.comp_info[i];
        const JHUFF_TBL* dc = source.dc_tbl_no >= 0 && source.dc_tbl_no < NUM_HUFF_TBLS
                                  ? info.dc_huff_tbl_ptrs[source.dc_tbl_no]
                                  : nullptr;
        const JHUFF_TBL* ac = source.ac_tbl_no >= 0 && source.ac_tbl_no < NUM_HUFF_TBLS
                                  ? info.ac_huff_tbl_ptrs[source.ac_tbl_no]
                                  : nullptr;
        if (dc == nullptr || ac == nullptr) {
            return std::nullopt;
        }
        const auto built = [&](const JHUFF_TBL& from, bool acTable) -> const HuffmanTable* {
            std::uint8_t counts[16];
            std::copy(from.bits + 1, from.bits + 17, counts);
            std::optional<HuffmanTable> table = HuffmanTable::build(counts, from.huffval, acTable);
            return table ? &tables.huffman.emplace_back(*table) : nullptr;
        };
        KanvoJpegScan::Component component{};
        component.dcTable = built(*dc, false);
        component.acTable = built(*ac, true);
        if (component.dcTable == nullptr || component.acTable == nullptr) {
            return std::nullopt;
        }
        component.blocksAcross = source.h_samp_factor;
        component.blocksDown = source.v_samp_factor;
        tables.components.push_back(std::move(component));
        const std::array<Code, 256> dcCodes = codesOf(*dc);
        KanvoJpegBandIndex::Component& coded = index.components.emplace_back();
        coded.blocks = source.h_samp_factor * source.v_samp_factor;
        std::copy(dcCodes.begin(), dcCodes.begin() + 16, coded.dcCodes.begin());
        coded.endOfBlock = codesOf(*ac)[0];
        if (coded.dcCodes[0].length == 0 || coded.endOfBlock.length == 0) {
            return std::nullopt; // no flat block to write
        }
    }
    return tables;
}

// The pass over the coded data: every MCU decoded and dropped, each row's
// start recorded.
bool walk(std::span<const uchar> file, const Tables& tables, KanvoJpegBandIndex::Index& index,
          int mcusDown) {
    using KanvoJpegBandIndex::Checkpoint;
    using KanvoJpegBandIndex::Index;
    KanvoJpegBits::BitReader bits(file.data() + index.dataOffset, file.data() + file.size());
    std::array<int, 4> predictors{};
    const auto record = [&](std::vector<Checkpoint>& checkpoints) {
        const KanvoJpegBits::BitReader::Position at = bits.position();
        Checkpoint& checkpoint = checkpoints.emplace_back();
        checkpoint.bit = qint64(at.byte - file.data()) * 8 + at.bit;
        std::copy(predictors.begin(), predictors.end(), checkpoint.predictors.begin());
    };
    index.rows.reserve(size_t(mcusDown) + 1);
    const qint64 columnsPerRow =
        index.hasColumns() ? (index.mcusAcross - 1) / Index::columnStep : 0;
    index.columns.reserve(size_t(mcusDown * columnsPerRow));
    const qint64 interval = index.restartInterval;
    qint64 markers = 0;
    for (qint64 row = 0; row < mcusDown; ++row) {
        for (qint64 column = 0; column < index.mcusAcross; ++column) {
            const qint64 mcu = row * index.mcusAcross + column;
            if (interval > 0 && mcu > 0 && mcu % interval == 0) {
                if (!bits.restart(int(markers++ & 7))) {
                    return false;
                }
                predictors = {};
            }
            if (column == 0) {
                record(index.rows);
            } else if (columnsPerRow > 0 && column % Index::columnStep == 0) {
                record(index.columns);
            }
            for (size_t c = 0; c < tables.components.size(); ++c) {
                const KanvoJpegScan::Component& component = tables.components[c];
                for (int block = 0; block < component.blocksAcross * component.blocksDown;
                     ++block) {
                    std::int16_t share;
                    if (!KanvoJpegBlocks::decodeBlock<1>(bits, component, predictors[c], &share)) {
                        return false;
                    }
                }
                if (std::abs(predictors[c]) > largestPredictor) {
                    return false;
                }
            }
        }
        if (!bits.withinData()) {
            return false;
        }
    }
    record(index.rows);
    return true;
}

} // namespace

std::optional<KanvoJpegBandIndex::Index> KanvoJpegBandIndex::build(std::span<const uchar> file) {
    const std::optional<KanvoJpegMarkers::Layout> markers = KanvoJpegMarkers::find(file);
    if (!markers || markers->frameHeight < 0) {
        return std::nullopt;
    }
    KanvoLibjpegReader reader;
    if (!accepted(reader, file)) {
        return std::nullopt;
    }
    const jpeg_decompress_struct& info = reader.info;
    Index index;
    index.frameHeight = markers->frameHeight;
    index.dataOffset = markers->dataOffset;
    // The walk and libjpeg must agree on where the data begins.
    const bool agreed = qint64(file.size()) - qint64(info.src->bytes_in_buffer) == index.dataOffset;
    std::optional<Tables> tables;
    if (agreed) {
        tables = tablesOf(info, index);
    }
    index.mcuWidth = info.max_h_samp_factor * DCTSIZE;
    index.mcuHeight = info.max_v_samp_factor * DCTSIZE;
    index.imageWidth = int(info.image_width);
    index.imageHeight = int(info.image_height);
    index.mcusAcross = int((qint64(info.image_width) + index.mcuWidth - 1) / index.mcuWidth);
    const int mcusDown = int((qint64(info.image_height) + index.mcuHeight - 1) / index.mcuHeight);
    index.restartInterval = int(info.restart_interval);
    jpeg_destroy_decompress(&reader.info);
    if (!tables) {
        return std::nullopt;
    }
    if (index.restartInterval > 0) {
        const qint64 interval = index.restartInterval;
        const qint64 rows = interval / std::gcd(interval, qint64(index.mcusAcross));
        if (rows > mostRestartRows) {
            return std::nullopt;
        }
        index.restartRows = int(rows);
    }
    if (!walk(file, *tables, index, mcusDown)) {
        return std::nullopt;
    }
    return index;
}

const KanvoJpegBandIndex::Checkpoint& KanvoJpegBandIndex::Index::at(int row, int column) const {
    if (column == 0) {
        return rows[size_t(row)];
    }
    if (column == mcusAcross) {
        return rows[size_t(row) + 1];
    }
    const qint64 perRow = (mcusAcross - 1) / columnStep;
    return columns[size_t(qint64(row) * perRow + column / columnStep - 1)];
}
