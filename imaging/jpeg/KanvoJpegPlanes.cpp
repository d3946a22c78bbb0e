#include "imaging/jpeg/KanvoJpegPlanes.h"

#include "imaging/KanvoHugePages.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// JFIF's YCbCr to RGB in libjpeg's fixed point: 16 fraction bits, each
// chroma term rounded as libjpeg rounds it.
struct ChromaTerms {
    std::array<int, 256> redFromCr;
    std::array<int, 256> blueFromCb;
    std::array<int, 256> greenFromCb; // fixed point; with greenFromCr, shifted
    std::array<int, 256> greenFromCr;
};

const ChromaTerms& chromaTerms() {
    static const ChromaTerms terms = [] {
        constexpr int fractionBits = 16;
        const auto fixed = [](double value) {
            return int(std::lround(value * (1 << fractionBits)));
        };
        constexpr int half = 1 << (fractionBits - 1);
        ChromaTerms built{};
        for (int i = 0; i < 256; ++i) {
            const int centred = i - 128;
            built.redFromCr[size_t(i)] = (fixed(1.40200) * centred + half) >> fractionBits;
            built.blueFromCb[size_t(i)] = (fixed(1.77200) * centred + half) >> fractionBits;
            built.greenFromCb[size_t(i)] = -fixed(0.34414) * centred;
            built.greenFromCr[size_t(i)] = -fixed(0.71414) * centred + half;
        }
        return built;
    }();
    return terms;
}

std::uint32_t clampedChannel(int value) {
    return std::uint32_t(std::clamp(value, 0, 255));
}

// A block's `Samples` x `Samples` samples, `level` plus each AC share,
// clamped into `row` and the rows below it. False for a sample far outside
// 0 to 255: ringing takes a true image's samples only a little past either
// end. A size known at compile time lets the loops unroll and vectorise.
template <int Samples>
bool placeSamples(std::uint8_t* row, qsizetype stride, int level, const std::int16_t* acShares) {
    constexpr int margin = 256;
    int lowest = 0;
    int highest = 0;
    for (int y = 0; y < Samples; ++y, row += stride) {
        for (int x = 0; x < Samples; ++x) {
            const int share = acShares[y * Samples + x];
            lowest = std::min(lowest, share);
            highest = std::max(highest, share);
            row[x] = std::uint8_t(std::clamp(level + share, 0, 255));
        }
    }
    return level + lowest >= -margin && level + highest <= 255 + margin;
}

} // namespace

KanvoJpegPlanes::KanvoJpegPlanes(const KanvoJpegScan::Scan& scan) : scan_(scan) {
    for (const KanvoJpegScan::Component& component : scan.components) {
        const qsizetype mcuWidth = scan.samplesAcrossMcu / component.planeDivisor;
        const qsizetype stride = qsizetype(scan.mcusAcross) * mcuWidth;
        // Left unset: every MCU's blocks are written before a row is read.
        const size_t bytes = size_t(stride) * size_t(scan.mcusDown) * size_t(scan.samplesDownMcu);
        auto samples = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
        KanvoHugePages::advise(samples.get(), bytes);
        planes_.push_back({stride, mcuWidth, std::move(samples)});
    }
}

KanvoJpegPlanes::McuPlace KanvoJpegPlanes::placeOf(qint64 mcu) const {
    if (mcu < 0 || mcu >= scan_.mcuCount()) {
        return {-1, -1};
    }
    return {mcu / scan_.mcusAcross, mcu % scan_.mcusAcross};
}

