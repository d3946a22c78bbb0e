#include "imaging/KanvoJpegPlanes.h"

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

} // namespace

KanvoJpegPlanes::KanvoJpegPlanes(const KanvoJpegScan::Scan& scan)
    : scan_(scan), stride_(scan.mcusAcross * scan.samplesAcrossMcu),
      planes_(scan.components.size(),
              std::vector<std::uint8_t>(size_t(stride_) * size_t(scan.mcusDown) *
                                        size_t(scan.samplesDownMcu))) {}

void KanvoJpegPlanes::writeBlock(int mcu, int component, int blockAcross, int blockDown,
                                 std::int16_t dc, const std::int16_t* acShares) {
    const KanvoJpegScan::Component& described = scan_.components[size_t(component)];
    const int samples = described.samplesAcross;
    const int left = (mcu % scan_.mcusAcross) * scan_.samplesAcrossMcu + blockAcross * samples;
    const int top = (mcu / scan_.mcusAcross) * scan_.samplesDownMcu + blockDown * samples;
    // The DC share rounded to the nearest (the bias keeps it positive).
    const int level = int(float(dc) * described.dcScale + 4096.5F) - 4096 + 128;
    std::uint8_t* row = planes_[size_t(component)].data() + size_t(top) * size_t(stride_) + left;
    int lowest = level;
    int highest = level;
    for (int y = 0; y < samples; ++y, row += stride_) {
        for (int x = 0; x < samples; ++x) {
            const int value = level + acShares[y * samples + x];
            lowest = std::min(lowest, value);
            highest = std::max(highest, value);
            row[x] = std::uint8_t(std::clamp(value, 0, 255));
        }
    }
    // Ringing takes a true image's samples a little past either end.
    constexpr int margin = 256;
    if (lowest < -margin || highest > 255 + margin) {
        overflowed_.store(true, std::memory_order_relaxed);
    }
}

void KanvoJpegPlanes::convertRows(QImage& image, int first, int end) const {
    const ChromaTerms& terms = chromaTerms();
    const int width = image.width();
    for (int y = first; y < end; ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        const std::uint8_t* luma = planes_[0].data() + size_t(y) * size_t(stride_);
        if (planes_.size() == 1) {
            for (int x = 0; x < width; ++x) {
                out[x] = 0xFF000000U | std::uint32_t(luma[x]) * 0x010101U;
            }
            continue;
        }
        const std::uint8_t* cb = planes_[1].data() + size_t(y) * size_t(stride_);
        const std::uint8_t* cr = planes_[2].data() + size_t(y) * size_t(stride_);
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
