#include "imaging/KanvoImageHalving.h"

#include "imaging/KanvoHugePages.h"
#include "imaging/KanvoParallel.h"

#include <QThread>
#include <algorithm>
#include <cstdint>

namespace {

// The mean of four pixels, all four 8-bit channels at once: two channels per
// 32-bit lane pair, sums of four fit in the spare bits. Rounds to nearest.
inline std::uint32_t mean4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    constexpr std::uint32_t evenChannels = 0x00FF00FF;
    constexpr std::uint32_t half = 0x00020002;
    const std::uint32_t even =
        (a & evenChannels) + (b & evenChannels) + (c & evenChannels) + (d & evenChannels) + half;
    const std::uint32_t odd = ((a >> 8) & evenChannels) + ((b >> 8) & evenChannels) +
                              ((c >> 8) & evenChannels) + ((d >> 8) & evenChannels) + half;
    return ((even >> 2) & evenChannels) | (((odd >> 2) & evenChannels) << 8);
}

// Raw rows, so that no thread calls into QImage (scanLine() counts detaches).
struct Pixels {
    uchar* bits;
    qsizetype bytesPerLine;
    int width;
    int height;
    const std::uint32_t* row(int y) const {
        return reinterpret_cast<const std::uint32_t*>(bits + y * bytesPerLine);
    }
    std::uint32_t* row(int y) { return reinterpret_cast<std::uint32_t*>(bits + y * bytesPerLine); }
};

void halveRows(const Pixels& source, Pixels& target, int firstRow, int endRow) {
    const int lastColumn = source.width - 1;
    const int pairedWidth = source.width / 2;
    for (int y = firstRow; y < endRow; ++y) {
        const std::uint32_t* top = source.row(2 * y);
        const std::uint32_t* bottom = source.row(std::min(2 * y + 1, source.height - 1));
        std::uint32_t* out = target.row(y);
        for (int x = 0; x < pairedWidth; ++x) {
            out[x] = mean4(top[2 * x], top[2 * x + 1], bottom[2 * x], bottom[2 * x + 1]);
        }
        if (pairedWidth < target.width) {
            out[pairedWidth] =
                mean4(top[lastColumn], top[lastColumn], bottom[lastColumn], bottom[lastColumn]);
        }
    }
}

// Formats whose four bytes average channel by channel into the same format.
QImage::Format halvingFormat(QImage::Format format) {
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888_Premultiplied:
        return format;
    case QImage::Format_RGBA8888:
        return QImage::Format_RGBA8888_Premultiplied;
    default:
        return QImage::Format_ARGB32_Premultiplied;
    }
}

// Below this many output rows a band is not worth a thread.
constexpr int minimumRowsPerBand = 64;

} // namespace

QImage KanvoImageHalving::halved(const QImage& source) {
    const QImage::Format format = halvingFormat(source.format());
    const QImage input = source.format() == format ? source : source.convertToFormat(format);
    QImage target =
        KanvoHugePages::image({(input.width() + 1) / 2, (input.height() + 1) / 2}, format);
    if (target.isNull()) {
        return {};
    }
    const Pixels from{const_cast<uchar*>(input.constBits()), input.bytesPerLine(), input.width(),
                      input.height()};
    Pixels to{target.bits(), target.bytesPerLine(), target.width(), target.height()};
    // Threads of its own, not the global pool's: the decode job already holds a
    // pool thread, and the GUI thread's raster fills use the pool too.
    const int bands =
        std::clamp(target.height() / minimumRowsPerBand, 1, QThread::idealThreadCount());
    const int rowsPerBand = (target.height() + bands - 1) / bands;
    forEachInParallel(bands, [&](int band) {
        const int first = std::min(band * rowsPerBand, to.height);
        halveRows(from, to, first, std::min(first + rowsPerBand, to.height));
    });
    return target;
}