void KanvoJpegPlanes::writeBlock(McuPlace place, int component, int blockAcross, int blockDown,
                                 std::int16_t dc, const std::int16_t* acShares) {
    if (place.row < 0 || place.row >= scan_.mcusDown || place.column < 0 ||
        place.column >= scan_.mcusAcross || component < 0 || size_t(component) >= planes_.size()) {
        damaged_.store(true, std::memory_order_relaxed);
        return;
    }
    const KanvoJpegScan::Component& described = scan_.components[size_t(component)];
    if (blockAcross < 0 || blockAcross >= described.blocksAcross || blockDown < 0 ||
        blockDown >= described.blocksDown) {
        damaged_.store(true, std::memory_order_relaxed);
        return;
    }
    const int samples = described.samplesAcross;
    Plane& plane = planes_[size_t(component)];
    const qint64 left = place.column * plane.mcuWidth + blockAcross * samples;
    const qint64 top = place.row * scan_.samplesDownMcu + blockDown * samples;
    // The DC share rounded to the nearest (the bias keeps it positive).
    const int level = int(float(dc) * described.dcScale + 4096.5F) - 4096 + 128;
    std::uint8_t* row = plane.samples.get() + top * plane.stride + left;
    bool inRange = true;
    switch (samples) {
    case 1:
        inRange = placeSamples<1>(row, plane.stride, level, acShares);
        break;
    case 2:
        inRange = placeSamples<2>(row, plane.stride, level, acShares);
        break;
    case 4:
        inRange = placeSamples<4>(row, plane.stride, level, acShares);
        break;
    default:
        inRange = false;
    }
    if (!inRange) {
        damaged_.store(true, std::memory_order_relaxed);
    }
}

// Row `y` of a component's plane at the image's width: a 4:2:2 chroma row
// widened into `widened` as libjpeg's fancy upsampling widens it (each
// sample three quarters itself and a quarter its nearer neighbour), or
// doubled where libjpeg doubles it: at an eighth, or for two samples or
// fewer.
const std::uint8_t* KanvoJpegPlanes::rowOf(size_t component, int y,
                                           std::vector<std::uint8_t>& widened) const {
    const Plane& plane = planes_[component];
    const std::uint8_t* row = plane.samples.get() + qsizetype(y) * plane.stride;
    if (scan_.components[component].planeDivisor == 1) {
        return row;
    }
    const int samples = scan_.components[component].rowSamples;
    widened.resize(size_t(2 * std::max(samples, 1)));
    std::uint8_t* out = widened.data();
    if (samples <= 2 || scan_.components[component].samplesAcross == 1) {
        for (int x = 0; x < samples; ++x) {
            out[2 * x] = out[2 * x + 1] = row[x];
        }
        return out;
    }
    out[0] = row[0];
    out[1] = std::uint8_t((row[0] * 3 + row[1] + 2) >> 2);
    for (int x = 1; x < samples - 1; ++x) {
        const int near = row[x] * 3;
        out[2 * x] = std::uint8_t((near + row[x - 1] + 1) >> 2);
        out[2 * x + 1] = std::uint8_t((near + row[x + 1] + 2) >> 2);
    }
    const int last = samples - 1;
    out[2 * last] = std::uint8_t((row[last] * 3 + row[last - 1] + 1) >> 2);
    out[2 * last + 1] = row[last];
    return out;
}

void KanvoJpegPlanes::convertRows(QImage& image, int first, int end) const {
    const ChromaTerms& terms = chromaTerms();
    const int width = image.width();
    std::vector<std::uint8_t> widenedCb;
    std::vector<std::uint8_t> widenedCr;
    for (int y = first; y < end; ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        const std::uint8_t* luma = rowOf(0, y, widenedCb);
        if (planes_.size() == 1) {
            for (int x = 0; x < width; ++x) {
                out[x] = 0xFF000000U | std::uint32_t(luma[x]) * 0x010101U;
            }
            continue;
        }
        const std::uint8_t* cb = rowOf(1, y, widenedCb);
        const std::uint8_t* cr = rowOf(2, y, widenedCr);
        for (int x = 0; x < width; ++x) {
            const int level = luma[x];
            const int red = level + terms.redFromCr[cr[x]];
            const int green = level + ((terms.greenFromCb[cb[x]] + terms.greenFromCr[cr[x]]) >> 16);
            const int blue = level + terms.blueFromCb[cb[x]];
            out[x] = 0xFF000000U | clampedChannel(red) << 16 | clampedChannel(green) << 8 |
                     clampedChannel(blue);
        }
    }
}
