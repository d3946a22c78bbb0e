#include "imaging/jpeg/KanvoJpegScan.h"

#include "imaging/KanvoParallel.h"
#include "imaging/jpeg/KanvoJpegMarkers.h"
#include "imaging/jpeg/KanvoLibjpegReader.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace {

using KanvoJpegBits::HuffmanTable;

// Blocks of luma in an MCU, across and down.
struct Layout {
    int across;
    int down;
};

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

// A DCT of 8-bit samples gives AC coefficients of at most 2048 either way;
// twice that leaves room for any encoder's rounding, and keeps every sum
// libjpeg's reduced inverse DCTs form within their fixed-point range.
constexpr int largestDequantisedAc = 4096;

// The shares of every AC coefficient in the samples of one block, and the
// largest coefficients they take.
void setShares(KanvoJpegScan::Component& component, const UINT16 (&quantisers)[DCTSIZE2]) {
    const int samples = component.samplesAcross;
    component.dcScale = float(quantisers[0]) / 8;
    for (size_t index = 0; index < 64; ++index) {
        component.largestAc[index] = quantisers[index] == 0
                                         ? std::numeric_limits<int>::max()
                                         : largestDequantisedAc / quantisers[index];
    }
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

// The table a component names, built again for decoding from any bit.
// libjpeg has checked the number and the codes, and put in the standard
// tables where a motion-JPEG frame relies on them; the checks stay, so that
// nothing here depends on that.
const HuffmanTable* tableFor(JHUFF_TBL* const (&sources)[NUM_HUFF_TBLS], int number, bool ac,
                             std::vector<HuffmanTable>& tables) {
    JHUFF_TBL* source = number >= 0 && number < NUM_HUFF_TBLS ? sources[number] : nullptr;
    if (source == nullptr) {
        return nullptr;
    }
    std::uint8_t counts[16];
    std::copy(source->bits + 1, source->bits + 17, counts);
    std::optional<HuffmanTable> table = HuffmanTable::build(counts, source->huffval, ac);
    if (!table) {
        return nullptr;
    }
    return &tables.emplace_back(*table);
}

// The layouts the decode in pieces implements: grey, and YCbCr whose luma
// has 1x1, 2x1 or 2x2 blocks in an MCU over one block of each chroma
// component, in one interleaved scan that lists the components in frame
// order. Empty for any other. Sampling is matched, not bounded: every other
// shape goes to libjpeg, which checks what it takes.
std::optional<Layout> layoutOf(const jpeg_decompress_struct& info) {
    if (info.data_precision != 8 || info.arith_code || info.progressive_mode ||
        info.comps_in_scan != info.num_components) {
        return std::nullopt;
    }
    for (int i = 0; i < info.comps_in_scan; ++i) {
        if (info.cur_comp_info[i] != &info.comp_info[i]) {
            return std::nullopt;
        }
    }
    const jpeg_component_info* components = info.comp_info;
    if (info.num_components == 1 && info.jpeg_color_space == JCS_GRAYSCALE) {
        return components[0].h_samp_factor == 1 && components[0].v_samp_factor == 1
                   ? std::optional<Layout>(Layout{1, 1})
                   : std::nullopt;
    }
    if (info.num_components != 3 || info.jpeg_color_space != JCS_YCbCr) {
        return std::nullopt;
    }
    for (int i = 1; i < 3; ++i) {
        if (components[i].h_samp_factor != 1 || components[i].v_samp_factor != 1) {
            return std::nullopt;
        }
    }
    const Layout luma{components[0].h_samp_factor, components[0].v_samp_factor};
    const bool implemented = (luma.across == 1 && luma.down == 1) ||
                             (luma.across == 2 && luma.down == 1) ||
                             (luma.across == 2 && luma.down == 2);
    return implemented ? std::optional<Layout>(luma) : std::nullopt;
}

// libjpeg reads the header; a layout the pieces implement is then prepared
// for decoding at the reduction, which checks everything a full decode
// checks before its first row: sampling against the MCU's size, the tables
// the scan names, the scaled size. Only a single-scan layout gets that far:
// for a file of several scans libjpeg would allocate the whole image's
// coefficients there. A warning (bytes out of place, the file ending inside
// the header) also fails: such a file is libjpeg's to decode. Nothing after
// it can fail inside libjpeg, whose jump back needs the frame that set it.
std::optional<Layout> acceptedLayout(KanvoLibjpegReader& reader, std::span<const uchar> file,
                                     int reduction) {
    if (setjmp(reader.errors.exit) != 0) {
        jpeg_destroy_decompress(&reader.info);
        return std::nullopt;
    }
    reader.start(file);
    jpeg_read_header(&reader.info, TRUE);
    const std::optional<Layout> layout = layoutOf(reader.info);
    if (layout) {
        reader.info.scale_num = 1;
        reader.info.scale_denom = unsigned(reduction);
        jpeg_start_decompress(&reader.info);
    }
    if (!layout || reader.errors.warned) {
        jpeg_destroy_decompress(&reader.info);
        return std::nullopt;
    }
    return layout;
}

// The scan of a header libjpeg has accepted in `layout`, at the reduction;
// empty where a block would give more samples than the pieces decode.
std::optional<KanvoJpegScan::Scan> described(const jpeg_decompress_struct& info,
                                             const Layout& layout, int reduction) {
    using KanvoJpegScan::Component;
    const int samplesPerBlock = 8 / reduction;
    KanvoJpegScan::Scan scan;
    scan.tables.reserve(2 * size_t(info.num_components)); // the components point into it
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& source = info.comp_info[i];
        const bool chroma = i > 0;
        Component component{};
        component.blocksAcross = chroma ? 1 : layout.across;
        component.blocksDown = chroma ? 1 : layout.down;
        // Chroma subsampled alike both ways is decoded at the luma's
        // resolution; subsampled across only (4:2:2), at its own, then
        // widened as libjpeg widens it.
        const bool widened = chroma && layout.across == 2 && layout.down == 1;
        component.samplesAcross = samplesPerBlock * (chroma && !widened ? layout.across : 1);
        component.planeDivisor = widened ? 2 : 1;
        component.rowSamples =
            int((qint64(info.image_width) * component.blocksAcross * component.samplesAcross +
                 8 * layout.across - 1) /
                (8 * layout.across));
        component.dcTable = tableFor(info.dc_huff_tbl_ptrs, source.dc_tbl_no, false, scan.tables);
        component.acTable = tableFor(info.ac_huff_tbl_ptrs, source.ac_tbl_no, true, scan.tables);
        // 4:2:0 chroma at half size would need whole 8 x 8 blocks.
        if (component.samplesAcross > 4 || source.quant_table == nullptr ||
            component.dcTable == nullptr || component.acTable == nullptr) {
            return std::nullopt;
        }
        setShares(component, source.quant_table->quantval);
        scan.components.push_back(std::move(component));
    }
    const auto width = qint64(info.image_width);
    const auto height = qint64(info.image_height);
    scan.mcusAcross = int((width + 8 * layout.across - 1) / (8 * layout.across));
    scan.mcusDown = int((height + 8 * layout.down - 1) / (8 * layout.down));
    scan.samplesAcrossMcu = layout.across * samplesPerBlock;
    scan.samplesDownMcu = layout.down * samplesPerBlock;
    scan.outputSize = {int(info.output_width), int(info.output_height)};
    scan.restartInterval = int(info.restart_interval);
    return scan;
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

void KanvoJpegScan::Scan::forEachBandInParallel(
    int threads, const std::function<void(qint64, qint64)>& work) const {
    constexpr int bandsPerThread = 8;
    const int bands = threads * bandsPerThread;
    forEachTakenInParallel(threads, bands, [&](int band) {
        work(qint64(mcusDown) * band / bands, qint64(mcusDown) * (band + 1) / bands);
    });
}

std::optional<KanvoJpegScan::Scan> KanvoJpegScan::read(std::span<const uchar> file, int reduction) {
    if (reduction != 2 && reduction != 4 && reduction != 8) {
        return std::nullopt;
    }
    const std::optional<KanvoJpegMarkers::Layout> markers = KanvoJpegMarkers::find(file);
    if (!markers) {
        return std::nullopt;
    }
    KanvoLibjpegReader reader;
    const std::optional<Layout> layout = acceptedLayout(reader, file, reduction);
    if (!layout) {
        return std::nullopt;
    }
    std::optional<Scan> scan = described(reader.info, *layout, reduction);
    jpeg_destroy_decompress(&reader.info);
    if (scan) {
        scan->dataOffset = markers->dataOffset;
    }
    return scan;
}
