#include "imaging/KanvoJpegScan.h"

#include "imaging/KanvoLibjpegReader.h"

#include <cmath>
#include <numbers>

namespace {

using KanvoJpegBits::HuffmanTable;

// The 1-D inverse DCT's weight of coefficient `frequency` in output sample
// `sample` of `samples` (1, 2 or 4), each the mean of 8 / samples pixels.
float basisMean(int samples, int sample, int frequency) {
    const int span = 8 / samples;
    const double scale = frequency == 0 ? std::numbers::sqrt2 / 4 : 0.5;
    double sum = 0;
    for (int x = sample * span; x < (sample + 1) * span; ++x) {
        sum += std::cos((2 * x + 1) * frequency * std::numbers::pi / 16);
    }
    return float(scale * sum / span);
}

// The shares of every AC coefficient in the samples of one block.
void setShares(KanvoJpegScan::Component& component, const UINT16 (&quantisers)[DCTSIZE2]) {
    const int samples = component.samplesAcross;
    component.dcScale = float(quantisers[0]) / 8;
    component.shares.assign(size_t(64 * samples * samples), 0.0F);
    for (int index = 1; index < 64; ++index) {
        for (int y = 0; y < samples; ++y) {
            for (int x = 0; x < samples; ++x) {
                const float share = float(quantisers[index]) * basisMean(samples, y, index / 8) *
                                    basisMean(samples, x, index % 8);
                // What rounding leaves of a frequency the means cancel.
                component.shares[size_t((index * samples + y) * samples + x)] =
                    std::abs(share) < 1e-4F ? 0.0F : share;
            }
        }
    }
}

// The table a component names (libjpeg checks the number only later).
const HuffmanTable* tableFor(JHUFF_TBL* const (&sources)[NUM_HUFF_TBLS], int number, bool ac,
                             std::vector<HuffmanTable>& tables) {
    JHUFF_TBL* source = number >= 0 && number < NUM_HUFF_TBLS ? sources[number] : nullptr;
    if (source == nullptr) {
        return nullptr; // a motion-JPEG frame relying on the standard tables
    }
    std::uint8_t counts[16];
    std::copy(source->bits + 1, source->bits + 17, counts);
    std::optional<HuffmanTable> table = HuffmanTable::build(counts, source->huffval, ac);
    if (!table) {
        return nullptr;
    }
    return &tables.emplace_back(*table);
}

bool layoutFits(const jpeg_decompress_struct& info) {
    const bool colourModel = (info.num_components == 1 && info.jpeg_color_space == JCS_GRAYSCALE) ||
                             (info.num_components == 3 && info.jpeg_color_space == JCS_YCbCr);
    return colourModel && info.data_precision == 8 && !info.arith_code && !info.progressive_mode &&
           info.comps_in_scan == info.num_components;
}

// libjpeg reads the header; nothing after it can fail inside libjpeg, whose
// jump back needs the frame that set it.
bool readHeader(KanvoLibjpegReader& reader, std::span<const uchar> file) {
    if (setjmp(reader.errors.exit) != 0) {
        jpeg_destroy_decompress(&reader.info);
        return false;
    }
    reader.start(file);
    jpeg_read_header(&reader.info, TRUE);
    return true;
}

} // namespace

int KanvoJpegScan::Scan::blocksPerMcu() const {
    int blocks = 0;
    for (const Component& component : components) {
        blocks += component.blocksAcross * component.blocksDown;
    }
    return blocks;
}

int KanvoJpegScan::Scan::samplesPerMcu() const {
    int samples = 0;
    for (const Component& component : components) {
        samples += component.blocksAcross * component.blocksDown * component.samplesAcross *
                   component.samplesAcross;
    }
    return samples;
}

std::optional<KanvoJpegScan::Scan> KanvoJpegScan::read(std::span<const uchar> file, int reduction) {
    KanvoLibjpegReader reader;
    if (!readHeader(reader, file)) {
        return std::nullopt;
    }
    jpeg_decompress_struct& info = reader.info;
    Scan scan;
    bool fits = layoutFits(info) && (reduction == 2 || reduction == 4 || reduction == 8) &&
                info.image_width > 0 && info.image_height > 0;
    scan.tables.reserve(2 * size_t(info.comps_in_scan)); // the components point into it
    const int samplesPerBlock = fits ? 8 / reduction : 1;
    const int maxAcross = info.comps_in_scan == 1 ? 1 : info.max_h_samp_factor;
    const int maxDown = info.comps_in_scan == 1 ? 1 : info.max_v_samp_factor;
    for (int i = 0; fits && i < info.comps_in_scan; ++i) {
        const jpeg_component_info& source = *info.cur_comp_info[i];
        Component component{};
        component.blocksAcross = info.comps_in_scan == 1 ? 1 : source.h_samp_factor;
        component.blocksDown = info.comps_in_scan == 1 ? 1 : source.v_samp_factor;
        // Chroma subsampled alike both ways is decoded at the luma's
        // resolution; subsampled across only (4:2:2), at its own, then
        // widened as libjpeg widens it.
        const int across = maxAcross / component.blocksAcross;
        const int down = maxDown / component.blocksDown;
        const bool widened = across == 2 && down == 1;
        component.samplesAcross = samplesPerBlock * (widened ? 1 : across);
        component.planeDivisor = widened ? 2 : 1;
        component.rowSamples =
            int((qint64(info.image_width) * component.blocksAcross * component.samplesAcross +
                 8 * maxAcross - 1) /
                (8 * maxAcross));
        const JQUANT_TBL* quantisers =
            source.quant_tbl_no >= 0 && source.quant_tbl_no < NUM_QUANT_TBLS
                ? info.quant_tbl_ptrs[source.quant_tbl_no]
                : nullptr;
        component.dcTable = tableFor(info.dc_huff_tbl_ptrs, source.dc_tbl_no, false, scan.tables);
        component.acTable = tableFor(info.ac_huff_tbl_ptrs, source.ac_tbl_no, true, scan.tables);
        fits = maxAcross % component.blocksAcross == 0 && maxDown % component.blocksDown == 0 &&
               (across == down || widened) && component.samplesAcross <= 4 &&
               quantisers != nullptr && component.dcTable != nullptr &&
               component.acTable != nullptr;
        if (fits) {
            setShares(component, quantisers->quantval);
            scan.components.push_back(std::move(component));
        }
    }
    if (fits) {
        const auto across = int(info.image_width);
        const auto down = int(info.image_height);
        scan.mcusAcross = (across + 8 * maxAcross - 1) / (8 * maxAcross);
        scan.mcusDown = (down + 8 * maxDown - 1) / (8 * maxDown);
        scan.samplesAcrossMcu = maxAcross * samplesPerBlock;
        scan.samplesDownMcu = maxDown * samplesPerBlock;
        scan.outputSize = {(across + reduction - 1) / reduction,
                           (down + reduction - 1) / reduction};
        scan.dataOffset = qsizetype(info.src->next_input_byte - file.data());
        scan.restartInterval = int(info.restart_interval);
    }
    jpeg_destroy_decompress(&info);
    return fits ? std::optional<Scan>(std::move(scan)) : std::nullopt;
}
